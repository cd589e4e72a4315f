#include "cid/GooseTemplates.h"

#include "cid/TemplateTables.h"
#include "host/XmlHelper.h"

#include <libxml++/libxml++.h>

#include <string>

namespace VorIec61850 {

using namespace CidTemplates;
using Vor::XmlHelper;

namespace {

void addDo(xmlpp::Element* parent, const std::string& name, const std::string& type) {
    xmlpp::Element* element = parent->add_child("DO");
    XmlHelper::set_attribute(element, "desc", "");
    XmlHelper::set_attribute(element, "name", name);
    XmlHelper::set_attribute(element, "type", type);
}

xmlpp::Element* addLNodeType(xmlpp::Element* parent, const std::string& id, const std::string& lnClass) {
    xmlpp::Element* element = parent->add_child("LNodeType");
    XmlHelper::set_attribute(element, "id", id);
    XmlHelper::set_attribute(element, "lnClass", lnClass);
    return element;
}

template <std::size_t N> void addDas(xmlpp::Element* doType, const DaRow (&rows)[N]) {
    for (const DaRow& row : rows) {
        xmlpp::Element* element = doType->add_child("DA");
        XmlHelper::set_attribute(element, "desc", "");
        XmlHelper::set_attribute(element, "name", row.name);
        XmlHelper::set_attribute(element, "bType", row.bType);
        if (row.type != nullptr)
            XmlHelper::set_attribute(element, "type", row.type);
        if (row.dchg)
            XmlHelper::set_attribute(element, "dchg", true);
        XmlHelper::set_attribute(element, "fc", row.fc);
        if (row.val != nullptr)
            element->add_child("Val")->add_child_text(row.val);
    }
}

template <std::size_t N> void addBdas(xmlpp::Element* daType, const BdaRow (&rows)[N]) {
    for (const BdaRow& row : rows) {
        xmlpp::Element* element = daType->add_child("BDA");
        XmlHelper::set_attribute(element, "desc", "");
        XmlHelper::set_attribute(element, "name", row.name);
        XmlHelper::set_attribute(element, "bType", row.bType);
        if (row.type != nullptr)
            XmlHelper::set_attribute(element, "type", row.type);
        if (row.val != nullptr)
            element->add_child("Val")->add_child_text(row.val);
    }
}

template <std::size_t N> void addEnumVals(xmlpp::Element* enumType, const EnumRow (&rows)[N]) {
    for (const EnumRow& row : rows) {
        xmlpp::Element* element = enumType->add_child("EnumVal");
        XmlHelper::set_attribute(element, "ord", row.ord);
        XmlHelper::set_attribute(element, "desc", row.desc);
        if (row.text != nullptr)
            element->add_child_text(row.text);
    }
}

xmlpp::Element* addDoType(xmlpp::Element* parent, const char* id, const char* cdc) {
    xmlpp::Element* element = parent->add_child("DOType");
    XmlHelper::set_attribute(element, "id", id);
    XmlHelper::set_attribute(element, "cdc", cdc);
    return element;
}

xmlpp::Element* addDaType(xmlpp::Element* parent, const char* id) {
    xmlpp::Element* element = parent->add_child("DAType");
    XmlHelper::set_attribute(element, "id", id);
    return element;
}

xmlpp::Element* addEnumType(xmlpp::Element* parent, const char* id) {
    xmlpp::Element* element = parent->add_child("EnumType");
    XmlHelper::set_attribute(element, "id", id);
    return element;
}

} // namespace

// Logical node types

void LNodeType::setLNodeType(xmlpp::Element* parent, const std::set<LNodeTypeAttributes>& attributes,
                             const std::set<LNodeTypeItem>& items) {
    LNodeTypeLn0::setLn0Elements(addLNodeType(parent, "LN0", "LLN0"));
    LNodeTypePhd::setPhdElements(addLNodeType(parent, "PHD", "LPHD"));
    LNodeTypeCtr::setCtrElements(addLNodeType(parent, "CTR-P", "TCTR"));
    LNodeTypeCtr::setCtrElements(addLNodeType(parent, "CTR-N", "TCTR"));
    LNodeTypeVtr::setVtrElements(addLNodeType(parent, "VTR-P", "TVTR"));
    LNodeTypeVtr::setVtrElements(addLNodeType(parent, "VTR-N", "TVTR"));
    for (const LNodeTypeAttributes& attribute : attributes)
        LNodeTypeElements::setLNodeTypeElements(addLNodeType(parent, attribute.id, attribute.lnClass), items);
}

void LNodeTypeElements::setLNodeTypeElements(xmlpp::Element* lNodeType,
                                             const std::set<LNodeTypeItem>& items) {
    addDo(lNodeType, "Mod", "Mod_0");
    addDo(lNodeType, "Beh", "Beh_0");
    addDo(lNodeType, "Health", "Health_0");
    for (const LNodeTypeItem& item : items)
        addDo(lNodeType, item.name, item.type);
    // Numbered single and double point objects, so that a subscriber can map any of them.
    for (int n = 1; n <= kNumberedDoCount; ++n) {
        const std::string number = std::to_string(n);
        addDo(lNodeType, "SPCSO" + number, "SPCSO_1");
        addDo(lNodeType, "DPCSO" + number, "DPCSO_1");
    }
}

void LNodeTypeLn0::setLn0Elements(xmlpp::Element* lNodeType) {
    addDo(lNodeType, "Mod", "Mod_0");
    addDo(lNodeType, "Beh", "Beh_0");
    addDo(lNodeType, "Health", "Health_0");
    addDo(lNodeType, "NamPlt", "NamPlt-LN0");
}

void LNodeTypePhd::setPhdElements(xmlpp::Element* lNodeType) {
    addDo(lNodeType, "PhyNam", "PhyNam");
    addDo(lNodeType, "PhyHealth", "Health_0");
    addDo(lNodeType, "Proxy", "Proxy");
}

void LNodeTypeCtr::setCtrElements(xmlpp::Element* lNodeType) {
    addDo(lNodeType, "Beh", "Beh_0");
    addDo(lNodeType, "AmpSv", "AmpSV");
}

void LNodeTypeVtr::setVtrElements(xmlpp::Element* lNodeType) {
    addDo(lNodeType, "Beh", "Beh_0");
    addDo(lNodeType, "VolSv", "VolSV");
}

// Data object types

void DoType::setDoType(xmlpp::Element* parent) {
    DoTypeNamPlt::setNamPltElements(addDoType(parent, "NamPlt-LN0", "LPL"));
    DoTypeMod::setModElements(addDoType(parent, "Mod_0", "ENC"));
    DoTypeBeh::setBehElements(addDoType(parent, "Beh_0", "ENS"));
    DoTypeHealth::setHealthElements(addDoType(parent, "Health_0", "ENS"));
    DoTypePhyNam::setPhyNamElements(addDoType(parent, "PhyNam", "DPL"));
    DoTypeProxy::setProxyElements(addDoType(parent, "Proxy", "SPS"));
    DoTypeAmpSv::setAmpSvElements(addDoType(parent, "AmpSV", "SAV"));
    DoTypeVolSv::setVolSvElements(addDoType(parent, "VolSV", "SAV"));
    DoTypeSpcs::setSpcsElements(addDoType(parent, "SPCSO_1", "SPC"));
    DoTypeDpcs::setDpcsElements(addDoType(parent, "DPCSO_1", "DPC"));
}

void DoTypeNamPlt::setNamPltElements(xmlpp::Element* doType) {
    addDas(doType, kNamPltLn0Das);
}
void DoTypeMod::setModElements(xmlpp::Element* doType) {
    addDas(doType, kModDas);
}
void DoTypeBeh::setBehElements(xmlpp::Element* doType) {
    addDas(doType, kBehDas);
}
void DoTypeHealth::setHealthElements(xmlpp::Element* doType) {
    addDas(doType, kHealthDas);
}
void DoTypePhyNam::setPhyNamElements(xmlpp::Element* doType) {
    addDas(doType, kPhyNamDas);
}
void DoTypeProxy::setProxyElements(xmlpp::Element* doType) {
    addDas(doType, kProxyDas);
}
void DoTypeAmpSv::setAmpSvElements(xmlpp::Element* doType) {
    addDas(doType, kAmpSvDas);
}
void DoTypeVolSv::setVolSvElements(xmlpp::Element* doType) {
    addDas(doType, kVolSvDas);
}
void DoTypeSpcs::setSpcsElements(xmlpp::Element* doType) {
    addDas(doType, kSpcsoDas);
}
void DoTypeDpcs::setDpcsElements(xmlpp::Element* doType) {
    addDas(doType, kDpcsoDas);
}

// Data attribute types

void DaType::setDaType(xmlpp::Element* parent) {
    DaTypeAmpScaled::setAmpScaledElements(addDaType(parent, "AmpScaledValueConfig"));
    DaTypeVolScaled::setVolScaledElements(addDaType(parent, "VolScaledValueConfig"));
    addBdas(addDaType(parent, "AmpUnits"), kAmpUnitsBdas);
    addBdas(addDaType(parent, "VolUnits"), kVolUnitsBdas);
    addBdas(addDaType(parent, "AnalogueValue"), kAnalogueValueBdas);
}

void DaTypeAmpScaled::setAmpScaledElements(xmlpp::Element* daType) {
    addBdas(daType, kAmpScaledBdas);
}
void DaTypeVolScaled::setVolScaledElements(xmlpp::Element* daType) {
    addBdas(daType, kVolScaledBdas);
}

// Enumeration types

void EnumType::setEnumType(xmlpp::Element* parent) {
    EnumTypeModeBeh::setModBehElements(addEnumType(parent, "Mod"));
    EnumTypeModeBeh::setModBehElements(addEnumType(parent, "Beh"));
    EnumTypeHealth::setHealthElements(addEnumType(parent, "Health"));
    EnumTypeCtlModel::setCtlModelElements(addEnumType(parent, "ctlModel"));
    addEnumVals(addEnumType(parent, "Boolean"), kBooleanValues);
    EnumTypeDbpos::setDbposElements(addEnumType(parent, "Dbpos"));
    xmlpp::Element* itsiUnit = addEnumType(parent, "ITSIUnit");
    XmlHelper::set_attribute(itsiUnit, "desc", kItsiUnitDesc);
    EnumTypeItsiUnit::setItsiUnitElements(itsiUnit);
}

void EnumTypeModeBeh::setModBehElements(xmlpp::Element* enumType) {
    addEnumVals(enumType, kModValues);
}
void EnumTypeHealth::setHealthElements(xmlpp::Element* enumType) {
    addEnumVals(enumType, kHealthValues);
}
void EnumTypeCtlModel::setCtlModelElements(xmlpp::Element* enumType) {
    addEnumVals(enumType, kCtlModelValues);
}
void EnumTypeDbpos::setDbposElements(xmlpp::Element* enumType) {
    addEnumVals(enumType, kDbposValues);
}
void EnumTypeItsiUnit::setItsiUnitElements(xmlpp::Element* enumType) {
    addEnumVals(enumType, kItsiUnitValues);
}

} // namespace VorIec61850
