#include "scl/SclQueries.h"

#include <cstring>

namespace VorIec61850 {

namespace {

std::string stepsToXPath(const std::vector<const char*>& steps) {
    std::string text;
    for (const char* step : steps) {
        if (!text.empty())
            text += '/';
        text += "x:";
        text += step;
    }
    return text;
}

} // namespace

// ---- DOM helpers ------------------------------------------------------------------------------

bool SclQueries::isElement(const xmlNode* node, const char* name) const {
    // An "x:" name test: an element in the root's namespace (elements without a namespace
    // never match a prefixed test).
    if (node == nullptr || node->type != XML_ELEMENT_NODE || node->ns == nullptr || node->ns->href == nullptr)
        return false;
    if (std::strcmp(reinterpret_cast<const char*>(node->ns->href), _nsUri.c_str()) != 0)
        return false;
    return std::strcmp(name, "*") == 0 || std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

namespace {
const xmlAttr* findAttribute(const xmlNode* node, const char* name) {
    if (node == nullptr || node->type != XML_ELEMENT_NODE)
        return nullptr;
    // Attributes without a namespace, as "@name" in XPath and get_attribute_value(name) see them.
    for (const xmlAttr* a = node->properties; a != nullptr; a = a->next)
        if (a->ns == nullptr && std::strcmp(reinterpret_cast<const char*>(a->name), name) == 0)
            return a;
    return nullptr;
}
} // namespace

bool SclQueries::hasAttribute(const xmlNode* node, const char* name) {
    return findAttribute(node, name) != nullptr;
}

std::string SclQueries::attribute(const xmlNode* node, const char* name) {
    const xmlAttr* a = findAttribute(node, name);
    if (a == nullptr || a->children == nullptr)
        return std::string();
    const xmlNode* c = a->children;
    if (c->next == nullptr && c->type == XML_TEXT_NODE && c->content != nullptr)
        return reinterpret_cast<const char*>(c->content);
    xmlChar* value = xmlNodeGetContent(reinterpret_cast<const xmlNode*>(a));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

xmlNode* SclQueries::firstChildElement(xmlNode* node) const {
    if (node == nullptr)
        return nullptr;
    for (xmlNode* c = node->children; c != nullptr; c = c->next)
        if (isElement(c, "*"))
            return c;
    return nullptr;
}

// ---- XPath ------------------------------------------------------------------------------------

XPathSclQueries::XPathSclQueries(const std::string& namespaceUri) : SclQueries(namespaceUri) {
    _namespaces["x"] = namespaceUri;
}

XmlNodes XPathSclQueries::_find(xmlNode* node, const std::string& xpath) {
    XmlNodes out;
    if (node == nullptr)
        return out;
    if (node->_private == nullptr)
        xmlpp::Node::create_wrapper(node);
    auto* wrapper = static_cast<xmlpp::Node*>(node->_private);
    for (xmlpp::Node* found : wrapper->find(xpath, _namespaces))
        out.push_back(found->cobj());
    return out;
}

XmlNodes XPathSclQueries::subNetworks(xmlNode* root) {
    return _find(root, "x:Communication/x:SubNetwork");
}

XmlNodes XPathSclQueries::publishingAccessPoints(xmlNode* subNetwork) {
    return _find(subNetwork, "x:ConnectedAP[x:GSE or x:SMV]");
}

XmlNodes XPathSclQueries::path(xmlNode* node, const std::vector<const char*>& steps) {
    return _find(node, stepsToXPath(steps));
}

XmlNodes XPathSclQueries::iedsNamed(xmlNode* root, const std::string& name) {
    return _find(root, "x:IED[@name='" + name + "']");
}

xmlNode* XPathSclQueries::controlBlock(xmlNode* ied, const std::string& ldInst, const char* controlName,
                                       const std::string& cbName) {
    XmlNodes found = _find(ied, "x:AccessPoint/x:Server/x:LDevice[@inst = '" + ldInst +
                                    "']/x:LN0/x:" + controlName + "[@name='" + cbName + "']");
    return found.empty() ? nullptr : found.front();
}

xmlNode* XPathSclQueries::dataSet(xmlNode* ln0, const std::string& name) {
    XmlNodes found = _find(ln0, "x:DataSet[@name='" + name + "']");
    return found.empty() ? nullptr : found.front();
}

xmlNode* XPathSclQueries::lDevice(xmlNode* ied, const std::string& ldInst) {
    XmlNodes found = _find(ied, "x:AccessPoint/x:Server/x:LDevice[@inst='" + ldInst + "']");
    return found.empty() ? nullptr : found.front();
}

xmlNode* XPathSclQueries::logicalNode(xmlNode* ld, const std::string& prefix, const std::string& lnClass,
                                      const std::string& lnInst) {
    XmlNodes found = _find(ld, "x:LN0[@prefix='" + prefix + "' or not(@prefix)][@lnClass='" + lnClass +
                                   "'][@inst='" + lnInst + "']" + " | " + "x:LN[@prefix='" + prefix +
                                   "' or not(@prefix)][@lnClass='" + lnClass + "'][@inst='" + lnInst + "']");
    return found.empty() ? nullptr : found.front();
}

xmlNode* XPathSclQueries::lNodeType(xmlNode* templates, const std::string& id, const std::string& lnClass) {
    XmlNodes found = _find(templates, "x:LNodeType[@id='" + id + "' and @lnClass='" + lnClass + "']");
    return found.empty() ? nullptr : found.front();
}

XmlNodes XPathSclQueries::childrenWith(xmlNode* parent, const char* element, const char* attr,
                                       const std::string& value) {
    return _find(parent, std::string("x:") + element + "[@" + attr + "='" + value + "']");
}

XmlNodes XPathSclQueries::dasWithOtherFc(xmlNode* doType, const std::string& fc) {
    return _find(doType, "x:DA[@fc!='" + fc + "']");
}

} // namespace VorIec61850
