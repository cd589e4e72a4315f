#include "mms/MmsDatasetHelper.h"
#include "scl/DataExtractor.h"
#include "support/IedClient.h"

#include "iec61850_client.h"

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

tFCDAComponent component(const std::string& name, tFCEnum fc, tMmsTypeEnum type,
                         std::vector<tFCDAComponent> components = {}) {
    return tFCDAComponent{name, fc, type, std::move(components)};
}

// Members as they travel: Ind1's attributes one by one (its t among them), a data object
// member Pos with its own t, a structured attribute AnIn1.mag next to AnIn1.t, and a data object
// member without a type description (attribute records only, a dotted one among them).
tDataSet mixedDataSet() {
    tDataSet dataSet;
    dataSet.fcdas.push_back(
        fcda("LD0", "", "GGIO", "1", "Ind1", "stVal", tFCEnum::ST, tMmsTypeEnum::BOOLEAN));
    dataSet.fcdas.push_back(fcda("LD0", "", "GGIO", "1", "Ind1", "q", tFCEnum::ST, tMmsTypeEnum::BIT_STRING));
    dataSet.fcdas.push_back(fcda("LD0", "", "GGIO", "1", "Ind1", "t", tFCEnum::ST, tMmsTypeEnum::UTC_TIME));
    tFCDA pos = fcda("LD0", "Q0", "XCBR", "1", "Pos", "", tFCEnum::ST, tMmsTypeEnum::STRUCTURE);
    pos.components = {component("stVal", tFCEnum::ST, tMmsTypeEnum::BIT_STRING),
                      component("q", tFCEnum::ST, tMmsTypeEnum::BIT_STRING),
                      component("t", tFCEnum::ST, tMmsTypeEnum::UTC_TIME)};
    dataSet.fcdas.push_back(pos);
    tFCDA mag = fcda("LD0", "", "GGIO", "1", "AnIn1", "mag", tFCEnum::MX, tMmsTypeEnum::STRUCTURE);
    mag.components = {component("f", tFCEnum::MX, tMmsTypeEnum::FLOAT)};
    dataSet.fcdas.push_back(mag);
    dataSet.fcdas.push_back(fcda("LD0", "", "GGIO", "1", "AnIn1", "t", tFCEnum::MX, tMmsTypeEnum::UTC_TIME));
    tFCDA totW = fcda("LD0", "", "MMXU", "1", "TotW", "", tFCEnum::MX, tMmsTypeEnum::BOOLEAN);
    totW.das = {da("mag.f", tFCEnum::MX, tMmsTypeEnum::FLOAT), da("q", tFCEnum::MX, tMmsTypeEnum::BIT_STRING),
                da("t", tFCEnum::MX, tMmsTypeEnum::UTC_TIME)};
    dataSet.fcdas.push_back(totW);
    dataSet.fcdas.push_back(
        fcda("LD0", "", "GGIO", "1", "Ind2", "stVal", tFCEnum::ST, tMmsTypeEnum::BOOLEAN));
    return dataSet;
}

// "name[FC]" and, for a structure, its components in braces with their types.
std::string describe(const FCDAElement& element) {
    std::string text = element.getPath() + "[" + toString(element.getFC()) + "]";
    if (element.getDataType() != tMmsTypeEnum::STRUCTURE)
        return text + ":" + toString(element.getDataType());
    text += "{";
    for (const auto& child : element.getChildren())
        text += describe(*child) + ",";
    return text + "}";
}

} // namespace

TEST(MmsDatasetHelper, StructureHasOneChildPerWireMember) {
    const tDataSet dataSet = mixedDataSet();
    // Through XML, as the pools receive it.
    auto root =
        FCDAElement::deserialize(MmsDatasetHelper::createDatasetStructure(&dataSet)->serializeToString());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->getPath(), "");
    const auto& members = root->getChildren();
    ASSERT_EQ(members.size(), 8u);
    EXPECT_EQ(members[0]->getFullPathWithFC(), "LD0/GGIO1.Ind1.stVal[ST]");
    EXPECT_EQ(describe(*members[3]),
              "LD0/Q0XCBR1.Pos[ST]{stVal[ST]:BIT_STRING,q[ST]:BIT_STRING,t[ST]:UTC_TIME,}");
    EXPECT_EQ(describe(*members[4]), "LD0/GGIO1.AnIn1.mag[MX]{f[MX]:FLOAT,}");
    EXPECT_EQ(describe(*members[6]),
              "LD0/MMXU1.TotW[MX]{mag[MX]{f[MX]:FLOAT,},q[MX]:BIT_STRING,t[MX]:UTC_TIME,}");
    EXPECT_TRUE(MmsDatasetHelper::createDatasetStructure(nullptr)->getChildren().empty());
}

// Every way a user's path can name a value: the index path into the data set's values and the
// time path of the same data object.
TEST(MmsDatasetHelper, PathsMapOntoMembersComponentsAndTimes) {
    const tDataSet sclDataSet = mixedDataSet();
    auto dataSet = MmsDatasetHelper::createDatasetStructure(&sclDataSet);
    using I = MmsDatasetHelper::IndexPath;
    struct Case {
        const char* path;
        I index;
        const char* time;
    } cases[] = {
        {"LD0/GGIO1.Ind1.stVal[ST]", {0}, "LD0/GGIO1.Ind1.t[ST]"},
        {"IED1LD0/GGIO1.Ind1.q[ST]", {1}, "LD0/GGIO1.Ind1.t[ST]"}, // IED name glued to the LD
        {"LD0/GGIO1.Ind1.t[ST]", {2}, "LD0/GGIO1.Ind1.t[ST]"},     // its own time
        {"LD0/Q0XCBR1.Pos[ST]", {3}, "LD0/Q0XCBR1.Pos.t[ST]"},     // a whole data object
        {"LD0/Q0XCBR1.Pos.stVal[ST]", {3, 0}, "LD0/Q0XCBR1.Pos.t[ST]"},
        {"IED1LD0/Q0XCBR1.Pos.q[ST]", {3, 1}, "LD0/Q0XCBR1.Pos.t[ST]"},
        {"LD0/GGIO1.AnIn1.mag.f[MX]", {4, 0}, "LD0/GGIO1.AnIn1.t[MX]"},
        {"LD0/GGIO1.AnIn1.mag[MX]", {4}, "LD0/GGIO1.AnIn1.t[MX]"},
        {"LD0/MMXU1.TotW.mag.f[MX]", {6, 0, 0}, "LD0/MMXU1.TotW.t[MX]"},
        {"LD0/GGIO1.Ind2.stVal[ST]", {7}, ""}, // the data set carries no time for it
        {"LD0/GGIO1.Ind1.stVal[MX]", {}, ""},  // another FC
        {"LD0/Q0XCBR1.Pos.stVal", {}, ""},     // no FC
        {"LD0/Q0XCBR1.Pos.ctlVal[ST]", {}, ""},
        {"LD0/Q0XCBR1.Posx.stVal[ST]", {}, ""},
        {"LD1/GGIO1.Ind1.stVal[ST]", {}, ""}, // another LD
        {"", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(MmsDatasetHelper::getPathIndexPath(*dataSet, c.path), c.index);
        EXPECT_EQ(MmsDatasetHelper::getAssociatedTimePath(*dataSet, c.path), c.time);
        const FCDAElement* record = MmsDatasetHelper::getPathAssociatedFCDARecord(*dataSet, c.path);
        EXPECT_EQ(record, MmsDatasetHelper::getElementAt(*dataSet, c.index));
        EXPECT_EQ(MmsDatasetHelper::getPathIndexInDataset(*dataSet, c.path),
                  c.index.empty() ? -1 : c.index[0]);
    }
    // The list forms: one index per path, and whether any of the paths is in the data set.
    const std::vector<MmsPath> paths = {MmsPath("IED1LD0/GGIO1.Ind1.q[ST]", nullptr),
                                        MmsPath("LD1/GGIO1.Ind1.stVal[ST]", nullptr)};
    EXPECT_EQ(MmsDatasetHelper::getDataAssociatedIndexes(*dataSet, paths), (std::vector<int32_t>{1, -1}));
    EXPECT_TRUE(MmsDatasetHelper::isExistsAnyPathInDataset(*dataSet, paths));
    EXPECT_FALSE(MmsDatasetHelper::isExistsAnyPathInDataset(*dataSet, {paths[1]}));
    EXPECT_FALSE(MmsDatasetHelper::isExistsAnyPathInDataset(*dataSet, {}));
}

// The structure of each GOOSE data set of the station file, built from the file, equals the one
// built from the simulated IED's data set directory and type descriptions.
TEST(MmsDatasetHelper, SclAndDeviceStructuresAgree) {
    xmlpp::DomParser parser;
    parser.parse_file(std::string(IECX_EXAMPLES_DIR) + "/station.scd");
    DataExtractor extractor(&parser);
    int compared = 0;
    for (const tConnectedAP& ap : extractor.getConnectedApCollection()) {
        if (ap.gse.empty())
            continue;
        iecx::test::SimIed sim(std::string(IECX_EXAMPLES_DIR) + "/station.scd", ap.iedName);
        ASSERT_TRUE(sim.ok()) << sim.error();
        IedConnection connection = iecx::test::connectTo(sim);
        ASSERT_NE(connection, nullptr);
        IedClientError error = IED_ERROR_OK;
        for (const tGSE& gse : ap.gse) {
            const tGSEControl& control = *gse.gseControl;
            SCOPED_TRACE(ap.iedName + " " + control.name);
            auto fromFile = MmsDatasetHelper::createDatasetStructure(control.dataSet.get());
            auto fromDevice = MmsDatasetHelper::createDatasetStructure(
                connection, ap.iedName + gse.ldInst + "/LLN0." + control.datSet, &error);
            ASSERT_NE(fromDevice, nullptr) << error;
            ASSERT_EQ(fromFile->getChildren().size(), fromDevice->getChildren().size());
            for (std::size_t i = 0; i < fromFile->getChildren().size(); ++i) {
                const FCDAElement& file = *fromFile->getChildren()[i];
                const FCDAElement& device = *fromDevice->getChildren()[i];
                // Leaf member types follow the file's own type table; structures must agree fully.
                if (file.getDataType() == tMmsTypeEnum::STRUCTURE ||
                    device.getDataType() == tMmsTypeEnum::STRUCTURE)
                    EXPECT_EQ(ap.iedName + describe(file), describe(device));
                else
                    EXPECT_EQ(ap.iedName + file.getFullPathWithFC(), device.getFullPathWithFC());
                ++compared;
            }
        }
        IedConnection_destroy(connection);
    }
    EXPECT_GE(compared, 10);
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
