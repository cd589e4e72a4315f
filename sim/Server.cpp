#include "sim/Server.h"

namespace iecx::sim {

using stack::mms::MmsServerConnection;
using stack::mms::MmsServerConnectionPtr;
using stack::mms::ObjectClass;
using stack::mms::ObjectName;

SimServerHandler::SimServerHandler(Model& model, ReportEngine& reports, GoosePublishing& goose)
    : _model(model), _reports(reports), _goose(goose) {
    for (const auto& d : _model.domains())
        _variableNames[d->name] = d->variableNames();
}

void SimServerHandler::connectionOpened(const MmsServerConnectionPtr& connection) {
    std::lock_guard<std::mutex> lock(_connectionsMutex);
    _connections[connection->id()] = connection;
}

void SimServerHandler::connectionClosed(const MmsServerConnectionPtr& connection) {
    _reports.connectionClosed(connection->id());
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
    else if (objectClass == ObjectClass::NamedVariableList)
        names = d->dataSetNames();
    return true;
}

ModelNode* SimServerHandler::_find(const ObjectName& name) const {
    if (name.scope != ObjectName::Scope::Domain)
        return nullptr;
    return _model.find(name.domain, name.item);
}

MmsValue* SimServerHandler::readVariable(MmsServerConnection&, const ObjectName& name) {
    ++_requests;
    ModelNode* node = _find(name);
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
    return node ? node->spec : nullptr;
}

bool SimServerHandler::getNamedVariableListAttributes(MmsServerConnection&, const ObjectName& listName,
                                                      std::vector<ObjectName>& members, bool& deletable) {
    ++_requests;
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

} // namespace iecx::sim
