#pragma once
// The C handle of association parameters: either a view of a connection's parameters or a
// stand-alone set, plus the caller's authentication parameter that is read at connect.
#include "iso_connection_parameters.h"
#include "stack/src/iso/AssociationParams.h"

struct sIsoConnectionParameters {
    stack::iso::AssociationParams own;
    stack::iso::AssociationParams* target = &own; // the connection's parameters, or `own`
    AcseAuthenticationParameter authentication = nullptr;

    sIsoConnectionParameters() = default;
    explicit sIsoConnectionParameters(stack::iso::AssociationParams* connectionParams)
        : target(connectionParams) {}
    sIsoConnectionParameters(const sIsoConnectionParameters&) = delete;
    sIsoConnectionParameters& operator=(const sIsoConnectionParameters&) = delete;

    // Copies the password of the authentication parameter (when it asks for one) into target.
    void applyAuthentication();
};
