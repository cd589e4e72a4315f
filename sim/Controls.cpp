#include "sim/Controls.h"

#include "stack/src/value/mms_value_internal.h"

#include <chrono>
#include <cstring>

namespace iecx::sim {

using stack::mms::MmsServerConnection;
using stack::mms::ObjectName;

namespace {

constexpr int kDefaultSboTimeoutMs = 30000;

// The component `name` of a command structure written against `typeDesc`, or null.
const MmsValue* component(const MmsValue* command, const MmsVariableSpecification* typeDesc,
                          const char* name) {
    if (command == nullptr || typeDesc == nullptr || command->type != MMS_STRUCTURE ||
        typeDesc->type != MMS_STRUCTURE)
        return nullptr;
    const auto& s = typeDesc->typeSpec.structure;
    for (int i = 0; i < s.elementCount && static_cast<size_t>(i) < command->components.size(); ++i)
        if (s.elements[i]->name != nullptr && std::strcmp(s.elements[i]->name, name) == 0)
            return command->components[static_cast<size_t>(i)];
    return nullptr;
}

ModelNode* groupChild(const ModelNode* ln, const char* fc, const std::string& name) {
    ModelNode* group = ln->child(fc);
    return group ? group->child(name) : nullptr;
}

MmsValue* nowUtc() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
    return MmsValue_newUtcTimeByMsTime(static_cast<uint64_t>(ms));
}

} // namespace

ControlEngine::ControlEngine(Model& model) : _model(model) {
    for (const auto& domain : _model.domains()) {
        for (const auto& ln : domain->logicalNodes) {
            ModelNode* co = ln->child("CO");
            if (!co)
                continue;
            for (const auto& object : co->children) {
                if (!object->child("Oper"))
                    continue;
                Control c;
                c.co = object.get();
                c.stVal = groupChild(ln.get(), "ST", object->name);
                if (c.stVal) {
                    ModelNode* st = c.stVal;
                    c.stVal = st->child("stVal");
                    c.t = st->child("t");
                    c.stSeld = st->child("stSeld");
                }
                ModelNode* cf = groupChild(ln.get(), "CF", object->name);
                if (cf) {
                    c.ctlModel = cf->child("ctlModel");
                    c.sboTimeout = cf->child("sboTimeout");
                }
                _controls[object.get()] = c;
            }
        }
    }
}

ControlEngine::Control* ControlEngine::_control(const ModelNode* node, std::string& attribute) {
    if (!node || node->fc != "CO" || !node->parent)
        return nullptr;
    auto it = _controls.find(node->parent);
    if (it == _controls.end())
        return nullptr;
    attribute = node->name;
    return &it->second;
}

bool ControlEngine::handles(const ModelNode* node) const {
    if (!node || node->fc != "CO" || !node->parent || !_controls.count(node->parent))
        return false;
    return node->name == "SBO" || node->name == "Oper" || node->name == "SBOw" || node->name == "Cancel";
}

ControlModel ControlEngine::_modelOf(const Control& c) const {
    if (!c.ctlModel)
        return CONTROL_MODEL_STATUS_ONLY;
    std::lock_guard<std::mutex> lock(_model.mutex());
    int v = MmsValue_toInt32(c.ctlModel->value);
    return v >= CONTROL_MODEL_STATUS_ONLY && v <= CONTROL_MODEL_SBO_ENHANCED ? static_cast<ControlModel>(v)
                                                                             : CONTROL_MODEL_STATUS_ONLY;
}

bool ControlEngine::_selectedBy(Control& c, uint64_t connection) {
    std::lock_guard<std::mutex> lock(_mutex);
    if (c.selectedBy != 0 && Clock::now() > c.selectEnd)
        c.selectedBy = 0; // expired
    return c.selectedBy == connection;
}

void ControlEngine::_select(Control& c, uint64_t connection) {
    int timeoutMs = kDefaultSboTimeoutMs;
    if (c.sboTimeout) {
        std::lock_guard<std::mutex> lock(_model.mutex());
        uint32_t v = MmsValue_toUint32(c.sboTimeout->value);
        if (v > 0)
            timeoutMs = static_cast<int>(std::min<uint32_t>(v, 3600000));
    }
    {
        std::lock_guard<std::mutex> lock(_mutex);
        c.selectedBy = connection;
        c.selectEnd = Clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    if (c.stSeld) {
        MmsValue* on = MmsValue_newBoolean(true);
        _model.setValue(c.stSeld, on);
        MmsValue_delete(on);
    }
}

void ControlEngine::_deselect(Control& c) {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        c.selectedBy = 0;
    }
    if (c.stSeld) {
        MmsValue* off = MmsValue_newBoolean(false);
        _model.setValue(c.stSeld, off);
        MmsValue_delete(off);
    }
}

bool ControlEngine::_execute(Control& c, const MmsValue* ctlVal) {
    if (!c.stVal)
        return true; // nothing to show the operation in
    MmsValue* position = nullptr;
    {
        std::lock_guard<std::mutex> lock(_model.mutex());
        position = MmsValue_clone(c.stVal->value);
    }
    bool ok = true;
    if (position->type == MMS_BIT_STRING && position->bitSize == 2 && ctlVal->type == MMS_BOOLEAN) {
        // Double point position: on is "10", off is "01".
        MmsValue_setBitStringBit(position, 0, ctlVal->boolean);
        MmsValue_setBitStringBit(position, 1, !ctlVal->boolean);
    } else if ((position->type == MMS_INTEGER || position->type == MMS_UNSIGNED) &&
               (ctlVal->type == MMS_INTEGER || ctlVal->type == MMS_UNSIGNED)) {
        MmsValue_setInt32(position, MmsValue_toInt32(ctlVal));
    } else {
        ok = MmsValue_update(position, ctlVal);
    }
    if (ok)
        ok = _model.setValue(c.stVal, position);
    MmsValue_delete(position);
    if (ok && c.t) {
        MmsValue* t = nowUtc();
        _model.setValue(c.t, t);
        MmsValue_delete(t);
    }
    return ok;
}

void ControlEngine::_sendLastApplError(MmsServerConnection& connection, const Control& c,
                                       const std::string& attribute, const MmsValue* command,
                                       ControlAddCause cause) {
    const MmsVariableSpecification* typeDesc =
        c.co->child(attribute) ? c.co->child(attribute)->typeDesc : nullptr;
    const MmsValue* origin = component(command, typeDesc, "origin");
    const MmsValue* ctlNum = component(command, typeDesc, "ctlNum");
    MmsValue* error = MmsValue_createEmptyStructure(5);
    std::string reference = c.co->owningDomain()->name + "/" + c.co->itemId() + "$" + attribute;
    MmsValue_setElement(error, 0, MmsValue_newVisibleString(reference.c_str()));
    MmsValue_setElement(error, 1, MmsValue_newIntegerFromInt8(CONTROL_ERROR_UNKNOWN));
    if (origin && origin->type == MMS_STRUCTURE) {
        MmsValue_setElement(error, 2, MmsValue_clone(origin));
    } else {
        MmsValue* o = MmsValue_createEmptyStructure(2);
        MmsValue_setElement(o, 0, MmsValue_newIntegerFromInt8(CONTROL_ORCAT_NOT_SUPPORTED));
        MmsValue_setElement(o, 1, MmsValue_newOctetString(0, 64));
        MmsValue_setElement(error, 2, o);
    }
    MmsValue* num = MmsValue_newUnsigned(8);
    MmsValue_setUint32(num, ctlNum ? MmsValue_toUint32(ctlNum) : 0);
    MmsValue_setElement(error, 3, num);
    MmsValue_setElement(error, 4, MmsValue_newIntegerFromInt8(static_cast<int8_t>(cause)));
    ObjectName name;
    name.scope = ObjectName::Scope::Vmd;
    name.item = "LastApplError";
    connection.sendInformationReport(std::vector<ObjectName>{name}, {error});
    MmsValue_delete(error);
}

MmsValue* ControlEngine::read(MmsServerConnection& connection, const ModelNode* node) {
    std::string attribute;
    Control* c = _control(node, attribute);
    if (!c || attribute != "SBO")
        return nullptr;
    if (_modelOf(*c) != CONTROL_MODEL_SBO_NORMAL)
        return MmsValue_newVisibleString("");
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (c->selectedBy != 0 && c->selectedBy != connection.id() && Clock::now() <= c->selectEnd)
            return MmsValue_newVisibleString(""); // selected by another client
    }
    _select(*c, connection.id());
    return MmsValue_newVisibleString(c->co->objectReference().c_str());
}

MmsDataAccessError ControlEngine::write(MmsServerConnection& connection, const ModelNode* node,
                                        const MmsValue* value) {
    std::string attribute;
    Control* c = _control(node, attribute);
    if (!c || attribute == "SBO")
        return DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED;
    const MmsVariableSpecification* typeDesc = node->typeDesc;
    const MmsValue* ctlVal = component(value, typeDesc, "ctlVal");
    if (!ctlVal || value->components.size() != static_cast<size_t>(typeDesc->typeSpec.structure.elementCount))
        return DATA_ACCESS_ERROR_TYPE_INCONSISTENT;
    {
        // The control value must have the type of the object's ctlVal.
        std::lock_guard<std::mutex> lock(_model.mutex());
        const ModelNode* ctlValNode = node->child("ctlVal");
        if (!ctlValNode || !ctlValNode->value || MmsValue_getType(ctlValNode->value) != ctlVal->type)
            return DATA_ACCESS_ERROR_TYPE_INCONSISTENT;
    }
    const ControlModel model = _modelOf(*c);
    const bool sbo = model == CONTROL_MODEL_SBO_NORMAL || model == CONTROL_MODEL_SBO_ENHANCED;
    const bool enhanced = model == CONTROL_MODEL_DIRECT_ENHANCED || model == CONTROL_MODEL_SBO_ENHANCED;
    auto refuse = [&](ControlAddCause cause) {
        _sendLastApplError(connection, *c, attribute, value, cause);
        return DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED;
    };
    if (model == CONTROL_MODEL_STATUS_ONLY)
        return refuse(ADD_CAUSE_NOT_SUPPORTED);
    if (attribute == "SBOw") {
        if (model != CONTROL_MODEL_SBO_ENHANCED)
            return refuse(ADD_CAUSE_NOT_SUPPORTED);
        if (!_selectedBy(*c, connection.id())) {
            std::lock_guard<std::mutex> lock(_mutex);
            if (c->selectedBy != 0)
                return refuse(ADD_CAUSE_OBJECT_ALREADY_SELECTED);
        }
        _select(*c, connection.id());
        return DATA_ACCESS_ERROR_SUCCESS;
    }
    if (attribute == "Cancel") {
        if (sbo && !_selectedBy(*c, connection.id()))
            return refuse(ADD_CAUSE_OBJECT_NOT_SELECTED);
        if (sbo)
            _deselect(*c);
        return DATA_ACCESS_ERROR_SUCCESS;
    }
    // Oper
    if (sbo && !_selectedBy(*c, connection.id()))
        return refuse(ADD_CAUSE_OBJECT_NOT_SELECTED);
    if (!_execute(*c, ctlVal))
        return refuse(ADD_CAUSE_INCONSISTENT_PARAMETERS);
    if (sbo)
        _deselect(*c);
    if (enhanced) {
        ObjectName oper(c->co->owningDomain()->name, c->co->itemId() + "$Oper");
        std::lock_guard<std::mutex> lock(_mutex);
        _terminations[connection.id()].push_back({oper, MmsValue_clone(value)});
    }
    return DATA_ACCESS_ERROR_SUCCESS;
}

void ControlEngine::responseSent(MmsServerConnection& connection) {
    std::vector<Termination> due;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        auto it = _terminations.find(connection.id());
        if (it == _terminations.end())
            return;
        due.swap(it->second);
        _terminations.erase(it);
    }
    for (Termination& t : due) {
        connection.sendInformationReport(std::vector<ObjectName>{t.oper}, {t.value});
        MmsValue_delete(t.value);
    }
}

void ControlEngine::connectionClosed(uint64_t connection) {
    std::vector<Control*> selected;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        auto it = _terminations.find(connection);
        if (it != _terminations.end()) {
            for (Termination& t : it->second)
                MmsValue_delete(t.value);
            _terminations.erase(it);
        }
        for (auto& entry : _controls)
            if (entry.second.selectedBy == connection)
                selected.push_back(&entry.second);
    }
    for (Control* c : selected)
        _deselect(*c);
}

} // namespace iecx::sim
