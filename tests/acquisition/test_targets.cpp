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

TEST(MmsReportPath, WritesHostBarReference) {
    EXPECT_EQ(written(MmsReportPath("192.168.0.10", "IED1LD0/LLN0$BR$brcbA01")),
              "192.168.0.10|IED1LD0/LLN0$BR$brcbA01");
    EXPECT_EQ(written(MmsReportPath("", "IED1LD0/LLN0$RP$urcb01")), "IED1LD0/LLN0$RP$urcb01");
    EXPECT_EQ(written(MmsReportPath("host", "")), "host|");
    EXPECT_EQ(written(MmsReportPath()), "");
    EXPECT_EQ(MmsReportPath("h", "r").toString(), "h|r");
}

TEST(MmsReportPath, ReadsLastTwoPieces) {
    MmsReportPath three = read("a|b|c");
    EXPECT_EQ(three.host, "b");
    EXPECT_EQ(three.rcbReference, "c");
    MmsReportPath one = read("IED1LD0/LLN0$RP$urcb01");
    EXPECT_EQ(one.host, "");
    EXPECT_EQ(one.rcbReference, "IED1LD0/LLN0$RP$urcb01");
    MmsReportPath empty = read("");
    EXPECT_EQ(empty.host, "");
    EXPECT_EQ(empty.rcbReference, "");
    MmsReportPath trailing = read("host|");
    EXPECT_EQ(trailing.host, "host");
    EXPECT_EQ(trailing.rcbReference, "");
}

TEST(MmsReportPath, ReadsTheWholeBufferNotOnlyTheUnreadPart) {
    std::istringstream stream("10.0.0.1|LD0/LLN0$BR$brcb");
    std::string first;
    std::getline(stream, first, '|'); // consume part of the stream first
    MmsReportPath path;
    path << stream;
    EXPECT_EQ(path.host, "10.0.0.1");
    EXPECT_EQ(path.rcbReference, "LD0/LLN0$BR$brcb");
}

TEST(MmsReportPath, TextFormRoundTrips) {
    for (const MmsReportPath& p : {MmsReportPath("10.0.0.5", "IED1LD0/LLN0$BR$brcb01"),
                                   MmsReportPath("", "ref"), MmsReportPath("host", "")})
        EXPECT_EQ(MmsReportPath::fromString(p.toString()), p) << p.toString();
}

TEST(Targets, ConstructorsAndDefaults) {
    MmsReportTarget report("10.0.0.5", "IED1LD0/LLN0$BR$brcb01");
    EXPECT_TRUE(report.paths.empty());
    EXPECT_EQ(report.Report().host, "10.0.0.5");
    const MmsReportTarget& constReport = report;
    EXPECT_EQ(constReport.Report().rcbReference, "IED1LD0/LLN0$BR$brcb01");
    report.Report().host = "other";
    EXPECT_EQ(report.report.host, "other");

    MmsPollingTarget polling;
    EXPECT_EQ(polling.period, 0u);
    EXPECT_TRUE(polling.host.empty());
    MmsPollingTarget configured("10.0.0.6", 250);
    EXPECT_EQ(configured.host, "10.0.0.6");
    EXPECT_EQ(configured.period, 250u);
    EXPECT_TRUE(configured.paths.empty());

    GooseIn goose;
    EXPECT_FALSE(goose.identifier.appId.has_value());
    EXPECT_FALSE(goose.identifier.goCbRef.has_value());
    EXPECT_FALSE(goose.identifier.test.has_value());
    EXPECT_TRUE(goose.interfaceName.empty());

    SvIn sv;
    EXPECT_FALSE(sv.svId.has_value());
    EXPECT_FALSE(sv.dstMac.has_value());
    EXPECT_TRUE(sv.channels.empty());
}

TEST(Targets, CopiesCarryPathsChannelsAndCriteria) {
    auto* channel = reinterpret_cast<VorRelay::IChannel*>(0x10);
    GooseIn goose;
    goose.paths = {MmsPath("LD0/GGIO1.Ind1.stVal[ST]", channel)};
    goose.identifier.appId = 0x3001;
    goose.identifier.goCbRef = std::string("IED1LD0/LLN0$GO$gcb01");
    goose.identifier.confRev = 7;
    goose.dataSetXml = "<FCDA path=\"\" dataType=\"BOOLEAN\"/>";
    GooseIn copy = goose;
    EXPECT_EQ(copy.paths, goose.paths);
    EXPECT_EQ(copy.paths[0].channel, channel);
    EXPECT_EQ(*copy.identifier.appId, 0x3001);
    EXPECT_EQ(*copy.identifier.goCbRef, "IED1LD0/LLN0$GO$gcb01");
    EXPECT_EQ(*copy.identifier.confRev, 7u);

    SvIn sv;
    sv.appId = 0x4000;
    sv.svId = std::string("MU01");
    sv.channels.emplace_back("MU/TCTR1.AmpSv.instMag.i[MX]", channel, 1.0, 2.0);
    SvIn svCopy = sv;
    ASSERT_EQ(svCopy.channels.size(), 1u);
    EXPECT_EQ(svCopy.channels[0].channel, channel);
    EXPECT_EQ(*svCopy.svId, "MU01");
}
