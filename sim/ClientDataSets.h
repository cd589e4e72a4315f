#pragma once
// Data sets that clients define and delete at run time: persistent ones in a logical device
// ("LLN0$name", visible to every client until deleted) and association-specific ones ("@name",
// gone with the association). Data sets of the SCL file are not kept here and are never
// deletable.
#include "stack/src/mms/MmsTypes.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace iecx::sim {

class ClientDataSets {
public:
    // false when a list of that name exists already.
    bool define(uint64_t connection, const stack::mms::ObjectName& name,
                std::vector<stack::mms::ObjectName> members);
    // true when deleted; `matched` when it existed.
    bool remove(uint64_t connection, const stack::mms::ObjectName& name, bool& matched);
    bool members(uint64_t connection, const stack::mms::ObjectName& name,
                 std::vector<stack::mms::ObjectName>& out) const;
    // Appends the names of the domain's persistent client data sets.
    void appendNames(const std::string& domain, std::vector<std::string>& out) const;
    void connectionClosed(uint64_t connection);

private:
    using Members = std::vector<stack::mms::ObjectName>;
    // The list a name refers to, or null.
    const Members* _findLocked(uint64_t connection, const stack::mms::ObjectName& name) const;

    mutable std::mutex _mutex;
    std::map<std::pair<std::string, std::string>, Members> _persistent; // (domain, item)
    std::map<uint64_t, std::map<std::string, Members>> _association;
};

} // namespace iecx::sim
