// Parses arbitrary bytes as an SCL document and reads it with the DataExtractor. Both lookup
// strategies run on small inputs and must agree: same records, or the same error.
#include "scl/DataExtractor.h"
#include "tests/scl/SclDump.h"

#include <libxml++/libxml++.h>
#include <libxml/xmlerror.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace VorIec61850;

namespace {

void quiet(void*, const char*, ...) {}

std::string extract(const xmlpp::DomParser& parser, DataExtractor::Lookup lookup) {
    try {
        DataExtractor extractor(&parser, lookup);
        return dumpSubNetworks(extractor.getSubNetworkCollection());
    } catch (const xmlpp::exception& e) {
        return std::string("xmlpp error: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool init = [] {
        xmlSetGenericErrorFunc(nullptr, quiet);
        return true;
    }();
    (void)init;
    xmlpp::DomParser parser;
    try {
        parser.parse_memory_raw(data, size);
    } catch (const xmlpp::exception&) {
        return 0;
    } catch (const std::exception&) {
        return 0;
    }
    const std::string indexed = extract(parser, DataExtractor::Lookup::Indexed);
    // The literal queries are slow on large documents; compare on small ones.
    if (size <= 8192) {
        const std::string literal = extract(parser, DataExtractor::Lookup::XPath);
        if (indexed != literal) {
            std::fprintf(stderr, "indexed:\n%s\nliteral:\n%s\n", indexed.c_str(), literal.c_str());
            std::abort();
        }
    }
    return 0;
}
