#pragma once
#include "host/NonCopyable.h"

#include <libxml++/libxml++.h>
#include <libxml/tree.h>

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// The node lookups the SCL extractor performs. Each answers exactly what one XPath query of the
// extractor gives, evaluated with the prefix "x" bound to the namespace of the document's root
// element: the XPath implementation runs the query text itself, the indexed one answers from maps
// built once per parent node. Both give the same nodes in the same (document) order.
namespace VorIec61850 {

using XmlNodes = std::vector<xmlNode*>;

class SclQueries : Vor::NonCopyable {
public:
    explicit SclQueries(std::string namespaceUri) : _nsUri(std::move(namespaceUri)) {}
    virtual ~SclQueries() = default;

    // "x:Communication/x:SubNetwork" under the root.
    virtual XmlNodes subNetworks(xmlNode* root) = 0;
    // "x:ConnectedAP[x:GSE or x:SMV]" under a sub-network.
    virtual XmlNodes publishingAccessPoints(xmlNode* subNetwork) = 0;
    // A path of plain element steps ("x:GSE", "x:Address/x:P", "x:DataTypeTemplates", ...).
    virtual XmlNodes path(xmlNode* node, const std::vector<const char*>& steps) = 0;
    // "x:IED[@name='...']" under the root: every match.
    virtual XmlNodes iedsNamed(xmlNode* root, const std::string& name) = 0;
    // "x:AccessPoint/x:Server/x:LDevice[@inst = '...']/x:LN0/x:<controlName>[@name='...']", first.
    virtual xmlNode* controlBlock(xmlNode* ied, const std::string& ldInst, const char* controlName,
                                  const std::string& cbName) = 0;
    // "x:DataSet[@name='...']" under a node, first.
    virtual xmlNode* dataSet(xmlNode* ln0, const std::string& name) = 0;
    // "x:AccessPoint/x:Server/x:LDevice[@inst='...']" under an IED, first.
    virtual xmlNode* lDevice(xmlNode* ied, const std::string& ldInst) = 0;
    // The LN0 | LN union with prefix (or no prefix attribute), lnClass and inst, first.
    virtual xmlNode* logicalNode(xmlNode* ld, const std::string& prefix, const std::string& lnClass,
                                 const std::string& lnInst) = 0;
    // "x:LNodeType[@id='...' and @lnClass='...']" under the templates, first.
    virtual xmlNode* lNodeType(xmlNode* templates, const std::string& id, const std::string& lnClass) = 0;
    // "x:<element>[@<attr>='<value>']" under a node, every match; element "*" is any element.
    virtual XmlNodes childrenWith(xmlNode* parent, const char* element, const char* attr,
                                  const std::string& value) = 0;
    // "x:DA[@fc!='...']" under a node, every match.
    virtual XmlNodes dasWithOtherFc(xmlNode* doType, const std::string& fc) = 0;

    // First of childrenWith (null when none).
    xmlNode* firstChildWith(xmlNode* parent, const char* element, const char* attr,
                            const std::string& value) {
        XmlNodes found = childrenWith(parent, element, attr, value);
        return found.empty() ? nullptr : found.front();
    }
    // "x:*" under a node, first.
    xmlNode* firstChildElement(xmlNode* node) const;

    // Plain DOM helpers with the semantics of the queries above.
    bool isElement(const xmlNode* node, const char* name) const; // name "*" is any
    static bool hasAttribute(const xmlNode* node, const char* name);
    static std::string attribute(const xmlNode* node, const char* name);

protected:
    std::string _nsUri;
};

// Runs the literal XPath query texts through libxml++.
class XPathSclQueries : public SclQueries {
public:
    explicit XPathSclQueries(const std::string& namespaceUri);
    XmlNodes subNetworks(xmlNode* root) override;
    XmlNodes publishingAccessPoints(xmlNode* subNetwork) override;
    XmlNodes path(xmlNode* node, const std::vector<const char*>& steps) override;
    XmlNodes iedsNamed(xmlNode* root, const std::string& name) override;
    xmlNode* controlBlock(xmlNode* ied, const std::string& ldInst, const char* controlName,
                          const std::string& cbName) override;
    xmlNode* dataSet(xmlNode* ln0, const std::string& name) override;
    xmlNode* lDevice(xmlNode* ied, const std::string& ldInst) override;
    xmlNode* logicalNode(xmlNode* ld, const std::string& prefix, const std::string& lnClass,
                         const std::string& lnInst) override;
    xmlNode* lNodeType(xmlNode* templates, const std::string& id, const std::string& lnClass) override;
    XmlNodes childrenWith(xmlNode* parent, const char* element, const char* attr,
                          const std::string& value) override;
    XmlNodes dasWithOtherFc(xmlNode* doType, const std::string& fc) override;

private:
    XmlNodes _find(xmlNode* node, const std::string& xpath);
    xmlpp::Node::PrefixNsMap _namespaces;
};

// Answers from maps built once per (parent, step path, attribute).
class IndexedSclQueries : public SclQueries {
public:
    explicit IndexedSclQueries(const std::string& namespaceUri)
        : SclQueries(namespaceUri), _literal(namespaceUri) {}
    XmlNodes subNetworks(xmlNode* root) override;
    XmlNodes publishingAccessPoints(xmlNode* subNetwork) override;
    XmlNodes path(xmlNode* node, const std::vector<const char*>& steps) override;
    XmlNodes iedsNamed(xmlNode* root, const std::string& name) override;
    xmlNode* controlBlock(xmlNode* ied, const std::string& ldInst, const char* controlName,
                          const std::string& cbName) override;
    xmlNode* dataSet(xmlNode* ln0, const std::string& name) override;
    xmlNode* lDevice(xmlNode* ied, const std::string& ldInst) override;
    xmlNode* logicalNode(xmlNode* ld, const std::string& prefix, const std::string& lnClass,
                         const std::string& lnInst) override;
    xmlNode* lNodeType(xmlNode* templates, const std::string& id, const std::string& lnClass) override;
    XmlNodes childrenWith(xmlNode* parent, const char* element, const char* attr,
                          const std::string& value) override;
    XmlNodes dasWithOtherFc(xmlNode* doType, const std::string& fc) override;

private:
    using ValueMap = std::unordered_map<std::string, XmlNodes>;
    // Nodes reached by the element steps under parent, grouped by the value of attr (nodes
    // without the attribute are left out), each group in document order.
    const ValueMap& _index(xmlNode* parent, const std::string& steps, const char* attr);
    const XmlNodes& _lookup(xmlNode* parent, const std::string& steps, const char* attr,
                            const std::string& value);

    struct Key {
        const xmlNode* parent;
        std::string steps;
        std::string attr;
        bool operator<(const Key& o) const {
            if (parent != o.parent)
                return parent < o.parent;
            if (steps != o.steps)
                return steps < o.steps;
            return attr < o.attr;
        }
    };
    std::map<Key, ValueMap> _indexes;
    XmlNodes _empty;
    // A value with an apostrophe makes the query text invalid; such lookups go through the
    // literal query so that the failure is the same.
    XPathSclQueries _literal;
};

} // namespace VorIec61850
