// DataExtractor: the wire layout of a data set member, resolved through the data type templates.
#include "scl/DataExtractor.h"
#include "scl/SclQueries.h"

#include "host/StringHelper.h"

#include <cstdlib>

namespace VorIec61850 {

namespace {

// Type definitions nest; a template that refers to itself must not recurse for ever.
constexpr int kMaxDepth = 16;

// The MMS type a basic type travels as.
tMmsTypeEnum wireType(tBasicTypeEnum bType) {
    switch (bType) {
    case tBasicTypeEnum::Timestamp:
        return tMmsTypeEnum::UTC_TIME;
    case tBasicTypeEnum::EntryTime:
        return tMmsTypeEnum::BINARY_TIME;
    case tBasicTypeEnum::VisString32:
    case tBasicTypeEnum::VisString64:
    case tBasicTypeEnum::VisString129:
    case tBasicTypeEnum::VisString255:
    case tBasicTypeEnum::ObjRef:
        return tMmsTypeEnum::VISIBLE_STRING;
    case tBasicTypeEnum::Unicode255:
        return tMmsTypeEnum::STRING;
    case tBasicTypeEnum::Octet64:
        return tMmsTypeEnum::OCTET_STRING;
    case tBasicTypeEnum::PhyComAddr:
        return tMmsTypeEnum::STRUCTURE;
    default:
        return relevantMmsType(bType);
    }
}

std::vector<xmlNode*> elementChildren(xmlNode* node) {
    std::vector<xmlNode*> children;
    for (xmlNode* c = node ? node->children : nullptr; c != nullptr; c = c->next)
        if (c->type == XML_ELEMENT_NODE)
            children.push_back(c);
    return children;
}

bool named(const xmlNode* node, const char* name) {
    return node->name != nullptr && std::string(reinterpret_cast<const char*>(node->name)) == name;
}

} // namespace

// An attribute (DA or BDA) as a component; structured types bring their members along. false
// when its type cannot be resolved.
bool DataExtractor::_attributeComponent(xmlNode* attribute, tFCEnum fc, int depth,
                                        tFCDAComponent& component) {
    component.name = _getAttributeValue(attribute, "name");
    component.fc = fc;
    const tBasicTypeEnum bType = basicTypeFromString(_getAttributeValue(attribute, "bType"));
    if (std::atoi(_getAttributeValue(attribute, "count").c_str()) > 0) {
        component.mmsType = tMmsTypeEnum::ARRAY;
        return true;
    }
    component.mmsType = wireType(bType);
    if (bType != tBasicTypeEnum::Struct)
        return true;
    if (depth > kMaxDepth)
        return false;
    xmlNode* daType =
        _queries->firstChildWith(templatesNode, "DAType", "id", _getAttributeValue(attribute, "type"));
    if (daType == nullptr)
        return false;
    for (xmlNode* bda : elementChildren(daType)) {
        if (!named(bda, "BDA"))
            continue;
        tFCDAComponent member;
        if (!_attributeComponent(bda, fc, depth + 1, member))
            return false;
        component.components.push_back(std::move(member));
    }
    return true;
}

// The components of a data object under one FC, in type order: its attributes of that FC and
// the sub-data objects that hold any (a sub-data object without such attributes is not sent).
std::vector<tFCDAComponent> DataExtractor::_dataObjectComponents(xmlNode* doType, tFCEnum fc, int depth) {
    std::vector<tFCDAComponent> components;
    if (doType == nullptr || depth > kMaxDepth)
        return components;
    const std::string fcText = toString(fc);
    for (xmlNode* child : elementChildren(doType)) {
        if (named(child, "DA")) {
            if (_getAttributeValue(child, "fc") != fcText)
                continue;
            tFCDAComponent component;
            if (_attributeComponent(child, fc, depth + 1, component))
                components.push_back(std::move(component));
        } else if (named(child, "SDO")) {
            xmlNode* sdoType =
                _queries->firstChildWith(templatesNode, "DOType", "id", _getAttributeValue(child, "type"));
            tFCDAComponent component;
            component.name = _getAttributeValue(child, "name");
            component.fc = fc;
            component.mmsType = tMmsTypeEnum::STRUCTURE;
            component.components = _dataObjectComponents(sdoType, fc, depth + 1);
            if (!component.components.empty())
                components.push_back(std::move(component));
        }
    }
    return components;
}

// Follows the member's names (data object, sub-data objects, attribute, attribute members) from
// the logical node type and records the components of what it names when that is a structure.
void DataExtractor::_resolveComponents(tFCDA& fcda, xmlNode* lnType) {
    std::vector<std::string> names = Vor::StringHelper::split(fcda.doName, '.');
    if (!fcda.daName.empty())
        for (const std::string& name : Vor::StringHelper::split(fcda.daName, '.'))
            names.push_back(name);
    if (names.empty())
        return;
    SclQueries& q = *_queries;
    xmlNode* dataObject = q.firstChildWith(lnType, "DO", "name", names.front());
    if (dataObject == nullptr)
        return;
    xmlNode* doType = q.firstChildWith(templatesNode, "DOType", "id", _getAttributeValue(dataObject, "type"));
    xmlNode* attribute = nullptr;
    for (std::size_t i = 1; i < names.size(); ++i) {
        xmlNode* next = nullptr;
        if (doType != nullptr) {
            for (xmlNode* child : elementChildren(doType))
                if ((named(child, "SDO") || named(child, "DA")) &&
                    _getAttributeValue(child, "name") == names[i]) {
                    next = child;
                    break;
                }
            if (next == nullptr)
                return;
            if (named(next, "SDO")) {
                doType = q.firstChildWith(templatesNode, "DOType", "id", _getAttributeValue(next, "type"));
                continue;
            }
            doType = nullptr;
            attribute = next;
            continue;
        }
        xmlNode* daType =
            attribute ? q.firstChildWith(templatesNode, "DAType", "id", _getAttributeValue(attribute, "type"))
                      : nullptr;
        if (daType == nullptr)
            return;
        attribute = nullptr;
        for (xmlNode* child : elementChildren(daType))
            if (named(child, "BDA") && _getAttributeValue(child, "name") == names[i]) {
                attribute = child;
                break;
            }
        if (attribute == nullptr)
            return;
    }
    if (doType != nullptr) {
        fcda.components = _dataObjectComponents(doType, fcda.fc, 0);
        if (!fcda.components.empty())
            fcda.mmsType = tMmsTypeEnum::STRUCTURE;
        return;
    }
    tFCDAComponent component;
    if (attribute != nullptr && _attributeComponent(attribute, fcda.fc, 0, component) &&
        component.mmsType == tMmsTypeEnum::STRUCTURE)
        fcda.components = std::move(component.components);
}

} // namespace VorIec61850
