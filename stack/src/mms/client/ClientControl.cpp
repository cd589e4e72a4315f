// Control objects from the client side: direct and select-before-operate controls with normal
// and enhanced security, written as the Oper, SBOw and Cancel structures of the object (CO) and
// read as SBO; LastApplError and command termination reports arrive as information reports with
// a list of named variables.
#include "stack/src/mms/client/IedConnectionInternal.h"

#include "stack/src/value/mms_value_internal.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <new>

using namespace stack::mms;
namespace ber = stack::ber;

namespace {

enum class Termination { None, Pending, Positive, Negative };

} // namespace

struct sControlObjectClient {
    IedConnection connection = nullptr;
    std::string reference; // "LD/LN.DO"
    std::string domain;
    std::string itemPrefix; // "LN$CO$DO$"
    ControlModel model = CONTROL_MODEL_STATUS_ONLY;
    MmsVariableSpecification* operDesc = nullptr;
    MmsType ctlValType = MMS_BOOLEAN;

    std::string orIdent;
    int orCat = CONTROL_ORCAT_NOT_SUPPORTED;
    bool test = false;
    bool interlockCheck = false;
    bool synchroCheck = false;
    bool constantT = false;
    uint64_t selectTime = 0;
    uint8_t ctlNum = 0;
    IedClientError lastError = IED_ERROR_OK;

    // Written by the receive thread, read by the caller: guarded by `mutex`.
    std::mutex mutex;
    std::condition_variable cv;
    LastApplError lastApplError{0, CONTROL_ERROR_NO_ERROR, ADD_CAUSE_UNKNOWN};
    Termination termination = Termination::None;
    CommandTerminationHandler terminationHandler = nullptr;
    void* terminationParameter = nullptr;

    ~sControlObjectClient() {
        if (operDesc != nullptr)
            MmsVariableSpecification_destroy(operDesc);
    }

    bool enhanced() const {
        return model == CONTROL_MODEL_DIRECT_ENHANCED || model == CONTROL_MODEL_SBO_ENHANCED;
    }

    // The Oper (or, without Check, Cancel) structure for ctlVal.
    MmsValue* buildCommand(const MmsValue* ctlVal, uint64_t operTime, bool withCheck);
    // Writes one of Oper, SBOw and Cancel; true when the server accepted it.
    bool write(const char* name, MmsValue* value);
};

namespace {

uint64_t nowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

// "SIMIEDLD0/CSWI1$CO$Pos$Oper" or the domain and item: does it name a part of this object?
bool refersTo(const sControlObjectClient& c, const std::string& domain, const std::string& item) {
    return domain == c.domain && item.compare(0, c.itemPrefix.size(), c.itemPrefix) == 0;
}

bool refersTo(const sControlObjectClient& c, const std::string& controlObject) {
    size_t slash = controlObject.find('/');
    return slash != std::string::npos &&
           refersTo(c, controlObject.substr(0, slash), controlObject.substr(slash + 1));
}

// LastApplError structure: CntrlObj, Error, Origin, ctlNum, AddCause.
bool decodeLastApplError(const MmsValue* v, std::string& controlObject, LastApplError& out) {
    if (v == nullptr || v->type != MMS_STRUCTURE || v->components.size() < 5)
        return false;
    const MmsValue* obj = v->components[0];
    const MmsValue* error = v->components[1];
    const MmsValue* ctlNum = v->components[3];
    const MmsValue* cause = v->components[4];
    if (obj == nullptr || obj->type != MMS_VISIBLE_STRING || error == nullptr || ctlNum == nullptr ||
        cause == nullptr)
        return false;
    controlObject = obj->text;
    out.error = static_cast<ControlLastApplError>(MmsValue_toInt32(error));
    out.ctlNum = static_cast<int>(MmsValue_toUint32(ctlNum));
    out.addCause = static_cast<ControlAddCause>(MmsValue_toInt32(cause));
    return true;
}

} // namespace

MmsValue* sControlObjectClient::buildCommand(const MmsValue* ctlVal, uint64_t operTime, bool withCheck) {
    const auto& s = operDesc->typeSpec.structure;
    std::vector<MmsVariableSpecification*> elements;
    for (int i = 0; i < s.elementCount; ++i)
        if (withCheck || s.elements[i]->name == nullptr || std::strcmp(s.elements[i]->name, "Check") != 0)
            elements.push_back(s.elements[i]);
    MmsValue* value = MmsValue_createEmptyStructure(static_cast<int>(elements.size()));
    uint64_t t = constantT && selectTime != 0 ? selectTime : nowMs();
    for (size_t i = 0; i < elements.size(); ++i) {
        const MmsVariableSpecification* e = elements[i];
        std::string name = e->name != nullptr ? e->name : "";
        MmsValue* component = MmsValue_newDefaultValue(e);
        if (name == "ctlVal") {
            MmsValue_delete(component);
            component = MmsValue_clone(ctlVal);
        } else if (name == "operTm") {
            MmsValue_setUtcTimeMs(component, operTime);
        } else if (name == "origin" && component->type == MMS_STRUCTURE &&
                   component->components.size() >= 2) {
            MmsValue_setInt32(component->components[0], orCat);
            MmsValue_setOctetString(component->components[1],
                                    reinterpret_cast<const uint8_t*>(orIdent.data()),
                                    static_cast<int>(orIdent.size()));
        } else if (name == "ctlNum") {
            MmsValue_setUint32(component, ctlNum);
        } else if (name == "T") {
            MmsValue_setUtcTimeMs(component, t);
        } else if (name == "Test") {
            MmsValue_setBoolean(component, test);
        } else if (name == "Check") {
            MmsValue_setBitStringBit(component, 0, synchroCheck);
            MmsValue_setBitStringBit(component, 1, interlockCheck);
        }
        MmsValue_setElement(value, static_cast<int>(i), component);
    }
    return value;
}

bool sControlObjectClient::write(const char* name, MmsValue* value) {
    std::string reference = this->reference + "." + name;
    IedConnection_writeObject(connection, &lastError, reference.c_str(), IEC61850_FC_CO, value);
    MmsValue_delete(value);
    return lastError == IED_ERROR_OK;
}

void sIedConnection::onControlReport(VariableAccess& access, std::vector<MmsValue*>& values) {
    if (access.variables.size() != values.size())
        return;
    // A LastApplError (alone, or first in a negative command termination) and an Oper of a
    // domain (a command termination).
    std::string controlObject;
    LastApplError error{0, CONTROL_ERROR_NO_ERROR, ADD_CAUSE_UNKNOWN};
    bool haveError = false;
    const ObjectName* oper = nullptr;
    for (size_t i = 0; i < values.size(); ++i) {
        const ObjectName& n = access.variables[i];
        if (n.scope == ObjectName::Scope::Vmd && n.item == "LastApplError")
            haveError = decodeLastApplError(values[i], controlObject, error);
        else if (n.scope == ObjectName::Scope::Domain && n.item.size() > 5 &&
                 n.item.compare(n.item.size() - 5, 5, "$Oper") == 0)
            oper = &n;
    }
    std::lock_guard<std::recursive_mutex> lock(controlMutex);
    for (sControlObjectClient* c : controls) {
        bool forThis = oper != nullptr ? refersTo(*c, oper->domain, oper->item)
                                       : haveError && refersTo(*c, controlObject);
        if (!forThis)
            continue;
        CommandTerminationHandler handler = nullptr;
        void* parameter = nullptr;
        {
            std::lock_guard<std::mutex> clock(c->mutex);
            if (haveError)
                c->lastApplError = error;
            if (oper != nullptr) {
                c->termination = haveError ? Termination::Negative : Termination::Positive;
                handler = c->terminationHandler;
                parameter = c->terminationParameter;
            }
        }
        c->cv.notify_all();
        if (handler != nullptr)
            handler(parameter, c);
    }
}

extern "C" {

ControlObjectClient ControlObjectClient_create(const char* objectReference, IedConnection connection) {
    std::string domain, rest;
    if (connection == nullptr || !splitReference(objectReference, domain, rest) ||
        rest.find('.') == std::string::npos)
        return nullptr;
    IedClientError err = IED_ERROR_OK;
    std::string ref = objectReference;
    MmsValue* model = IedConnection_readObject(connection, &err, (ref + ".ctlModel").c_str(), IEC61850_FC_CF);
    if (model == nullptr || (model->type != MMS_INTEGER && model->type != MMS_UNSIGNED)) {
        MmsValue_deleteIfNotNull(model);
        return nullptr;
    }
    int ctlModel = MmsValue_toInt32(model);
    MmsValue_delete(model);
    if (ctlModel < CONTROL_MODEL_STATUS_ONLY || ctlModel > CONTROL_MODEL_SBO_ENHANCED)
        return nullptr;
    MmsVariableSpecification* oper =
        IedConnection_getVariableSpecification(connection, &err, (ref + ".Oper").c_str(), IEC61850_FC_CO);
    if (oper != nullptr && oper->type != MMS_STRUCTURE) {
        MmsVariableSpecification_destroy(oper);
        oper = nullptr;
    }
    if (oper == nullptr && ctlModel != CONTROL_MODEL_STATUS_ONLY)
        return nullptr;
    auto* self = new (std::nothrow) sControlObjectClient();
    if (self == nullptr) {
        if (oper != nullptr)
            MmsVariableSpecification_destroy(oper);
        return nullptr;
    }
    self->connection = connection;
    self->reference = ref;
    self->domain = domain;
    size_t dot = rest.find('.');
    self->itemPrefix = rest.substr(0, dot) + "$CO$" + dotsToDollars(rest.substr(dot + 1)) + "$";
    self->model = static_cast<ControlModel>(ctlModel);
    self->operDesc = oper;
    if (oper != nullptr) {
        for (int i = 0; i < oper->typeSpec.structure.elementCount; ++i) {
            const MmsVariableSpecification* e = oper->typeSpec.structure.elements[i];
            if (e->name != nullptr && std::strcmp(e->name, "ctlVal") == 0)
                self->ctlValType = e->type;
        }
    }
    std::lock_guard<std::recursive_mutex> lock(connection->controlMutex);
    connection->controls.push_back(self);
    return self;
}

void ControlObjectClient_destroy(ControlObjectClient self) try {
    if (self == nullptr)
        return;
    {
        std::lock_guard<std::recursive_mutex> lock(self->connection->controlMutex);
        auto& list = self->connection->controls;
        for (auto it = list.begin(); it != list.end(); ++it)
            if (*it == self) {
                list.erase(it);
                break;
            }
    }
    delete self;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

const char* ControlObjectClient_getObjectReference(ControlObjectClient self) try {
    return self != nullptr ? self->reference.c_str() : nullptr;
} catch (...) {
    return nullptr;
}

ControlModel ControlObjectClient_getControlModel(ControlObjectClient self) {
    return self != nullptr ? self->model : CONTROL_MODEL_STATUS_ONLY;
}

void ControlObjectClient_setControlModel(ControlObjectClient self, ControlModel ctlModel) try {
    if (self != nullptr)
        self->model = ctlModel;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

MmsType ControlObjectClient_getCtlValType(ControlObjectClient self) {
    return self != nullptr ? self->ctlValType : MMS_BOOLEAN;
}

IedClientError ControlObjectClient_getLastError(ControlObjectClient self) {
    return self != nullptr ? self->lastError : IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
}

bool ControlObjectClient_operate(ControlObjectClient self, MmsValue* ctlVal, uint64_t operTime) try {
    if (self == nullptr || ctlVal == nullptr || self->operDesc == nullptr) {
        if (self != nullptr)
            self->lastError = IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(self->mutex);
        self->termination = self->enhanced() ? Termination::Pending : Termination::None;
    }
    bool ok = self->write("Oper", self->buildCommand(ctlVal, operTime, true));
    self->ctlNum = static_cast<uint8_t>(self->ctlNum + 1);
    self->selectTime = 0;
    if (!ok || !self->enhanced())
        return ok;
    // Enhanced security: the outcome is the command termination.
    std::unique_lock<std::mutex> lock(self->mutex);
    uint32_t timeout = self->connection->mms.requestTimeoutMs.load();
    if (!self->cv.wait_for(lock, std::chrono::milliseconds(timeout),
                           [self]() { return self->termination != Termination::Pending; })) {
        self->lastError = IED_ERROR_TIMEOUT;
        return false;
    }
    return self->termination == Termination::Positive;
} catch (...) {
    return false;
}

bool ControlObjectClient_select(ControlObjectClient self) try {
    if (self == nullptr)
        return false;
    self->selectTime = nowMs();
    std::string reference = self->reference + ".SBO";
    MmsValue* v =
        IedConnection_readObject(self->connection, &self->lastError, reference.c_str(), IEC61850_FC_CO);
    bool selected = false;
    if (v != nullptr) {
        if (v->type == MMS_VISIBLE_STRING)
            selected = !v->text.empty();
        else if (v->type == MMS_DATA_ACCESS_ERROR)
            self->lastError = toIedError(v->accessError);
        else
            self->lastError = IED_ERROR_UNEXPECTED_VALUE_RECEIVED;
        MmsValue_delete(v);
    }
    return selected;
} catch (...) {
    return false;
}

bool ControlObjectClient_selectWithValue(ControlObjectClient self, MmsValue* ctlVal) try {
    if (self == nullptr || ctlVal == nullptr || self->operDesc == nullptr) {
        if (self != nullptr)
            self->lastError = IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
        return false;
    }
    self->selectTime = nowMs();
    return self->write("SBOw", self->buildCommand(ctlVal, 0, true));
} catch (...) {
    return false;
}

bool ControlObjectClient_cancel(ControlObjectClient self) try {
    if (self == nullptr || self->operDesc == nullptr)
        return false;
    // The ctlVal of a cancel is not looked at; any value of the right type will do.
    const MmsVariableSpecification* ctlValDesc = nullptr;
    for (int i = 0; i < self->operDesc->typeSpec.structure.elementCount; ++i) {
        const MmsVariableSpecification* e = self->operDesc->typeSpec.structure.elements[i];
        if (e->name != nullptr && std::strcmp(e->name, "ctlVal") == 0)
            ctlValDesc = e;
    }
    MmsValue* ctlVal =
        ctlValDesc != nullptr ? MmsValue_newDefaultValue(ctlValDesc) : MmsValue_newBoolean(false);
    bool ok = self->write("Cancel", self->buildCommand(ctlVal, 0, false));
    MmsValue_delete(ctlVal);
    self->selectTime = 0;
    return ok;
} catch (...) {
    return false;
}

LastApplError ControlObjectClient_getLastApplError(ControlObjectClient self) {
    if (self == nullptr)
        return LastApplError{0, CONTROL_ERROR_NO_ERROR, ADD_CAUSE_UNKNOWN};
    std::lock_guard<std::mutex> lock(self->mutex);
    return self->lastApplError;
}

void ControlObjectClient_setOrigin(ControlObjectClient self, const char* orIdent, int orCat) try {
    if (self == nullptr)
        return;
    self->orIdent = orIdent != nullptr ? std::string(orIdent).substr(0, 64) : std::string();
    self->orCat = orCat;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void ControlObjectClient_setTestMode(ControlObjectClient self, bool value) try {
    if (self != nullptr)
        self->test = value;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void ControlObjectClient_setInterlockCheck(ControlObjectClient self, bool value) try {
    if (self != nullptr)
        self->interlockCheck = value;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void ControlObjectClient_setSynchroCheck(ControlObjectClient self, bool value) try {
    if (self != nullptr)
        self->synchroCheck = value;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void ControlObjectClient_useConstantT(ControlObjectClient self, bool useConstantT) try {
    if (self != nullptr)
        self->constantT = useConstantT;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void ControlObjectClient_setCommandTerminationHandler(ControlObjectClient self,
                                                      CommandTerminationHandler handler,
                                                      void* handlerParameter) try {
    if (self == nullptr)
        return;
    std::lock_guard<std::mutex> lock(self->mutex);
    self->terminationHandler = handler;
    self->terminationParameter = handlerParameter;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

} // extern "C"
