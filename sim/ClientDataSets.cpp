#include "sim/ClientDataSets.h"

namespace iecx::sim {

using stack::mms::ObjectName;

const ClientDataSets::Members* ClientDataSets::_findLocked(uint64_t connection,
                                                           const ObjectName& name) const {
    if (name.scope == ObjectName::Scope::Domain) {
        auto it = _persistent.find({name.domain, name.item});
        return it == _persistent.end() ? nullptr : &it->second;
    }
    if (name.scope == ObjectName::Scope::Association) {
        auto c = _association.find(connection);
        if (c == _association.end())
            return nullptr;
        auto it = c->second.find(name.item);
        return it == c->second.end() ? nullptr : &it->second;
    }
    return nullptr;
}

bool ClientDataSets::define(uint64_t connection, const ObjectName& name, std::vector<ObjectName> members) {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_findLocked(connection, name) != nullptr)
        return false;
    if (name.scope == ObjectName::Scope::Domain)
        _persistent[{name.domain, name.item}] = std::move(members);
    else
        _association[connection][name.item] = std::move(members);
    return true;
}

bool ClientDataSets::remove(uint64_t connection, const ObjectName& name, bool& matched) {
    std::lock_guard<std::mutex> lock(_mutex);
    matched = _findLocked(connection, name) != nullptr;
    if (!matched)
        return false;
    if (name.scope == ObjectName::Scope::Domain)
        _persistent.erase({name.domain, name.item});
    else
        _association[connection].erase(name.item);
    return true;
}

bool ClientDataSets::members(uint64_t connection, const ObjectName& name,
                             std::vector<ObjectName>& out) const {
    std::lock_guard<std::mutex> lock(_mutex);
    const Members* m = _findLocked(connection, name);
    if (m == nullptr)
        return false;
    out = *m;
    return true;
}

void ClientDataSets::appendNames(const std::string& domain, std::vector<std::string>& out) const {
    std::lock_guard<std::mutex> lock(_mutex);
    for (auto it = _persistent.lower_bound({domain, std::string()});
         it != _persistent.end() && it->first.first == domain; ++it)
        out.push_back(it->first.second);
}

void ClientDataSets::connectionClosed(uint64_t connection) {
    std::lock_guard<std::mutex> lock(_mutex);
    _association.erase(connection);
}

} // namespace iecx::sim
