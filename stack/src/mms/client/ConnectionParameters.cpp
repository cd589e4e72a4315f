// Association parameters and ACSE authentication parameters of the C interface.
#include "stack/src/mms/client/ConnectionParameters.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

void sIsoConnectionParameters::applyAuthentication() {
    target->hasPassword = false;
    target->password.clear();
    if (authentication == nullptr || authentication->mechanism != ACSE_AUTH_PASSWORD ||
        authentication->value.password.octetString == nullptr)
        return;
    target->hasPassword = true;
    target->password.assign(reinterpret_cast<const char*>(authentication->value.password.octetString),
                            static_cast<size_t>(authentication->value.password.passwordLength));
}

namespace {

void setApTitle(stack::iso::EndPoint& end, const char* apTitle, int aeQualifier) {
    end.apTitle.clear();
    if (apTitle == nullptr || !stack::iso::encodeObjectIdentifier(apTitle, end.apTitle))
        end.apTitle.clear();
    end.aeQualifier = aeQualifier;
}

void setAddresses(stack::iso::EndPoint& end, const PSelector& p, const SSelector& s, const TSelector& t) {
    end.pSelector.assign(p.value, p.value + std::min<size_t>(p.size, sizeof(p.value)));
    end.sSelector.assign(s.value, s.value + std::min<size_t>(s.size, sizeof(s.value)));
    end.tSelector.assign(t.value, t.value + std::min<size_t>(t.size, sizeof(t.value)));
}

} // namespace

extern "C" {

AcseAuthenticationParameter AcseAuthenticationParameter_create(void) {
    auto* self =
        static_cast<AcseAuthenticationParameter>(std::calloc(1, sizeof(sAcseAuthenticationParameter)));
    if (self != nullptr)
        self->mechanism = ACSE_AUTH_NONE;
    return self;
}

void AcseAuthenticationParameter_destroy(AcseAuthenticationParameter self) try {
    if (self == nullptr)
        return;
    if (self->mechanism == ACSE_AUTH_PASSWORD)
        std::free(self->value.password.octetString);
    std::free(self);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void AcseAuthenticationParameter_setAuthMechanism(AcseAuthenticationParameter self,
                                                  AcseAuthenticationMechanism mechanism) try {
    if (self == nullptr)
        return;
    if (self->mechanism == ACSE_AUTH_PASSWORD && mechanism != ACSE_AUTH_PASSWORD) {
        std::free(self->value.password.octetString);
        self->value.password.octetString = nullptr;
        self->value.password.passwordLength = 0;
    }
    self->mechanism = mechanism;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void AcseAuthenticationParameter_setPassword(AcseAuthenticationParameter self, char* password) try {
    if (self == nullptr)
        return;
    std::free(self->value.password.octetString);
    self->value.password.octetString = nullptr;
    self->value.password.passwordLength = 0;
    if (password == nullptr)
        return;
    size_t n = std::strlen(password);
    auto* copy = static_cast<uint8_t*>(std::malloc(n + 1));
    if (copy == nullptr)
        return;
    std::memcpy(copy, password, n + 1);
    self->value.password.octetString = copy;
    self->value.password.passwordLength = static_cast<int>(n);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

IsoConnectionParameters IsoConnectionParameters_create(void) {
    return new (std::nothrow) sIsoConnectionParameters();
}

void IsoConnectionParameters_destroy(IsoConnectionParameters self) try { delete self; } catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IsoConnectionParameters_setAcseAuthenticationParameter(
    IsoConnectionParameters self, AcseAuthenticationParameter acseAuthParameter) try {
    if (self != nullptr)
        self->authentication = acseAuthParameter;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IsoConnectionParameters_setRemoteApTitle(IsoConnectionParameters self, const char* apTitle,
                                              int aeQualifier) try {
    if (self != nullptr)
        setApTitle(self->target->remote, apTitle, aeQualifier);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IsoConnectionParameters_setRemoteAddresses(IsoConnectionParameters self, PSelector pSelector,
                                                SSelector sSelector, TSelector tSelector) try {
    if (self != nullptr)
        setAddresses(self->target->remote, pSelector, sSelector, tSelector);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IsoConnectionParameters_setLocalApTitle(IsoConnectionParameters self, const char* apTitle,
                                             int aeQualifier) try {
    if (self != nullptr)
        setApTitle(self->target->local, apTitle, aeQualifier);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IsoConnectionParameters_setLocalAddresses(IsoConnectionParameters self, PSelector pSelector,
                                               SSelector sSelector, TSelector tSelector) try {
    if (self != nullptr)
        setAddresses(self->target->local, pSelector, sSelector, tSelector);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

} // extern "C"
