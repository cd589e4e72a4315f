#pragma once
// Helpers shared by the two CID writers.
#include "host/XmlHelper.h"

#include <cstdint>
#include <string>

namespace VorIec61850 {
namespace CidOutput {

// The W3C and IEC 61850-6 namespace names written on the SCL root.
extern const char* const kXsiNamespace;
extern const char* const kXsdNamespace;
extern const char* const kSclNamespace;

// One attribute as the writers set it: its name and the text of its value (numbers in decimal,
// bools as "true"/"false", texts unchanged). A default one (no name) is not written.
struct Attribute {
    Attribute() = default;
    template <typename T>
    Attribute(const char* attributeName, const T& value)
        : name(attributeName), text(Vor::XmlHelper::toText(value)) {}
    const char* name = nullptr;
    std::string text;
};

// Sets up to eight attributes on element, in the order given (the documents keep that order).
void setAttributes(xmlpp::Element* element, const Attribute& a1, const Attribute& a2 = {},
                   const Attribute& a3 = {}, const Attribute& a4 = {}, const Attribute& a5 = {},
                   const Attribute& a6 = {}, const Attribute& a7 = {}, const Attribute& a8 = {});
// A new child element of parent with up to eight attributes, in the order given.
xmlpp::Element* addElement(xmlpp::Element* parent, const char* name, const Attribute& a1 = {},
                           const Attribute& a2 = {}, const Attribute& a3 = {}, const Attribute& a4 = {},
                           const Attribute& a5 = {}, const Attribute& a6 = {}, const Attribute& a7 = {},
                           const Attribute& a8 = {});

// The SCL root's attributes: the namespaces, written as plain attributes (the root carries no
// namespace of its own in the tree), and the schema version and revision.
void setSclRoot(xmlpp::Element* scl, const std::string& version, const std::string& revision);

// An FCDA element under a data set from any record with the FCDA's fields; fc is its text.
template <typename Fcda> void addFcda(xmlpp::Element* dataSet, const Fcda& fcda, const std::string& fc) {
    addElement(dataSet, "FCDA", {"ldInst", fcda.ldInst}, {"prefix", fcda.prefix}, {"lnClass", fcda.lnClass},
               {"lnInst", fcda.lnInst}, {"doName", fcda.doName}, {"daName", fcda.daName}, {"fc", fc});
}

// An LN element under a logical device from any record with the LN's fields; lnClass is its text.
template <typename Ln> void addLn(xmlpp::Element* lDevice, const Ln& ln, const std::string& lnClass) {
    addElement(lDevice, "LN", {"desc", ln.desc}, {"lnType", ln.lnType}, {"prefix", ln.prefix},
               {"lnClass", lnClass}, {"inst", ln.inst});
}

// Upper-case hexadecimal, zero-filled to at least `minDigits` digits (VLAN-ID 3, APPID 4).
std::string hexUpper(uint64_t value, int minDigits);

// `path` when not empty, else the host's cache directory followed directly by `fileName`.
std::string targetPath(const std::string& path, const char* fileName);

// Creates the directory part of `path` with its parents, then writes the document indented,
// UTF-8, through the host's output stream. A failed close only leaves the stream failed.
void writeDocument(xmlpp::Document& document, const std::string& path);

// Brings a written document in line with the IEC 61850-6 edition 2 (2007B) schema, changing
// nothing else: the basic type "TimeStamp" becomes "Timestamp", an Address without parameters gets
// the access point's IP parameter `ipAddress`, a DO name declared twice in one LNodeType is kept
// once (the first), and an empty smvID becomes the control block's reference
// (IED name, LD instance, "/LLN0.", control block name).
void makeSchemaValid(xmlpp::Document& document, const std::string& ipAddress);

} // namespace CidOutput
} // namespace VorIec61850
