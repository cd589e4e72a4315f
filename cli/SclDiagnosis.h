#pragma once
// Where in an SCL file a number conversion failed: the reader's exceptions carry only the
// conversion's name ("stoi", "stod", "stoul"), so that the user can fix the file this finds the
// element and attribute whose text fails that conversion.
#include <string>

namespace xmlpp {
class Document;
}

namespace iecx::cli {

// "GSEControl gcb01 in IED PROT1 / LDevice LD0 / LN0: confRev=\"abc\"" for the first value in
// document order that the reader converts and that fails with `message`; empty when none does.
std::string locateConversionError(const xmlpp::Document& document, const std::string& message);

} // namespace iecx::cli
