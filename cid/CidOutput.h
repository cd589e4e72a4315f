#pragma once
// Helpers shared by the two CID writers.
#include <cstdint>
#include <string>

namespace xmlpp {
class Document;
}

namespace VorIec61850 {
namespace CidOutput {

// The W3C and IEC 61850-6 namespace names written on the SCL root.
extern const char* const kXsiNamespace;
extern const char* const kXsdNamespace;
extern const char* const kSclNamespace;

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
