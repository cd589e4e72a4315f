#include "cid/CidOutput.h"

#include "host/Files.h"

#include <glibmm/miscutils.h>
#include <libxml++/libxml++.h>

#include <cstdio>
#include <set>

namespace VorIec61850 {
namespace CidOutput {

const char* const kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";
const char* const kXsdNamespace = "http://www.w3.org/2001/XMLSchema";
const char* const kSclNamespace = "http://www.iec.ch/61850/2003/SCL";

void setAttributes(xmlpp::Element* element, const Attribute& a1, const Attribute& a2, const Attribute& a3,
                   const Attribute& a4, const Attribute& a5, const Attribute& a6, const Attribute& a7,
                   const Attribute& a8) {
    for (const Attribute* attribute : {&a1, &a2, &a3, &a4, &a5, &a6, &a7, &a8})
        if (attribute->name != nullptr)
            element->set_attribute(attribute->name, attribute->text);
}

xmlpp::Element* addElement(xmlpp::Element* parent, const char* name, const Attribute& a1, const Attribute& a2,
                           const Attribute& a3, const Attribute& a4, const Attribute& a5, const Attribute& a6,
                           const Attribute& a7, const Attribute& a8) {
    xmlpp::Element* element = parent->add_child(name);
    setAttributes(element, a1, a2, a3, a4, a5, a6, a7, a8);
    return element;
}

void setSclRoot(xmlpp::Element* scl, const std::string& version, const std::string& revision) {
    setAttributes(scl, {"xmlns:xsi", kXsiNamespace}, {"xmlns:xsd", kXsdNamespace}, {"version", version},
                  {"revision", revision}, {"xmlns", kSclNamespace});
}

std::string hexUpper(uint64_t value, int minDigits) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*llX", minDigits, static_cast<unsigned long long>(value));
    return text;
}

std::string targetPath(const std::string& path, const char* fileName) {
    if (!path.empty())
        return path;
    return Vor::getVorCrossAppCacheDir() + fileName;
}

void writeDocument(xmlpp::Document& document, const std::string& path) {
    Vor::mkdir_with_parents(Glib::path_get_dirname(path));
    auto stream = Vor::openOutputFileUTF8Name(path, std::ios_base::out);
    document.write_to_stream_formatted(*stream);
    stream->close();
}

namespace {

// Every element of that name below `node`, in document order.
void collect(xmlpp::Node* node, const char* name, std::vector<xmlpp::Element*>& out) {
    for (xmlpp::Node* child : node->get_children()) {
        auto* element = dynamic_cast<xmlpp::Element*>(child);
        if (element == nullptr)
            continue;
        if (element->get_name() == name)
            out.push_back(element);
        collect(element, name, out);
    }
}

std::vector<xmlpp::Element*> elements(xmlpp::Node* node, const char* name) {
    std::vector<xmlpp::Element*> out;
    collect(node, name, out);
    return out;
}

xmlpp::Element* ancestor(xmlpp::Node* node, const char* name) {
    for (xmlpp::Node* n = node->get_parent(); n != nullptr; n = n->get_parent())
        if (n->get_name() == name)
            return dynamic_cast<xmlpp::Element*>(n);
    return nullptr;
}

} // namespace

void makeSchemaValid(xmlpp::Document& document, const std::string& ipAddress) {
    xmlpp::Element* root = document.get_root_node();
    if (root == nullptr)
        return;
    for (const char* name : {"DA", "BDA"})
        for (xmlpp::Element* attribute : elements(root, name))
            if (attribute->get_attribute_value("bType") == "TimeStamp")
                attribute->set_attribute("bType", "Timestamp");
    for (xmlpp::Element* address : elements(root, "Address")) {
        if (!elements(address, "P").empty())
            continue;
        xmlpp::Element* p = address->add_child("P");
        p->set_attribute("type", "IP");
        p->add_child_text(ipAddress);
    }
    for (xmlpp::Element* type : elements(root, "LNodeType")) {
        std::set<std::string> seen;
        for (xmlpp::Element* dataObject : elements(type, "DO"))
            if (!seen.insert(dataObject->get_attribute_value("name")).second)
                type->remove_child(dataObject);
    }
    for (xmlpp::Element* control : elements(root, "SampledValueControl")) {
        if (!control->get_attribute_value("smvID").empty())
            continue;
        xmlpp::Element* ied = ancestor(control, "IED");
        xmlpp::Element* device = ancestor(control, "LDevice");
        const std::string iedName = ied ? ied->get_attribute_value("name").raw() : std::string();
        const std::string ldInst = device ? device->get_attribute_value("inst").raw() : std::string();
        control->set_attribute("smvID",
                               iedName + ldInst + "/LLN0." + control->get_attribute_value("name").raw());
    }
}

} // namespace CidOutput
} // namespace VorIec61850
