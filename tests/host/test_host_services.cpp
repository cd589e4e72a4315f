#include "host/AutoResetEvent.h"
#include "host/Files.h"
#include "host/Language.h"
#include "host/NetAddr.h"
#include "host/NetworkHelper.h"
#include "host/Nullable.h"
#include "host/Result.h"
#include "host/StringHelper.h"
#include "host/XmlHelper.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace {

using Strings = std::vector<std::string>;

using iecx::test::ScopedEnv;

bool isDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

TEST(HostStringHelper, SplitStartsEndsAndFormats) {
    EXPECT_EQ(Vor::StringHelper::split("a,,b", ','), (Strings{"a", "", "b"}));
    EXPECT_EQ(Vor::StringHelper::split(",a,", ','), (Strings{"", "a", ""}));
    EXPECT_EQ(Vor::StringHelper::split("", ','), (Strings{""}));
    EXPECT_TRUE(Vor::StringHelper::startsWith("LD0", ""));
    EXPECT_FALSE(Vor::StringHelper::startsWith("LD", "LD0"));
    EXPECT_TRUE(Vor::StringHelper::endsWith("stVal[ST]", "[ST]"));
    EXPECT_FALSE(Vor::StringHelper::endsWith("ST]", "[ST]"));

    EXPECT_EQ(Vor::StringHelper::formatC("%s-%04X", "APPID", 0x4000), "APPID-4000");
    const std::string longText(5000, 'x');
    EXPECT_EQ(Vor::StringHelper::formatC("%s", longText.c_str()), longText);
    testing::internal::CaptureStdout();
    try {
        Vor::StringHelper::formatC("%s", "");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Vor::StringHelper::format - Error during formatting.");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Vor::StringHelper::format - Error during formatting.");
}

TEST(HostNetAddr, ParsePrintAndRefuseBadText) {
    const Vor::Net::NetAddr mac("01:0c:CD:01:00:ff", 6, ':');
    EXPECT_EQ(mac.to_string(':'), "01:0C:CD:01:00:FF");
    EXPECT_EQ(mac.to_string('-'), "01-0C-CD-01-00-FF");
    EXPECT_EQ(Vor::Net::NetAddr("01-0C-CD-01-00-FF", 6, ':'), mac);

    const Vor::Net::NetAddr ip("192.168.0.254", 4, '.');
    EXPECT_EQ(ip.bytes()[3], 254);
    EXPECT_EQ(Vor::Net::NetAddr(4, '.').to_string(), "0.0.0.0");
    const uint8_t raw[6] = {0xAA, 0xBB, 0xCC, 0, 1, 2};
    EXPECT_EQ(Vor::Net::NetAddr(raw, 6, '-').to_string(), "AA-BB-CC-00-01-02");

    for (const char* text : {"", "01:02:03:04:05", "01:02:03:04:05:06:07", "01:02:03:04:05:GG",
                             "0102:03:04:05:06", "01:02:03:04:05:100", "01.02.03.04.05.06"})
        EXPECT_THROW(Vor::Net::NetAddr(text, 6, ':'), std::invalid_argument) << text;
    for (const char* text : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "a.b.c.d", "1..2.3", "1.2.3.4x"})
        EXPECT_THROW(Vor::Net::NetAddr(text, 4, '.'), std::invalid_argument) << text;
}

TEST(HostNetworkHelper, FindsLoopback) {
    const auto interfaces = Vor::NetworkHelper::getNetworkInterfaces();
    bool found = false;
    for (const auto& itf : interfaces) {
        if (itf.id != "lo")
            continue;
        found = true;
        EXPECT_TRUE(itf.isLoopback);
        ASSERT_FALSE(itf.addresses.empty());
        ASSERT_FALSE(itf.addresses.front().empty());
        EXPECT_EQ(itf.addresses.front().front(), "127.0.0.1");
        if (!itf.macAddress.empty()) {
            EXPECT_EQ(itf.macAddress.size(), 17u); // colon form
        }
    }
    EXPECT_TRUE(found);
}

TEST(HostAutoResetEvent, SetReleasesOnceAndTimeOut) {
    Vor::AutoResetEvent event;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.waitOne(50));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));

    event.set();
    EXPECT_TRUE(event.waitOne(1000));
    EXPECT_FALSE(event.waitOne(0)); // consumed by the first wait

    event.set();
    event.reset();
    EXPECT_FALSE(event.waitOne(10));

    std::thread setter([&event] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        event.set();
    });
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(event.waitOne(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000));
    setter.join();
}

TEST(HostFiles, DirectoriesCacheAndOutputFiles) {
    iecx::test::TempDir dir;
    const std::string& base = dir.path();
    EXPECT_TRUE(Vor::mkdir_with_parents(base + "/a/b/c"));
    EXPECT_TRUE(isDirectory(base + "/a/b/c"));
    EXPECT_TRUE(Vor::mkdir_with_parents(base + "/a/b/c")); // already there
    EXPECT_TRUE(Vor::mkdir_with_parents(base + "/a/d/"));
    EXPECT_TRUE(isDirectory(base + "/a/d"));
    std::ofstream(base + "/file") << "x";
    EXPECT_FALSE(Vor::mkdir_with_parents(base + "/file"));
    EXPECT_FALSE(Vor::mkdir_with_parents(base + "/file/sub"));
    EXPECT_FALSE(Vor::mkdir_with_parents(""));

    // The cache directory honours an absolute XDG_CACHE_HOME, else lies under HOME.
    {
        ScopedEnv xdg("XDG_CACHE_HOME", (base + "/xdg").c_str());
        const std::string cache = Vor::getVorCrossAppCacheDir();
        EXPECT_EQ(cache.rfind(base + "/xdg/", 0), 0u) << cache;
        EXPECT_EQ(cache.back(), '/');
        EXPECT_TRUE(isDirectory(cache));
    }
    {
        ScopedEnv xdg("XDG_CACHE_HOME", "relative/ignored");
        ScopedEnv home("HOME", (base + "/home").c_str());
        const std::string cache = Vor::getVorCrossAppCacheDir();
        EXPECT_EQ(cache.rfind(base + "/home/.cache/", 0), 0u) << cache;
        EXPECT_TRUE(isDirectory(cache));
    }

    const std::string path = base + "/Выход.cid"; // UTF-8 name
    *Vor::openOutputFileUTF8Name(path) << "hello";
    *Vor::openOutputFileUTF8Name(path, std::ios_base::app) << " world";
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "hello world");
    EXPECT_FALSE(Vor::openOutputFileUTF8Name(base + "/missing/dir/file")->is_open());
}

TEST(HostXmlHelper, SetAttributeTexts) {
    xmlpp::Document doc;
    xmlpp::Element* e = doc.create_root_node("E");
    Vor::XmlHelper::set_attribute(e, "i", 42);
    Vor::XmlHelper::set_attribute(e, "n", -7L);
    Vor::XmlHelper::set_attribute(e, "u", static_cast<uint8_t>(200));
    Vor::XmlHelper::set_attribute(e, "b", true);
    Vor::XmlHelper::set_attribute(e, "f", false);
    Vor::XmlHelper::set_attribute(e, "s", std::string("text"));
    Vor::XmlHelper::set_attribute(e, "c", "chars");
    Vor::XmlHelper::set_attribute(e, "d", 0.001);
    Vor::XmlHelper::set_attribute(e, "g", 1000.0f);
    for (const auto& [name, text] : std::vector<std::pair<const char*, const char*>>{{"i", "42"},
                                                                                     {"n", "-7"},
                                                                                     {"u", "200"},
                                                                                     {"b", "true"},
                                                                                     {"f", "false"},
                                                                                     {"s", "text"},
                                                                                     {"c", "chars"},
                                                                                     {"d", "0.001"},
                                                                                     {"g", "1000"}})
        EXPECT_EQ(e->get_attribute_value(name), text) << name;
    // Attributes keep the order they were set in.
    std::string text = doc.write_to_string();
    EXPECT_LT(text.find("i=\"42\""), text.find("d=\"0.001\""));
}

TEST(HostXmlHelper, RootChildElementToString) {
    xmlpp::DomParser parser;
    parser.parse_memory("<?xml version=\"1.0\"?><root>text<!-- c --><FCDA path=\"LD0/LLN0.Mod\" fc=\"ST\">"
                        "<FCDA path=\"x\"/></FCDA><other/></root>");
    const std::string text = Vor::XmlHelper::writeRootChildElementToString(*parser.get_document());
    EXPECT_EQ(text, "<FCDA path=\"LD0/LLN0.Mod\" fc=\"ST\"><FCDA path=\"x\"/></FCDA>");
    xmlpp::Document empty;
    empty.create_root_node("root");
    EXPECT_EQ(Vor::XmlHelper::writeRootChildElementToString(empty), "");
}

TEST(HostLanguage, UnknownLanguageFallsBackToTheFirst) {
    lng::setLanguage(7);
    EXPECT_EQ(lng::language(), 0);
}
