#include "scl/SclQueries.h"

#include <cstring>

namespace VorIec61850 {

namespace {

bool quoted(const std::string& value) {
    return value.find('\'') != std::string::npos;
}

std::vector<std::string> splitSteps(const std::string& steps) {
    std::vector<std::string> out;
    std::string::size_type start = 0;
    while (true) {
        const auto slash = steps.find('/', start);
        out.push_back(steps.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            return out;
        start = slash + 1;
    }
}

} // namespace

const IndexedSclQueries::ValueMap& IndexedSclQueries::_index(xmlNode* parent, const std::string& steps,
                                                             const char* attr) {
    Key key{parent, steps, attr};
    auto it = _indexes.find(key);
    if (it != _indexes.end())
        return it->second;
    // Walking step by step over children keeps document order: the subtrees of earlier
    // siblings come first.
    XmlNodes level{parent};
    for (const std::string& step : splitSteps(steps)) {
        // A step "A|B" takes elements of either name, as a union of two queries does.
        const auto bar = step.find('|');
        const std::string first = step.substr(0, bar);
        const std::string second = bar == std::string::npos ? std::string() : step.substr(bar + 1);
        XmlNodes next;
        for (xmlNode* node : level)
            for (xmlNode* c = node->children; c != nullptr; c = c->next)
                if (isElement(c, first.c_str()) || (!second.empty() && isElement(c, second.c_str())))
                    next.push_back(c);
        level.swap(next);
    }
    ValueMap map;
    for (xmlNode* node : level)
        if (hasAttribute(node, attr))
            map[attribute(node, attr)].push_back(node);
    return _indexes.emplace(std::move(key), std::move(map)).first->second;
}

const XmlNodes& IndexedSclQueries::_lookup(xmlNode* parent, const std::string& steps, const char* attr,
                                           const std::string& value) {
    if (parent == nullptr)
        return _empty;
    const ValueMap& map = _index(parent, steps, attr);
    auto it = map.find(value);
    return it == map.end() ? _empty : it->second;
}

XmlNodes IndexedSclQueries::path(xmlNode* node, const std::vector<const char*>& steps) {
    XmlNodes level;
    if (node == nullptr)
        return level;
    level.push_back(node);
    for (const char* step : steps) {
        XmlNodes next;
        for (xmlNode* n : level)
            for (xmlNode* c = n->children; c != nullptr; c = c->next)
                if (isElement(c, step))
                    next.push_back(c);
        level.swap(next);
    }
    return level;
}

XmlNodes IndexedSclQueries::subNetworks(xmlNode* root) {
    return path(root, {"Communication", "SubNetwork"});
}

XmlNodes IndexedSclQueries::publishingAccessPoints(xmlNode* subNetwork) {
    XmlNodes out;
    for (xmlNode* ap : path(subNetwork, {"ConnectedAP"})) {
        for (xmlNode* c = ap->children; c != nullptr; c = c->next)
            if (isElement(c, "GSE") || isElement(c, "SMV")) {
                out.push_back(ap);
                break;
            }
    }
    return out;
}

XmlNodes IndexedSclQueries::iedsNamed(xmlNode* root, const std::string& name) {
    if (quoted(name))
        return _literal.iedsNamed(root, name);
    return _lookup(root, "IED", "name", name);
}

xmlNode* IndexedSclQueries::controlBlock(xmlNode* ied, const std::string& ldInst, const char* controlName,
                                         const std::string& cbName) {
    if (quoted(ldInst) || quoted(cbName))
        return _literal.controlBlock(ied, ldInst, controlName, cbName);
    // Matches under an earlier LDevice (and earlier LN0) precede those under later ones.
    for (xmlNode* ld : _lookup(ied, "AccessPoint/Server/LDevice", "inst", ldInst))
        for (xmlNode* c = ld->children; c != nullptr; c = c->next)
            if (isElement(c, "LN0")) {
                const XmlNodes& found = _lookup(c, controlName, "name", cbName);
                if (!found.empty())
                    return found.front();
            }
    return nullptr;
}

xmlNode* IndexedSclQueries::dataSet(xmlNode* ln0, const std::string& name) {
    if (quoted(name))
        return _literal.dataSet(ln0, name);
    const XmlNodes& found = _lookup(ln0, "DataSet", "name", name);
    return found.empty() ? nullptr : found.front();
}

xmlNode* IndexedSclQueries::lDevice(xmlNode* ied, const std::string& ldInst) {
    if (quoted(ldInst))
        return _literal.lDevice(ied, ldInst);
    const XmlNodes& found = _lookup(ied, "AccessPoint/Server/LDevice", "inst", ldInst);
    return found.empty() ? nullptr : found.front();
}

xmlNode* IndexedSclQueries::logicalNode(xmlNode* ld, const std::string& prefix, const std::string& lnClass,
                                        const std::string& lnInst) {
    if (quoted(prefix) || quoted(lnClass) || quoted(lnInst))
        return _literal.logicalNode(ld, prefix, lnClass, lnInst);
    // Candidates of the class, LN0 and LN together in document order; an element without a
    // prefix attribute matches any prefix, the inst attribute must be present and equal.
    for (xmlNode* ln : _lookup(ld, "LN0|LN", "lnClass", lnClass)) {
        if (!hasAttribute(ln, "inst") || attribute(ln, "inst") != lnInst)
            continue;
        if (hasAttribute(ln, "prefix") && attribute(ln, "prefix") != prefix)
            continue;
        return ln;
    }
    return nullptr;
}

xmlNode* IndexedSclQueries::lNodeType(xmlNode* templates, const std::string& id, const std::string& lnClass) {
    if (quoted(id) || quoted(lnClass))
        return _literal.lNodeType(templates, id, lnClass);
    for (xmlNode* lnt : _lookup(templates, "LNodeType", "id", id))
        if (hasAttribute(lnt, "lnClass") && attribute(lnt, "lnClass") == lnClass)
            return lnt;
    return nullptr;
}

XmlNodes IndexedSclQueries::childrenWith(xmlNode* parent, const char* element, const char* attr,
                                         const std::string& value) {
    if (quoted(value))
        return _literal.childrenWith(parent, element, attr, value);
    return _lookup(parent, element, attr, value);
}

XmlNodes IndexedSclQueries::dasWithOtherFc(xmlNode* doType, const std::string& fc) {
    if (quoted(fc))
        return _literal.dasWithOtherFc(doType, fc);
    XmlNodes out;
    for (xmlNode* da : path(doType, {"DA"}))
        if (hasAttribute(da, "fc") && attribute(da, "fc") != fc)
            out.push_back(da);
    return out;
}

} // namespace VorIec61850
