#include "sim/Server.h"

namespace iecx::sim {

using stack::mms::MmsServerConnection;
using stack::mms::MmsServerConnectionPtr;
using stack::mms::ObjectClass;
using stack::mms::ObjectName;

SimServerHandler::SimServerHandler(Model& model, ReportEngine& reports, GoosePublishing& goose)
    : _model(model), _reports(reports), _goose(goose), _controls(model) {
    for (const auto& d : _model.domains())
        _variableNames[d->name] = d->variableNames();
}

void SimServerHandler::connectionOpened(const MmsServerConnectionPtr& connection) {
    std::lock_guard<std::mutex> lock(_connectionsMutex);
    _connections[connection->id()] = connection;
}

void SimServerHandler::connectionClosed(const MmsServerConnectionPtr& connection) {
    _reports.connectionClosed(connection->id());
    _clientDataSets.connectionClosed(connection->id());
    _controls.connectionClosed(connection->id());
    std::lock_guard<std::mutex> lock(_connectionsMutex);
    _connections.erase(connection->id());
}

size_t SimServerHandler::openConnections() const {
    std::lock_guard<std::mutex> lock(_connectionsMutex);
    return _connections.size();
}

stack::mms::ServerIdentity SimServerHandler::identify(MmsServerConnection&) {
    stack::mms::ServerIdentity id;
    id.model = "simulated " + _model.iedName();
    return id;
}

bool SimServerHandler::getNameList(MmsServerConnection&, ObjectClass objectClass, const std::string& domain,
                                   std::vector<std::string>& names) {
    ++_requests;
    if (objectClass == ObjectClass::Domain) {
        for (const auto& d : _model.domains())
            names.push_back(d->name);
        return true;
    }
    Domain* d = _model.domain(domain);
    if (!d)
        return false;
    if (objectClass == ObjectClass::NamedVariable)
        names = _variableNames.at(d->name);
    else if (objectClass == ObjectClass::NamedVariableList) {
        names = d->dataSetNames();
        _clientDataSets.appendNames(d->name, names);
    }
    return true; // journals: the simulated IED keeps none
}

ModelNode* SimServerHandler::_find(const ObjectName& name) const {
    if (name.scope != ObjectName::Scope::Domain)
        return nullptr;
    return _model.find(name.domain, name.item);
}

MmsValue* SimServerHandler::readVariable(MmsServerConnection& connection, const ObjectName& name) {
    ++_requests;
    ModelNode* node = _find(name);
    if (node && node->name == "SBO" && _controls.handles(node))
        return _controls.read(connection, node);
    return node ? _model.read(node) : nullptr;
}

MmsDataAccessError SimServerHandler::writeVariable(MmsServerConnection& connection, const ObjectName& name,
                                                   const MmsValue* value) {
    ++_requests;
    ModelNode* node = _find(name);
    if (!node)
        return DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT;
    if (_reports.handles(node)) {
        MmsServerConnectionPtr ptr;
        {
            std::lock_guard<std::mutex> lock(_connectionsMutex);
            auto it = _connections.find(connection.id());
            if (it != _connections.end())
                ptr = it->second;
        }
        if (!ptr)
            return DATA_ACCESS_ERROR_TEMPORARILY_UNAVAILABLE;
        return _reports.write(ptr, node, value);
    }
    if (_goose.handles(node))
        return _goose.write(node, value);
    if (_controls.handles(node))
        return _controls.write(connection, node, value);
    if (node->fc == "CO")
        return DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED; // parts of a command, or a command of no object
    // Status and measured values belong to the process, not to clients; RP/BR/GO blocks are
    // handled above, the rest (settings, configuration, descriptions) is writable.
    if (node->fc == "ST" || node->fc == "MX")
        return DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED;
    if (!_model.setValue(node, value))
        return DATA_ACCESS_ERROR_TYPE_INCONSISTENT;
    return DATA_ACCESS_ERROR_SUCCESS;
}

const MmsVariableSpecification* SimServerHandler::getVariableAccessAttributes(MmsServerConnection&,
                                                                              const ObjectName& name) {
    ++_requests;
    ModelNode* node = _find(name);
    return node ? node->typeDesc : nullptr;
}

bool SimServerHandler::getNamedVariableListAttributes(MmsServerConnection& connection,
                                                      const ObjectName& listName,
                                                      std::vector<ObjectName>& members, bool& deletable) {
    ++_requests;
    if (_clientDataSets.members(connection.id(), listName, members)) {
        deletable = true;
        return true;
    }
    if (listName.scope != ObjectName::Scope::Domain)
        return false;
    Domain* d = _model.domain(listName.domain);
    DataSet* ds = d ? d->dataSet(listName.item) : nullptr;
    if (!ds)
        return false;
    for (const auto& m : ds->members) {
        members.emplace_back(m.domain, m.item);
        members.back().alternateAccess = m.steps;
    }
    deletable = false;
    return true;
}

void SimServerHandler::responseSent(MmsServerConnection& connection) {
    _controls.responseSent(connection);
}

bool SimServerHandler::defineNamedVariableList(MmsServerConnection& connection, const ObjectName& listName,
                                               const std::vector<ObjectName>& members, uint32_t& errorClass,
                                               int32_t& code) {
    ++_requests;
    constexpr uint32_t kDefinition = 2;
    constexpr int32_t kObjectUndefined = 1, kObjectExists = 5, kInvalidAddress = 2;
    errorClass = kDefinition;
    if (listName.scope == ObjectName::Scope::Domain) {
        // A persistent data set lives in a logical node of an existing logical device.
        Domain* d = _model.domain(listName.domain);
        size_t dollar = listName.item.find('$');
        if (!d || dollar == std::string::npos || !d->logicalNode(listName.item.substr(0, dollar))) {
            code = kObjectUndefined;
            return false;
        }
        if (d->dataSet(listName.item)) {
            code = kObjectExists;
            return false;
        }
    } else if (listName.scope != ObjectName::Scope::Association) {
        code = kObjectUndefined;
        return false;
    }
    for (const ObjectName& m : members) {
        if (!_find(m)) {
            code = kInvalidAddress;
            return false;
        }
    }
    if (!_clientDataSets.define(connection.id(), listName, members)) {
        code = kObjectExists;
        return false;
    }
    return true;
}

bool SimServerHandler::deleteNamedVariableList(MmsServerConnection& connection, const ObjectName& listName,
                                               bool& matched) {
    ++_requests;
    if (_clientDataSets.remove(connection.id(), listName, matched))
        return true;
    // Data sets of the SCL file exist but cannot be deleted.
    Domain* d = listName.scope == ObjectName::Scope::Domain ? _model.domain(listName.domain) : nullptr;
    matched = d && d->dataSet(listName.item);
    return false;
}

} // namespace iecx::sim
