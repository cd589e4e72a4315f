#include "scl/SclTypes.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

using namespace VorIec61850;

TEST(SclEnums, TextConversions) {
    for (const auto& [text, fc] : std::vector<std::pair<const char*, tFCEnum>>{{"ST", tFCEnum::ST},
                                                                               {"GO", tFCEnum::GO},
                                                                               {"NONE", tFCEnum::NONE},
                                                                               {"", tFCEnum::NONE},
                                                                               {"st", tFCEnum::NONE}})
        EXPECT_EQ(fcFromString(text), fc) << text;
    EXPECT_EQ(toString(tFCEnum::NONE), "");
    EXPECT_EQ(toString(tFCEnum::MX), "MX");
    for (const auto& [text, kind] :
         std::vector<std::pair<const char*, tValKindEnum>>{{"RO", tValKindEnum::RO},
                                                           {"Spec", tValKindEnum::Design},
                                                           {"Conf", tValKindEnum::Conf},
                                                           {"set", tValKindEnum::Set},
                                                           {"ro", tValKindEnum::Set},
                                                           {"", tValKindEnum::Set}})
        EXPECT_EQ(valKindFromString(text), kind) << text;
    for (const auto& [text, type] :
         std::vector<std::pair<const char*, tGSEControlTypeEnum>>{{"goose", tGSEControlTypeEnum::GOOSE},
                                                                  {"GoOsE", tGSEControlTypeEnum::GOOSE},
                                                                  {"GSSE", tGSEControlTypeEnum::GSSE},
                                                                  {"", tGSEControlTypeEnum::GSSE}})
        EXPECT_EQ(gseControlTypeFromString(text), type) << text;
    for (const auto& [text, value] : std::vector<std::pair<const char*, bool>>{
             {"true", true}, {"TRUE", true}, {"1", false}, {"", false}, {" true", false}})
        EXPECT_EQ(sclBoolFromString(text), value) << text;
    EXPECT_EQ(smpModFromString(""), tSmpMod::SmpPerPeriod);
    EXPECT_EQ(basicTypeFromString("quality"), tBasicTypeEnum::BOOLEAN);
}

TEST(SclEnums, RelevantMmsType) {
    using B = tBasicTypeEnum;
    using M = tMmsTypeEnum;
    const std::pair<B, M> cases[] = {
        {B::INT128, M::INTEGER}, {B::Enum, M::INTEGER},     {B::INT32U, M::UNSIGNED},
        {B::FLOAT64, M::FLOAT},  {B::Struct, M::STRUCTURE}, {B::Timestamp, M::BIT_STRING},
    };
    for (const auto& c : cases)
        EXPECT_EQ(relevantMmsType(c.first), c.second) << toString(c.first);
    EXPECT_EQ(relevantMmsType(basicTypeFromString("NoSuchType")), M::BOOLEAN);
}

TEST(SclRecords, AddressParameters) {
    const tP dashed("MAC-Address", "01-0C-CD-01-00-1f");
    const tP colons("MAC-Address", "01:0C:CD:01:00:1F");
    EXPECT_EQ(dashed.macAddress, colons.macAddress);
    EXPECT_EQ(dashed.getMacAddress(), "01-0C-CD-01-00-1F");
    EXPECT_EQ(dashed.value, 0);

    const tP ip("IP", "192.168.1.20");
    EXPECT_EQ(ip.getIpAddress(), "192.168.1.20");
    EXPECT_EQ(ip.ipAddress[3], 20);
    EXPECT_EQ(ip.getMacAddress(), "00-00-00-00-00-00");

    EXPECT_EQ(tP("APPID", "4000").getValue(), 0x4000);
    EXPECT_EQ(tP("APPID", "10005").getValue(), 0x0005);
    EXPECT_EQ(tP("APPID", "  0x1A").getValue(), 0x1A);
    EXPECT_EQ(tP("VLAN-ID", "005").getValue(), 5);
    EXPECT_EQ(tP("APPID", "12zz").getValue(), 0x12); // trailing text ignored
    EXPECT_EQ(tP("APPID", "12").getType(), "APPID");

    // From a number (the APPID keeps its low 16 bits) and from MAC bytes.
    EXPECT_EQ(tP("VLAN-PRIORITY", 4).getValue(), 4);
    EXPECT_EQ(tP("APPID", 0x14000).getValue(), 0x4000);
    const uint8_t mac[6] = {1, 2, 3, 0xAB, 0xCD, 0xEF};
    const tP fromBytes("MAC-Address", mac);
    EXPECT_EQ(fromBytes.getMacAddress(), "01-02-03-AB-CD-EF");
    EXPECT_EQ(fromBytes.getValue(), 0);

    // Errors carry the messages of the standard conversions (the extractor reports them as they
    // are).
    for (const char* text : {"", "xyz", "FFFFFFFFFFFFFFFFFFFFFFFF"}) {
        try {
            tP("APPID", text);
            ADD_FAILURE() << "no exception for \"" << text << "\"";
        } catch (const std::logic_error& e) { // invalid_argument or out_of_range
            EXPECT_STREQ(e.what(), "stoul") << text;
        }
    }
    EXPECT_THROW(tP("MAC-Address", "01-02-03"), std::invalid_argument);
    EXPECT_THROW(tP("IP", "10.0.0"), std::invalid_argument);
}

TEST(SclRecords, ControlBlockLookupsTakeFirstMatch) {
    tControlBlock block;
    EXPECT_EQ(block.getMacAddress(), "");
    EXPECT_EQ(block.getAppId(), 0);
    block.address = {tP("VLAN-ID", "00A"), tP("APPID", "0010"), tP("APPID", "0020"),
                     tP("MAC-Address", "01-0C-CD-01-00-05"), tP("mac-address", "01-0C-CD-01-00-06")};
    EXPECT_EQ(block.getAppId(), 0x10);
    EXPECT_EQ(block.getVlanId(), 0xA);
    EXPECT_EQ(block.getVlanPriority(), 0);
    EXPECT_EQ(block.getMacAddress(), "01-0C-CD-01-00-05");
}

TEST(SclRecords, ControlBlocksAreCopiedDeep) {
    tGSE gse;
    ASSERT_NE(gse.gseControl, nullptr);
    ASSERT_NE(gse.gseControl->dataSet, nullptr);
    EXPECT_TRUE(gse.gseControl->dataSet->fcdas.empty());

    gse.gseControl->name = "GCB";
    gse.gseControl->dataSet->name = "DS";
    tGSE copy(gse);
    copy.gseControl->name = "other";
    copy.gseControl->dataSet->name = "other";
    EXPECT_EQ(gse.gseControl->name, "GCB");
    EXPECT_EQ(gse.gseControl->dataSet->name, "DS");
    EXPECT_NE(copy.gseControl.get(), gse.gseControl.get());

    tGSE assigned;
    assigned = gse;
    EXPECT_EQ(assigned.gseControl->dataSet->name, "DS");
    EXPECT_NE(assigned.gseControl->dataSet.get(), gse.gseControl->dataSet.get());

    tGSE moved(std::move(copy));
    tGSE fromMoved(copy); // a null source gives a null copy
    EXPECT_EQ(fromMoved.gseControl, nullptr);

    tSMV smv;
    ASSERT_NE(smv.svControl, nullptr);
    smv.svControl->dataSet->fcdas.resize(2);
    tSMV smvCopy;
    smvCopy = smv;
    smvCopy.svControl->dataSet->fcdas.clear();
    EXPECT_EQ(smv.svControl->dataSet->fcdas.size(), 2u);
}

TEST(SclRecords, ControlBlockReference) {
    tConnectedAP ap;
    ap.iedName = "RELAY1";
    ap.gse.resize(2);
    ap.gse[1].ldInst = "LD0";
    ap.gse[1].gseControl->name = "GCB02";
    tGSEControl& control = *ap.gse[1].gseControl;
    control.setControlBlockReference(&ap, 1);
    EXPECT_EQ(control.getControlBlockReference(), "RELAY1LD0/LLN0$GO$GCB02");
    control.setControlBlockReference(&ap, 5); // no such entry: unchanged
    EXPECT_EQ(control.getControlBlockReference(), "RELAY1LD0/LLN0$GO$GCB02");
}
