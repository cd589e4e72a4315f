#pragma once
// Builders of the GOOSE document's DataTypeTemplates section. They hold no state: each static
// operation appends elements to the element it is given, attributes in a fixed order.
#include <set>
#include <string>
#include <tuple>

namespace xmlpp {
class Element;
}

namespace VorIec61850 {

// One logical node type declared for a published data set member (prefix + class).
struct LNodeTypeAttributes {
    std::string id;
    std::string lnClass;

    bool operator<(const LNodeTypeAttributes& other) const {
        return std::tie(id, lnClass) < std::tie(other.id, other.lnClass);
    }
};

// One extra data object written into every dynamic logical node type.
struct LNodeTypeItem {
    std::string desc; // left empty by the GOOSE writer and never written
    std::string name;
    std::string type;

    bool operator<(const LNodeTypeItem& other) const {
        return std::tie(desc, name, type) < std::tie(other.desc, other.name, other.type);
    }
};

class LNodeType {
public:
    static void setLNodeType(xmlpp::Element* parent, const std::set<LNodeTypeAttributes>& attributes,
                             const std::set<LNodeTypeItem>& items);
};

class LNodeTypeElements {
public:
    // Number of numbered SPCSO/DPCSO data objects in each dynamic logical node type.
    static constexpr int kNumberedDoCount = 402;
    static void setLNodeTypeElements(xmlpp::Element* lNodeType, const std::set<LNodeTypeItem>& items);
};

class LNodeTypeLn0 {
public:
    static void setLn0Elements(xmlpp::Element* lNodeType);
};

class LNodeTypePhd {
public:
    static void setPhdElements(xmlpp::Element* lNodeType);
};

class LNodeTypeCtr {
public:
    static void setCtrElements(xmlpp::Element* lNodeType);
};

class LNodeTypeVtr {
public:
    static void setVtrElements(xmlpp::Element* lNodeType);
};

class DoType {
public:
    static void setDoType(xmlpp::Element* parent);
};

class DoTypeNamPlt {
public:
    static void setNamPltElements(xmlpp::Element* doType);
};
class DoTypeMod {
public:
    static void setModElements(xmlpp::Element* doType);
};
class DoTypeBeh {
public:
    static void setBehElements(xmlpp::Element* doType);
};
class DoTypeHealth {
public:
    static void setHealthElements(xmlpp::Element* doType);
};
class DoTypePhyNam {
public:
    static void setPhyNamElements(xmlpp::Element* doType);
};
class DoTypeProxy {
public:
    static void setProxyElements(xmlpp::Element* doType);
};
class DoTypeAmpSv {
public:
    static void setAmpSvElements(xmlpp::Element* doType);
};
class DoTypeVolSv {
public:
    static void setVolSvElements(xmlpp::Element* doType);
};
class DoTypeSpcs {
public:
    static void setSpcsElements(xmlpp::Element* doType);
};
class DoTypeDpcs {
public:
    static void setDpcsElements(xmlpp::Element* doType);
};

class DaType {
public:
    static void setDaType(xmlpp::Element* parent);
};
class DaTypeAmpScaled {
public:
    static void setAmpScaledElements(xmlpp::Element* daType);
};
class DaTypeVolScaled {
public:
    static void setVolScaledElements(xmlpp::Element* daType);
};

class EnumType {
public:
    static void setEnumType(xmlpp::Element* parent);
};
class EnumTypeModeBeh {
public:
    // Used for both "Mod" and "Beh".
    static void setModBehElements(xmlpp::Element* enumType);
};
class EnumTypeHealth {
public:
    static void setHealthElements(xmlpp::Element* enumType);
};
class EnumTypeCtlModel {
public:
    static void setCtlModelElements(xmlpp::Element* enumType);
};
class EnumTypeDbpos {
public:
    static void setDbposElements(xmlpp::Element* enumType);
};
class EnumTypeItsiUnit {
public:
    static void setItsiUnitElements(xmlpp::Element* enumType);
};

} // namespace VorIec61850
