// Publication descriptions and the CID writers' text parsers on arbitrary text: the settings
// file of `iecx cid`, FCDA lines of a GOOSE data set and SV channel paths.
#include "cid/GooseToCid.h"
#include "cid/PublicationDescription.h"
#include "cid/SvToCid.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace VorIec61850;
    namespace Desc = PublicationDescription;
    const std::string text(reinterpret_cast<const char*>(data), size);

    GooseOut goose;
    Desc::parseDescription(text, [&](const std::string& k, const std::string& v) {
        return Desc::applyGooseSetting(goose, k, v);
    });
    Desc::checkGooseOut(goose);
    SvOut sv;
    Desc::parseDescription(
        text, [&](const std::string& k, const std::string& v) { return Desc::applySvSetting(sv, k, v); });

    static const GooseToCid parser;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        parser.parseFcdaString(line);
        SvToCid::channelToFcda(line);
    }
    return 0;
}
