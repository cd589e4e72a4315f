#include "cid/CidOutput.h"

#include "host/Files.h"

#include <glibmm/miscutils.h>
#include <libxml++/libxml++.h>

#include <cstdio>

namespace VorIec61850 {
namespace CidOutput {

const char* const kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";
const char* const kXsdNamespace = "http://www.w3.org/2001/XMLSchema";
const char* const kSclNamespace = "http://www.iec.ch/61850/2003/SCL";

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

} // namespace CidOutput
} // namespace VorIec61850
