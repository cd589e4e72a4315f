#pragma once
// Small value types shared by the MMS client, server and PDU codecs.
#include <cstdint>
#include <string>
#include <vector>

namespace stack {
namespace mms {

// One step of an alternate access into a variable: an array element or a structure component.
struct AccessStep {
    enum class Kind { Index, Component, Unsupported }; // Unsupported: ranges, all elements, named
    Kind kind = Kind::Index;
    uint32_t index = 0;
    std::string component;

    static AccessStep element(uint32_t i) { return {Kind::Index, i, std::string()}; }
    static AccessStep named(std::string c) { return {Kind::Component, 0, std::move(c)}; }
    bool operator==(const AccessStep& o) const {
        return kind == o.kind && index == o.index && component == o.component;
    }
};

// Name of an MMS object (named variable or named variable list), with the part of a variable
// an alternate access selects (empty: the whole variable).
struct ObjectName {
    enum class Scope { Vmd, Domain, Association };
    Scope scope = Scope::Domain;
    std::string domain; // only for Scope::Domain
    std::string item;   // the object's identifier, e.g. "LLN0$ST$Mod$stVal" or "LLN0$DataSet1"
    std::vector<AccessStep> alternateAccess; // e.g. element 10, then "cVal", "mag", "f"

    ObjectName() = default;
    ObjectName(std::string d, std::string i)
        : scope(Scope::Domain), domain(std::move(d)), item(std::move(i)) {}
    bool operator==(const ObjectName& o) const {
        return scope == o.scope && domain == o.domain && item == o.item &&
               alternateAccess == o.alternateAccess;
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
