#include "mms/MmsDatasetHelper.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace VorIec61850;

namespace {

FCDAElement* add(FCDAElement& parent, const std::string& path, tFCEnum fc = tFCEnum::NONE,
                 tMmsTypeEnum type = tMmsTypeEnum::BOOLEAN) {
    auto child = std::make_unique<FCDAElement>(path, fc, type, nullptr);
    FCDAElement* raw = child.get();
    parent.addChild(std::move(child));
    return raw;
}

tFCDA fcda(const std::string& ld, const std::string& prefix, const std::string& lnClass,
           const std::string& inst, const std::string& doName, const std::string& daName, tFCEnum fc,
           tMmsTypeEnum type) {
    tFCDA f;
    f.ldInst = ld;
    f.prefix = prefix;
    f.lnClass = lnClass;
    f.lnInst = inst;
    f.doName = doName;
    f.daName = daName;
    f.fc = fc;
    f.mmsType = type;
    return f;
}

tDA da(const std::string& name, tFCEnum fc, tMmsTypeEnum type) {
    tDA d;
    d.name = name;
    d.fc = fc;
    d.mmsType = type;
    return d;
}

} // namespace

TEST(MmsDatasetHelper, CreateDatasetStructureIsFlatWithWholePaths) {
    tDataSet dataSet;
    dataSet.fcdas.push_back(fcda("LD0", "", "LLN0", "", "Mod", "stVal", tFCEnum::ST, tMmsTypeEnum::INTEGER));
    tFCDA doLevel = fcda("LD0", "Q0", "XCBR", "1", "Pos", "", tFCEnum::ST, tMmsTypeEnum::STRUCTURE);
    doLevel.das = {
        da("stVal", tFCEnum::ST, tMmsTypeEnum::BIT_STRING), da("q", tFCEnum::ST, tMmsTypeEnum::BIT_STRING),
        da("t", tFCEnum::ST, tMmsTypeEnum::UTC_TIME), da("ctlModel", tFCEnum::CF, tMmsTypeEnum::INTEGER)};
    dataSet.fcdas.push_back(doLevel);
    dataSet.fcdas.push_back(fcda("LD0", "", "GGIO", "1", "Ind1", "", tFCEnum::ST, tMmsTypeEnum::STRUCTURE));

    auto root = MmsDatasetHelper::createDatasetStructure(&dataSet);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->getPath(), "");
    EXPECT_EQ(root->getFC(), tFCEnum::NONE);
    const auto& members = root->getChildren();
    ASSERT_EQ(members.size(), 5u); // the DO without attributes contributes nothing
    EXPECT_EQ(members[0]->getFullPathWithFC(), "LD0/LLN0.Mod.stVal[ST]");
    EXPECT_EQ(members[0]->getDataType(), tMmsTypeEnum::INTEGER);
    EXPECT_EQ(members[1]->getFullPathWithFC(), "LD0/Q0XCBR1.Pos.stVal[ST]");
    EXPECT_EQ(members[3]->getDataType(), tMmsTypeEnum::UTC_TIME);
    EXPECT_EQ(members[4]->getFullPathWithFC(), "LD0/Q0XCBR1.Pos.ctlModel[CF]");
    for (const auto& m : members)
        EXPECT_TRUE(m->getChildren().empty());

    auto none = MmsDatasetHelper::createDatasetStructure(nullptr);
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(none->getChildren().empty());
}

TEST(MmsDatasetHelper, AssociationAcceptsGluedIedNameAndSegmentBoundaries) {
    FCDAElement record("LD0/LLN0.Mod.stVal", tFCEnum::ST, tMmsTypeEnum::INTEGER, nullptr);
    EXPECT_TRUE(MmsDatasetHelper::isPathAssociatedDatasetRecord(record, "LD0/LLN0.Mod.stVal[ST]"));
    EXPECT_TRUE(MmsDatasetHelper::isPathAssociatedDatasetRecord(record, "IED1LD0/LLN0.Mod.stVal[ST]"));
    EXPECT_TRUE(MmsDatasetHelper::isPathAssociatedDatasetRecord(record, "X.LD0/LLN0.Mod.stVal[ST]"));
    EXPECT_FALSE(MmsDatasetHelper::isPathAssociatedDatasetRecord(record, "LD0/LLN0.Mod.stVal[MX]"));
    EXPECT_FALSE(MmsDatasetHelper::isPathAssociatedDatasetRecord(record, "LD0/LLN0.Mod.stVal"));
    EXPECT_FALSE(MmsDatasetHelper::isPathAssociatedDatasetRecord(record, "LLN0.Mod.stVal[ST]"));

    FCDAElement relative("Mod.stVal", tFCEnum::ST, tMmsTypeEnum::INTEGER, nullptr);
    EXPECT_TRUE(MmsDatasetHelper::isPathAssociatedDatasetRecord(relative, "LD0/LLN0.Mod.stVal[ST]"));
    EXPECT_FALSE(MmsDatasetHelper::isPathAssociatedDatasetRecord(relative, "LD0/LLN0.XMod.stVal[ST]"));
    EXPECT_FALSE(MmsDatasetHelper::isPathAssociatedDatasetRecord(relative, "stVal[ST]"));
}

TEST(MmsDatasetHelper, IndexesOfPaths) {
    FCDAElement dataSet;
    add(dataSet, "LD0/LLN0.Mod.stVal", tFCEnum::ST);
    add(dataSet, "LD0/GGIO1.Ind1.stVal", tFCEnum::ST);
    add(dataSet, "LD0/GGIO1.Ind1.q", tFCEnum::ST, tMmsTypeEnum::BIT_STRING);
    std::vector<MmsPath> paths = {MmsPath("IED1LD0/GGIO1.Ind1.q[ST]", nullptr),
                                  MmsPath("LD0/GGIO1.Ind2.stVal[ST]", nullptr),
                                  MmsPath("LD0/LLN0.Mod.stVal[ST]", nullptr)};
    EXPECT_EQ(MmsDatasetHelper::getDataAssociatedIndexes(dataSet, paths), (std::vector<int32_t>{2, -1, 0}));
    EXPECT_EQ(MmsDatasetHelper::getPathIndexInDataset(dataSet, "LD0/GGIO1.Ind1.stVal[MX]"), -1);
    EXPECT_TRUE(MmsDatasetHelper::isExistsAnyPathInDataset(dataSet, paths));
    EXPECT_FALSE(MmsDatasetHelper::isExistsAnyPathInDataset(dataSet, {paths[1]}));
    EXPECT_FALSE(MmsDatasetHelper::isExistsAnyPathInDataset(dataSet, {}));
    EXPECT_TRUE(MmsDatasetHelper::getDataAssociatedIndexes(dataSet, {}).empty());
}

TEST(MmsDatasetHelper, AssociatedRecordOfMemberAndOfInnerAttribute) {
    FCDAElement dataSet;
    FCDAElement* pos = add(dataSet, "LD0/Q0XCBR1.Pos", tFCEnum::ST, tMmsTypeEnum::STRUCTURE);
    FCDAElement* stVal = add(*pos, "stVal", tFCEnum::ST, tMmsTypeEnum::BIT_STRING);
    add(*pos, "q", tFCEnum::ST, tMmsTypeEnum::BIT_STRING);
    FCDAElement* t = add(*pos, "t", tFCEnum::ST, tMmsTypeEnum::UTC_TIME);
    FCDAElement* flat = add(dataSet, "LD0/MMXU1.TotW.mag.f", tFCEnum::MX, tMmsTypeEnum::FLOAT);

    EXPECT_EQ(MmsDatasetHelper::getPathAssociatedFCDARecord(dataSet, "LD0/Q0XCBR1.Pos.stVal[ST]"), stVal);
    EXPECT_EQ(MmsDatasetHelper::getPathAssociatedFCDARecord(dataSet, "IEDLD0/Q0XCBR1.Pos.stVal[ST]"), nullptr)
        << "the member path must start at a segment boundary";
    EXPECT_EQ(MmsDatasetHelper::getPathAssociatedFCDARecord(dataSet, "IED.LD0/Q0XCBR1.Pos.stVal[ST]"), stVal);
    EXPECT_EQ(MmsDatasetHelper::getPathAssociatedFCDARecord(dataSet, "LD0/Q0XCBR1.Pos[ST]"), pos);
    EXPECT_EQ(MmsDatasetHelper::getPathAssociatedFCDARecord(dataSet, "LD0/Q0XCBR1.Pos"), nullptr)
        << "a member with an FC is not found without one";
    EXPECT_EQ(MmsDatasetHelper::getPathAssociatedFCDARecord(dataSet, "LD0/MMXU1.TotW.mag.f[MX]"), flat);
    EXPECT_EQ(MmsDatasetHelper::getPathAssociatedFCDARecord(dataSet, "LD0/MMXU1.TotW.mag.f[ST]"), nullptr);
    EXPECT_EQ(MmsDatasetHelper::getPathAssociatedFCDARecord(dataSet, "LD0/Q0XCBR1.Posx.stVal[ST]"), nullptr);
    EXPECT_EQ(MmsDatasetHelper::getPathAssociatedFCDARecord(dataSet, ""), nullptr);

    EXPECT_EQ(MmsDatasetHelper::getAssociatedTime(*stVal), t);
    EXPECT_EQ(MmsDatasetHelper::getAssociatedTime(*flat), nullptr);
    EXPECT_EQ(MmsDatasetHelper::getAssociatedTime(dataSet), nullptr);
}

TEST(MmsDatasetHelper, AssociatedTimeSearchesAncestorsNearestFirst) {
    FCDAElement root;
    FCDAElement* outerT = add(root, "T", tFCEnum::ST, tMmsTypeEnum::UTC_TIME);
    FCDAElement* member = add(root, "LD0/GGIO1.Ind1", tFCEnum::ST, tMmsTypeEnum::STRUCTURE);
    FCDAElement* inner = add(*member, "sub", tFCEnum::ST, tMmsTypeEnum::STRUCTURE);
    FCDAElement* leaf = add(*inner, "stVal", tFCEnum::ST);
    EXPECT_EQ(MmsDatasetHelper::getAssociatedTime(*leaf), outerT);
    FCDAElement* memberT = add(*member, "t", tFCEnum::ST, tMmsTypeEnum::UTC_TIME);
    EXPECT_EQ(MmsDatasetHelper::getAssociatedTime(*leaf), memberT);
    EXPECT_EQ(memberT->getFullPathWithFC(), "LD0/GGIO1.Ind1.t[ST]");
    // "tt" or "t1" are not time stamps.
    FCDAElement other;
    FCDAElement* x = add(other, "x");
    add(other, "tt");
    add(other, "t1");
    EXPECT_EQ(MmsDatasetHelper::getAssociatedTime(*x), nullptr);
}

TEST(MmsDatasetHelper, SiblingIndexOfSameType) {
    FCDAElement parent;
    add(parent, "a", tFCEnum::ST, tMmsTypeEnum::BOOLEAN);
    FCDAElement* bits = add(parent, "b", tFCEnum::ST, tMmsTypeEnum::BIT_STRING);
    add(parent, "c", tFCEnum::ST, tMmsTypeEnum::BOOLEAN);
    FCDAElement* third = add(parent, "d", tFCEnum::ST, tMmsTypeEnum::BOOLEAN);
    EXPECT_EQ(MmsDatasetHelper::getSiblingIndexOfSameType(*third), 2);
    EXPECT_EQ(MmsDatasetHelper::getSiblingIndexOfSameType(*bits), 0);
    EXPECT_EQ(MmsDatasetHelper::getSiblingIndexOfSameType(parent), -1);
    FCDAElement stray("s", tFCEnum::ST, tMmsTypeEnum::BOOLEAN, &parent); // parent set, not a child
    EXPECT_EQ(MmsDatasetHelper::getSiblingIndexOfSameType(stray), -1);
}

TEST(MmsDatasetHelper, FlatSclDataSetThroughXmlHasNoTimeSiblings) {
    // The flat structure of an SCL data set, sent as XML to a pool and searched there.
    tDataSet dataSet;
    tFCDA pos = fcda("LD0", "Q0", "XCBR", "1", "Pos", "", tFCEnum::ST, tMmsTypeEnum::STRUCTURE);
    pos.das = {da("stVal", tFCEnum::ST, tMmsTypeEnum::BIT_STRING),
               da("t", tFCEnum::ST, tMmsTypeEnum::UTC_TIME)};
    dataSet.fcdas.push_back(pos);
    auto xml = MmsDatasetHelper::createDatasetStructure(&dataSet)->serializeToString();
    auto tree = FCDAElement::deserialize(xml);
    const FCDAElement* record =
        MmsDatasetHelper::getPathAssociatedFCDARecord(*tree, "LD0/Q0XCBR1.Pos.stVal[ST]");
    ASSERT_NE(record, nullptr);
    // In a flat tree the members are siblings: the time member is found next to the value.
    const FCDAElement* time = MmsDatasetHelper::getAssociatedTime(*record);
    EXPECT_EQ(time, nullptr) << "flat members carry whole paths, none of them is exactly \"t\"";
}
