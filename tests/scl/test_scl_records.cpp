#include "scl/SclTypes.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace VorIec61850;

namespace {

template <typename E> void expectTableRoundTrip(const char* const* table, int count) {
    int n = 0;
    while (table[n] != nullptr)
        ++n;
    EXPECT_EQ(n, count);
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(sclTableIndex(table, table[i]), i) << table[i];
}

} // namespace

TEST(SclEnums, TablesHaveTheirSizesAndOrder) {
    expectTableRoundTrip<tFCEnum>(tFCEnum_STRING, 20);
    expectTableRoundTrip<tBasicTypeEnum>(tBasicTypeEnum_STRING, 33);
    expectTableRoundTrip<tMmsTypeEnum>(tMmsTypeEnum_STRING, 16);
    expectTableRoundTrip<tSmpMod>(tSmpMod_STRING, 3);
    expectTableRoundTrip<tCDCEnum>(tCDCEnum_STRING, 50);
    expectTableRoundTrip<tLNClassEnum>(tLNClassEnum_STRING, 91);
    EXPECT_STREQ(tFCEnum_STRING[18], "GO");
    EXPECT_STREQ(tBasicTypeEnum_STRING[24], "Struct");
    EXPECT_STREQ(tBasicTypeEnum_STRING[32], "SvOptFlds");
    EXPECT_STREQ(tMmsTypeEnum_STRING[15], "DATA_ACCESS_ERROR");
    EXPECT_STREQ(tCDCEnum_STRING[46], "CSD1");
    EXPECT_STREQ(tCDCEnum_STRING[49], "VSG");
    EXPECT_STREQ(tLNClassEnum_STRING[1], "LLN0");
    EXPECT_STREQ(tLNClassEnum_STRING[68], "TCTR");
    EXPECT_STREQ(tLNClassEnum_STRING[69], "TVTR");
    EXPECT_STREQ(tLNClassEnum_STRING[90], "ZTCR");
    EXPECT_EQ(static_cast<int>(tMmsTypeEnum::FLOAT), 6);
    EXPECT_EQ(static_cast<int>(tLNClassEnum::TCTR), 68);
}

TEST(SclEnums, TextConversions) {
    EXPECT_EQ(fcFromString("ST"), tFCEnum::ST);
    EXPECT_EQ(fcFromString("GO"), tFCEnum::GO);
    EXPECT_EQ(fcFromString("NONE"), tFCEnum::NONE);
    EXPECT_EQ(fcFromString(""), tFCEnum::NONE);
    EXPECT_EQ(fcFromString("st"), tFCEnum::NONE);
    EXPECT_EQ(toString(tFCEnum::NONE), "");
    EXPECT_EQ(toString(tFCEnum::MX), "MX");

    EXPECT_EQ(valKindFromString("RO"), tValKindEnum::RO);
    EXPECT_EQ(valKindFromString("Spec"), tValKindEnum::Spec);
    EXPECT_EQ(valKindFromString("Conf"), tValKindEnum::Conf);
    EXPECT_EQ(valKindFromString("set"), tValKindEnum::Set);
    EXPECT_EQ(valKindFromString("ro"), tValKindEnum::Set);
    EXPECT_EQ(valKindFromString(""), tValKindEnum::Set);

    EXPECT_EQ(gseControlTypeFromString("goose"), tGSEControlTypeEnum::GOOSE);
    EXPECT_EQ(gseControlTypeFromString("GoOsE"), tGSEControlTypeEnum::GOOSE);
    EXPECT_EQ(gseControlTypeFromString("GSSE"), tGSEControlTypeEnum::GSSE);
    EXPECT_EQ(gseControlTypeFromString(""), tGSEControlTypeEnum::GSSE);

    EXPECT_TRUE(sclBoolFromString("true"));
    EXPECT_TRUE(sclBoolFromString("TRUE"));
    EXPECT_FALSE(sclBoolFromString("1"));
    EXPECT_FALSE(sclBoolFromString(""));
    EXPECT_FALSE(sclBoolFromString(" true"));

    EXPECT_EQ(smpModFromString("SmpPerSec"), tSmpMod::SmpPerSec);
    EXPECT_EQ(smpModFromString("SecPerSmp"), tSmpMod::SecPerSmp);
    EXPECT_EQ(smpModFromString(""), tSmpMod::SmpPerPeriod);

    EXPECT_EQ(basicTypeFromString("Quality"), tBasicTypeEnum::Quality);
    EXPECT_EQ(basicTypeFromString("quality"), tBasicTypeEnum::BOOLEAN);
    EXPECT_EQ(cdcFromString("SAV"), tCDCEnum::SAV);
    EXPECT_EQ(lnClassFromString("XCBR"), tLNClassEnum::XCBR);
    EXPECT_EQ(mmsTypeFromString("FLOAT"), tMmsTypeEnum::FLOAT);
}

TEST(SclEnums, RelevantMmsType) {
    using B = tBasicTypeEnum;
    using M = tMmsTypeEnum;
    const std::pair<B, M> cases[] = {
        {B::BOOLEAN, M::BOOLEAN},         {B::INT8, M::INTEGER},
        {B::INT128, M::INTEGER},          {B::Enum, M::INTEGER},
        {B::INT8U, M::UNSIGNED},          {B::INT32U, M::UNSIGNED},
        {B::FLOAT32, M::FLOAT},           {B::FLOAT64, M::FLOAT},
        {B::Struct, M::STRUCTURE},        {B::Dbpos, M::BIT_STRING},
        {B::Quality, M::BIT_STRING},      {B::Timestamp, M::BIT_STRING},
        {B::VisString255, M::BIT_STRING}, {B::EntryTime, M::BIT_STRING},
        {B::SvOptFlds, M::BIT_STRING},
    };
    for (const auto& c : cases)
        EXPECT_EQ(relevantMmsType(c.first), c.second) << toString(c.first);
    EXPECT_EQ(relevantMmsType(basicTypeFromString("NoSuchType")), M::BOOLEAN);
}

TEST(SclRecords, PFromText) {
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
}

TEST(SclRecords, PFromTextErrors) {
    try {
        tP("APPID", "");
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "stoul");
    }
    try {
        tP("APPID", "xyz");
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "stoul");
    }
    try {
        tP("APPID", "FFFFFFFFFFFFFFFFFFFFFFFF");
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "stoul");
    }
    EXPECT_THROW(tP("MAC-Address", "01-02-03"), std::invalid_argument);
    EXPECT_THROW(tP("IP", "10.0.0"), std::invalid_argument);
}

TEST(SclRecords, POtherConstructors) {
    const tP value("VLAN-PRIORITY", 4);
    EXPECT_EQ(value.getValue(), 4);
    EXPECT_EQ(tP("APPID", 0x14000).getValue(), 0x4000);
    const uint8_t mac[6] = {1, 2, 3, 0xAB, 0xCD, 0xEF};
    const tP fromBytes("MAC-Address", mac);
    EXPECT_EQ(fromBytes.getMacAddress(), "01-02-03-AB-CD-EF");
    EXPECT_EQ(fromBytes.getValue(), 0);
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

TEST(SclRecords, DefaultsAndDeepCopies) {
    tGSE gse;
    ASSERT_NE(gse.gseControl, nullptr);
    ASSERT_NE(gse.gseControl->dataSet, nullptr);
    EXPECT_TRUE(gse.gseControl->dataSet->fcdas.empty());
    EXPECT_EQ(gse.gseControl->type, tGSEControlTypeEnum::GOOSE);
    EXPECT_EQ(gse.minTime.unitCode, 3);
    EXPECT_EQ(gse.maxTime.reservedCode2, 1);

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
    EXPECT_TRUE(smv.svControl->multicast);
    EXPECT_TRUE(smv.svControl->smvOpts.sampleSynchronized);
    EXPECT_FALSE(smv.svControl->smvOpts.refreshTime);
    smv.svControl->dataSet->fcdas.resize(2);
    tSMV smvCopy;
    smvCopy = smv;
    smvCopy.svControl->dataSet->fcdas.clear();
    EXPECT_EQ(smv.svControl->dataSet->fcdas.size(), 2u);

    tSubNetwork subNetwork;
    EXPECT_EQ(subNetwork.type, "8-MMS");
    EXPECT_EQ(subNetwork.reservedCode, 3);
    tFCDA fcda;
    EXPECT_EQ(fcda.fc, tFCEnum::NONE);
    tDA da;
    EXPECT_EQ(da.valKind, tValKindEnum::Set);
    EXPECT_EQ(da.count, "0");
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
