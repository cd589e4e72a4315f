#include "acquisition/IMmsPool.h"
#include "acquisition/Targets.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace VorIec61850;

namespace {

std::string written(const MmsReportPath& path) {
    std::ostringstream stream;
    path >> stream;
    return stream.str();
}

MmsReportPath read(const std::string& text) {
    std::istringstream stream(text);
    MmsReportPath path("old-host", "old-ref");
    path << stream;
    return path;
}

} // namespace

// The text form "host|reference" of a report path: written without the bar when there is no
// host, read from the last two pieces of the whole buffer.
TEST(MmsReportPath, TextForm) {
    const struct {
        MmsReportPath path;
        const char* text;
    } cases[] = {
        {MmsReportPath("192.168.0.10", "IED1LD0/LLN0$BR$brcbA01"), "192.168.0.10|IED1LD0/LLN0$BR$brcbA01"},
        {MmsReportPath("", "IED1LD0/LLN0$RP$urcb01"), "IED1LD0/LLN0$RP$urcb01"},
        {MmsReportPath("host", ""), "host|"},
        {MmsReportPath(), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(written(c.path), c.text);
        EXPECT_EQ(c.path.toString(), c.text);
        EXPECT_EQ(MmsReportPath::fromString(c.text), c.path) << c.text;
    }
    const struct {
        const char* text;
        const char* host;
        const char* reference;
    } readBack[] = {{"a|b|c", "b", "c"}, {"IED1LD0/LLN0$RP$urcb01", "", "IED1LD0/LLN0$RP$urcb01"}};
    for (const auto& c : readBack) {
        const MmsReportPath path = read(c.text);
        EXPECT_EQ(path.host, c.host) << c.text;
        EXPECT_EQ(path.rcbReference, c.reference) << c.text;
    }
    std::istringstream stream("10.0.0.1|LD0/LLN0$BR$brcb");
    std::string first;
    std::getline(stream, first, '|'); // consume part of the stream first
    MmsReportPath path;
    path << stream;
    EXPECT_EQ(path.host, "10.0.0.1");
    EXPECT_EQ(path.rcbReference, "LD0/LLN0$BR$brcb");
}
