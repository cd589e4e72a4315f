#pragma once
// MMS PDU codecs (ISO 9506-2) for the services the stack uses: initiate, conclude, reject,
// confirmed request/response/error for getNameList, identify, read, write,
// getVariableAccessAttributes and getNamedVariableListAttributes, and the unconfirmed
// informationReport. Encoders append one complete PDU to a writer; decoders never read past
// their input and return false (or nullptr) for malformed input.
#include "mms_common.h"
#include "stack/src/mms/MmsBer.h"
#include "stack/src/mms/MmsTypes.h"

#include <string>
#include <vector>

typedef struct sMmsValue MmsValue;

namespace stack {
namespace mms {

enum class PduKind {
    ConfirmedRequest,
    ConfirmedResponse,
    ConfirmedError,
    Unconfirmed,
    Reject,
    InitiateRequest,
    InitiateResponse,
    InitiateError,
    ConcludeRequest,
    ConcludeResponse,
    ConcludeError,
};

// Confirmed service tags.
enum ServiceTag : uint32_t {
    ServiceGetNameList = 1,
    ServiceIdentify = 2,
    ServiceRead = 4,
    ServiceWrite = 5,
    ServiceGetVariableAccessAttributes = 6,
    ServiceGetNamedVariableListAttributes = 12,
};

struct Pdu {
    PduKind kind = PduKind::Reject;
    bool hasInvokeId = false;
    uint32_t invokeId = 0;
    // Confirmed request/response: the service element (its tag number is the service);
    // confirmed error: the ServiceError; unconfirmed: the unconfirmed service element;
    // initiate PDUs and reject: the PDU itself.
    ber::Tlv service;
};

bool parsePdu(const uint8_t* data, size_t length, Pdu& out);

struct InitiateParams {
    int32_t maxPduSize = 65000;
    int16_t maxServOutstandingCalling = 5;
    int16_t maxServOutstandingCalled = 5;
    int8_t dataStructureNestingLevel = 10;
};

// ---- association ----
void encodeInitiateRequest(ber::Writer& w, const InitiateParams& params);
void encodeInitiateResponse(ber::Writer& w, const InitiateParams& params);
void encodeInitiateError(ber::Writer& w);
bool decodeInitiate(const Pdu& pdu, InitiateParams& params); // request or response
void encodeConcludeRequest(ber::Writer& w);
void encodeConcludeResponse(ber::Writer& w);

// ---- errors ----
// Confirmed error with an error class (tag of ServiceError.errorClass) and code.
enum ErrorClass : uint32_t {
    ErrorClassVmdState = 0,
    ErrorClassDefinition = 2,
    ErrorClassResource = 3,
    ErrorClassService = 4,
    ErrorClassAccess = 7,
};
void encodeConfirmedError(ber::Writer& w, uint32_t invokeId, uint32_t errorClass, int32_t code);
MmsError decodeConfirmedError(const Pdu& pdu);
// Reject: problem type (tag of RejectReason, e.g. 1 confirmed-request, 5 pdu-error) and code.
void encodeReject(ber::Writer& w, bool hasInvokeId, uint32_t invokeId, uint32_t problemType, int32_t code);
MmsError decodeReject(const Pdu& pdu);

// ---- object names and the variables a service accesses ----
void encodeObjectName(ber::Writer& w, const ObjectName& name);
bool decodeObjectName(const ber::Tlv& tlv, ObjectName& name);

struct VariableAccess {
    bool isListName = false;
    ObjectName listName;
    std::vector<ObjectName> variables;
};
void encodeVariableAccess(ber::Writer& w, const VariableAccess& access);
// The variables with their alternate access as listOfVariable, under `identifier`.
void encodeVariableList(ber::Writer& w, uint8_t identifier, const std::vector<ObjectName>& variables);
bool decodeVariableAccess(const ber::Tlv& tlv, VariableAccess& access);

// ---- client requests / server responses ----

// domain empty: VMD scope (only sensible for ObjectClass::Domain).
void encodeGetNameListRequest(ber::Writer& w, uint32_t invokeId, int objectClass, const std::string& domain,
                              const std::string* continueAfter);
struct NameListRequest {
    int objectClass = 0;
    ObjectName::Scope scope = ObjectName::Scope::Vmd;
    std::string domain;
    bool hasContinueAfter = false;
    std::string continueAfter;
};
bool decodeGetNameListRequest(const ber::Tlv& service, NameListRequest& request);
void encodeGetNameListResponse(ber::Writer& w, uint32_t invokeId, const std::vector<std::string>& names,
                               size_t first, size_t count, bool moreFollows);
bool decodeGetNameListResponse(const ber::Tlv& service, std::vector<std::string>& names, bool& moreFollows);

void encodeReadRequest(ber::Writer& w, uint32_t invokeId, const VariableAccess& access);
bool decodeReadRequest(const ber::Tlv& service, VariableAccess& access);
// results: values or MMS_DATA_ACCESS_ERROR values (no nulls).
void encodeReadResponse(ber::Writer& w, uint32_t invokeId, const std::vector<const MmsValue*>& results);
// New values (access errors as MMS_DATA_ACCESS_ERROR values); the caller deletes them.
bool decodeReadResponse(const ber::Tlv& service, std::vector<MmsValue*>& results);

void encodeWriteRequest(ber::Writer& w, uint32_t invokeId, const VariableAccess& access,
                        const std::vector<const MmsValue*>& values);
bool decodeWriteRequest(const ber::Tlv& service, VariableAccess& access, std::vector<MmsValue*>& values);
// DATA_ACCESS_ERROR_SUCCESS for success.
void encodeWriteResponse(ber::Writer& w, uint32_t invokeId, const std::vector<MmsDataAccessError>& results);
bool decodeWriteResponse(const ber::Tlv& service, std::vector<MmsDataAccessError>& results);

void encodeGetVariableAccessAttributesRequest(ber::Writer& w, uint32_t invokeId, const ObjectName& name);
bool decodeGetVariableAccessAttributesRequest(const ber::Tlv& service, ObjectName& name);
void encodeGetVariableAccessAttributesResponse(ber::Writer& w, uint32_t invokeId,
                                               const MmsVariableSpecification* typeDesc);
MmsVariableSpecification* decodeGetVariableAccessAttributesResponse(const ber::Tlv& service);

void encodeGetNamedVariableListAttributesRequest(ber::Writer& w, uint32_t invokeId, const ObjectName& name);
bool decodeGetNamedVariableListAttributesRequest(const ber::Tlv& service, ObjectName& name);
void encodeGetNamedVariableListAttributesResponse(ber::Writer& w, uint32_t invokeId,
                                                  const std::vector<ObjectName>& members, bool deletable);
bool decodeGetNamedVariableListAttributesResponse(const ber::Tlv& service, std::vector<ObjectName>& members,
                                                  bool& deletable);

void encodeIdentifyRequest(ber::Writer& w, uint32_t invokeId);
void encodeIdentifyResponse(ber::Writer& w, uint32_t invokeId, const ServerIdentity& identity);
bool decodeIdentifyResponse(const ber::Tlv& service, ServerIdentity& identity);

// ---- information report ----
// Variable list name (VMD specific) `listName` with the given access results.
void encodeInformationReport(ber::Writer& w, const std::string& listName,
                             const std::vector<const MmsValue*>& values);
// Any set of accessed variables (e.g. a list of named variables) with its results.
void encodeInformationReport(ber::Writer& w, const VariableAccess& access,
                             const std::vector<const MmsValue*>& values);
// New values; the caller deletes them.
bool decodeInformationReport(const ber::Tlv& service, VariableAccess& access, std::vector<MmsValue*>& values);

} // namespace mms
} // namespace stack
