#include "cli/SclDiagnosis.h"

#include "scl/SclRecords.h"

#include <libxml++/libxml++.h>
#include <libxml/tree.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <vector>

namespace iecx::cli {

namespace {

std::string attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (value == nullptr)
        return std::string();
    std::string text = reinterpret_cast<const char*>(value);
    xmlFree(value);
    return text;
}

bool hasAttribute(const xmlNode* node, const char* name) {
    return xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

std::string content(const xmlNode* node) {
    for (const xmlNode* c = node->children; c != nullptr; c = c->next)
        if (c->type == XML_TEXT_NODE && c->content != nullptr)
            return reinterpret_cast<const char*>(c->content);
    return std::string();
}

bool named(const xmlNode* node, const char* name) {
    return node != nullptr && node->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

// An element as a user finds it in the file: its name and the attributes that identify it.
std::string describe(const xmlNode* node) {
    std::string text = reinterpret_cast<const char*>(node->name);
    for (const char* key : {"name", "iedName", "apName", "inst", "ldInst", "cbName", "prefix", "lnClass"}) {
        const std::string value = attribute(node, key);
        if (!value.empty())
            text += std::string(" ") + (std::strcmp(key, "name") == 0 ? "" : std::string(key) + "=") + value;
    }
    return text;
}

std::string where(const xmlNode* node) {
    std::vector<std::string> chain;
    for (const xmlNode* n = node->parent; n != nullptr && n->type == XML_ELEMENT_NODE && !named(n, "SCL");
         n = n->parent)
        chain.insert(chain.begin(), describe(n));
    std::string text = describe(node);
    if (!chain.empty()) {
        text += " in ";
        for (size_t i = 0; i < chain.size(); ++i)
            text += (i ? " / " : "") + chain[i];
    }
    return text;
}

// The message the conversion of `text` fails with; empty when it succeeds.
std::string failure(const std::function<void()>& convert) {
    try {
        convert();
    } catch (const std::exception& e) {
        return e.what();
    }
    return std::string();
}

// The first element at or below `node` that holds a failing value.
std::string search(const xmlNode* node, const std::string& message) {
    for (const xmlNode* n = node; n != nullptr; n = n->next) {
        if (n->type != XML_ELEMENT_NODE)
            continue;
        std::vector<const char*> numbers; // attributes read as decimal integers
        if (named(n, "GSEControl"))
            numbers = {"confRev"};
        if (named(n, "SampledValueControl"))
            numbers = hasAttribute(n, "confRev") && !attribute(n, "confRev").empty()
                          ? std::vector<const char*>{"confRev", "smpRate", "nofASDU"}
                          : std::vector<const char*>{"smpRate", "nofASDU"};
        for (const char* name : numbers) {
            const std::string text = attribute(n, name);
            if (failure([&] { (void)std::stoi(text); }) == message)
                return where(n) + ": " + name + "=\"" + text + "\"";
        }
        if ((named(n, "MinTime") || named(n, "MaxTime")) && named(n->parent, "GSE")) {
            const std::string text = content(n);
            if (failure([&] { (void)std::stod(text); }) == message)
                return where(n) + ": \"" + text + "\"";
        }
        if (named(n, "P") && named(n->parent, "Address") &&
            (named(n->parent->parent, "GSE") || named(n->parent->parent, "SMV"))) {
            const std::string type = attribute(n, "type");
            const std::string text = content(n);
            if ((type == "MAC-Address" || type == "APPID" || type == "VLAN-ID" || type == "VLAN-PRIORITY") &&
                failure([&] { VorIec61850::tP(type, text); }) == message)
                return where(n) + " type=" + type + ": \"" + text + "\"";
        }
        const std::string below = search(n->children, message);
        if (!below.empty())
            return below;
    }
    return std::string();
}

} // namespace

std::string locateConversionError(const xmlpp::Document& document, const std::string& message) {
    const xmlpp::Element* root = document.get_root_node();
    return root == nullptr ? std::string() : search(root->cobj(), message);
}

} // namespace iecx::cli
