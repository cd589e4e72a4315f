#include "cid/Descriptors.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

using namespace VorIec61850;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {
using Mac = std::array<uint8_t, 6>;
}

TEST(GoSvAddress, LoadPrintsEachSetterInOrder) {
    const uint8_t mac[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    CaptureStdout();
    GoSvAddress address(mac, 5, 4, 0x3FFF);
    EXPECT_EQ(GetCapturedStdout(), "MAC: 01:0C:CD:01:00:01\nVlanID: 5\nVlanPriority: 4\nAppID: 16383\n");
    EXPECT_EQ(address.getPhysicalAddress(), (Mac{0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01}));
    EXPECT_EQ(address.getVlatId(), 5);
    EXPECT_EQ(address.getVlanPriority(), 4);
    EXPECT_EQ(address.getAppId(), 0x3FFF);

    GoSvAddress empty;
    EXPECT_FALSE(empty.hasPhysicalAddress());
    EXPECT_EQ(empty.getVlatId(), 0);
    EXPECT_EQ(empty.getAppId(), 0);
}

// Each text is set after 01:0C:CD:01:00:01: twelve hex digits replace it with a diagnostic line,
// other lengths are ignored silently, bad digits raise as the standard conversion does and store
// nothing.
TEST(GoSvAddress, PhysicalAddressFromText) {
    const struct {
        const char* text;
        Mac expected;
        const char* printed;
        bool raises;
    } cases[] = {
        {"a1b2c3d4e5f6", {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}, "MAC: A1:B2:C3:D4:E5:F6\n", false},
        {" 10CCD010002", {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x02}, "MAC: 01:0C:CD:01:00:02\n", false},
        {"01:0C:CD:01:00:02", {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01}, "", false},
        {"", {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01}, "", false},
        {"010CCD0100", {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01}, "", false},
        {"010CCD0100ZZ", {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01}, "", true},
        {"ZZ0CCD010001", {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01}, "", true},
        {"010C  010001", {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01}, "", true},
        {"010CCD01--01", {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01}, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        GoSvAddress address;
        CaptureStdout();
        address.setPhysicalAddress(std::string("010CCD010001"));
        EXPECT_EQ(GetCapturedStdout(), "MAC: 01:0C:CD:01:00:01\n");
        const GoSvAddress copy(address);
        CaptureStdout();
        try {
            address.setPhysicalAddress(std::string(c.text));
            EXPECT_FALSE(c.raises);
        } catch (const std::invalid_argument& e) {
            EXPECT_TRUE(c.raises);
            EXPECT_STREQ(e.what(), "stoi");
        }
        EXPECT_EQ(GetCapturedStdout(), c.printed);
        EXPECT_EQ(address.getPhysicalAddress(), c.expected);
        EXPECT_EQ(copy.getPhysicalAddress(), (Mac{0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01})) << "a copy is deep";
    }
}

TEST(ControlBlockDescriptors, DiagnosticLinesAndOrderOfStoring) {
    const uint8_t mac[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x10};
    Goose goose;
    CaptureStdout();
    goose.setldInst("LD0");
    goose.setGoSvAddress(mac, 0x123, 7, 0x1000);
    goose.setCbName("gcb01");
    goose.setMinTime(10);
    goose.setMaxTime(2000.5);
    GooseControl* control = goose.getGooseControl();
    ASSERT_NE(control, nullptr);
    control->setConfRev(3);
    control->setAppId("IED1/GOOSE1");
    control->setIsFixedOffs(true);
    control->setIsRoutable(true);
    control->setCbName("gcb01");
    control->setCbDataSetName("DS1");
    control->getDataSet()->setName("DS1");
    control->setIsFixedOffs(false);
    EXPECT_EQ(GetCapturedStdout(), "MAC: 01:0C:CD:01:00:10\n"
                                   "VlanID: 291\n"
                                   "VlanPriority: 7\n"
                                   "AppID: 4096\n"
                                   "cbName: gcb01\n"
                                   "minTime: 10.000000\n"
                                   "maxTime: 2000.500000\n"
                                   "confRev: 3\n"
                                   "appID: IED1/GOOSE1\n"
                                   "fixedOffset: true\n"
                                   "DataSet: DS1\n"
                                   "DataSet name: DS1\n"
                                   "fixedOffset: false\n");
    // The diagnostic line shows the configuration revision as a signed integer.
    CaptureStdout();
    control->setConfRev(4294967295u);
    EXPECT_EQ(GetCapturedStdout(), "confRev: -1\n");
    EXPECT_EQ(control->getConfRev(), 4294967295u);
}

TEST(SvOut, ChannelsBecomeMmsPathsInOrder) {
    SvOut out;
    EXPECT_TRUE(out.getChannelsMmsPathes().empty());
    auto* a = reinterpret_cast<VorRelay::IChannel*>(0x10);
    auto* b = reinterpret_cast<VorRelay::IChannel*>(0x20);
    out.channels.emplace_back("KAVEN61850MU/TCTR1.AmpSv.instMag.i[MX]", a, 1.0, 2.0);
    out.channels.emplace_back("KAVEN61850MU/TCTR2.AmpSv.instMag.i[MX]", b, 3.0, 4.0);
    out.channels.emplace_back("KAVEN61850MU/TVTR1.VolSv.instMag.i[MX]", nullptr, 5.0, 6.0);
    const auto paths = out.getChannelsMmsPathes();
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], MmsPath("KAVEN61850MU/TCTR1.AmpSv.instMag.i[MX]", a));
    EXPECT_EQ(paths[1], MmsPath("KAVEN61850MU/TCTR2.AmpSv.instMag.i[MX]", b));
    EXPECT_EQ(paths[2], MmsPath("KAVEN61850MU/TVTR1.VolSv.instMag.i[MX]", nullptr));
}
