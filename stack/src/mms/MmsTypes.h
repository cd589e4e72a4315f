#pragma once
// Small value types shared by the MMS client, server and PDU codecs.
#include <string>

namespace stack {
namespace mms {

// Name of an MMS object (named variable or named variable list).
struct ObjectName {
    enum class Scope { Vmd, Domain, Association };
    Scope scope = Scope::Domain;
    std::string domain; // only for Scope::Domain
    std::string item;   // the object's identifier, e.g. "LLN0$ST$Mod$stVal" or "LLN0$DataSet1"

    ObjectName() = default;
    ObjectName(std::string d, std::string i)
        : scope(Scope::Domain), domain(std::move(d)), item(std::move(i)) {}
    bool operator==(const ObjectName& o) const {
        return scope == o.scope && domain == o.domain && item == o.item;
    }
};

// MMS object classes a GetNameList request can ask for (basic object class codes).
enum class ObjectClass : int { NamedVariable = 0, NamedVariableList = 2, Journal = 8, Domain = 9 };

struct ServerIdentity {
    std::string vendor = "iecx";
    std::string model = "simulated IED";
    std::string revision = "1";
};

} // namespace mms
} // namespace stack
