#include "cid/GooseTemplates.h"

#include <libxml++/libxml++.h>

#include <gtest/gtest.h>

using namespace VorIec61850;

namespace {

std::vector<xmlpp::Element*> children(const xmlpp::Element* parent, const std::string& name) {
    std::vector<xmlpp::Element*> result;
    for (xmlpp::Node* node : parent->get_children(name))
        if (auto* element = dynamic_cast<xmlpp::Element*>(node))
            result.push_back(element);
    return result;
}

std::vector<std::string> attributeNames(const xmlpp::Element* element) {
    std::vector<std::string> names;
    for (const xmlpp::Attribute* attribute : element->get_attributes())
        names.push_back(attribute->get_name());
    return names;
}

struct Templates {
    xmlpp::Document document;
    xmlpp::Element* root = document.create_root_node("DataTypeTemplates");

    Templates(const std::set<LNodeTypeAttributes>& attributes, const std::set<LNodeTypeItem>& items) {
        LNodeType::setLNodeType(root, attributes, items);
        DoType::setDoType(root);
        DaType::setDaType(root);
        EnumType::setEnumType(root);
    }
};

} // namespace

TEST(GooseTemplates, FixedTablesWithEmptySets) {
    Templates t({}, {});
    const auto lNodeTypes = children(t.root, "LNodeType");
    ASSERT_EQ(lNodeTypes.size(), 6u);
    EXPECT_EQ(children(t.root, "DOType").size(), 10u);
    EXPECT_EQ(children(t.root, "DAType").size(), 5u);
    EXPECT_EQ(children(t.root, "EnumType").size(), 7u);

    const std::vector<std::pair<std::string, std::string>> expected = {{"LN0", "LLN0"},   {"PHD", "LPHD"},
                                                                       {"CTR-P", "TCTR"}, {"CTR-N", "TCTR"},
                                                                       {"VTR-P", "TVTR"}, {"VTR-N", "TVTR"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(lNodeTypes[i]->get_attribute_value("id"), expected[i].first);
        EXPECT_EQ(lNodeTypes[i]->get_attribute_value("lnClass"), expected[i].second);
        EXPECT_EQ(attributeNames(lNodeTypes[i]), (std::vector<std::string>{"id", "lnClass"}));
    }
    const auto phdDos = children(lNodeTypes[1], "DO");
    ASSERT_EQ(phdDos.size(), 3u);
    EXPECT_EQ(phdDos[1]->get_attribute_value("name"), "PhyHealth");
    EXPECT_EQ(phdDos[1]->get_attribute_value("type"), "Health_0");
    EXPECT_EQ(attributeNames(phdDos[1]), (std::vector<std::string>{"desc", "name", "type"}));
}

TEST(GooseTemplates, DynamicTypeHasNumberedDataObjectsUpTo402) {
    Templates t({{"GGIO", "GGIO"}}, {});
    const auto lNodeTypes = children(t.root, "LNodeType");
    ASSERT_EQ(lNodeTypes.size(), 7u);
    const auto dos = children(lNodeTypes[6], "DO");
    ASSERT_EQ(dos.size(), 3u + 804u);
    EXPECT_EQ(dos[0]->get_attribute_value("name"), "Mod");
    EXPECT_EQ(dos[3]->get_attribute_value("name"), "SPCSO1");
    EXPECT_EQ(dos[3]->get_attribute_value("type"), "SPCSO_1");
    EXPECT_EQ(dos[4]->get_attribute_value("name"), "DPCSO1");
    EXPECT_EQ(dos[4]->get_attribute_value("type"), "DPCSO_1");
    EXPECT_EQ(dos[805]->get_attribute_value("name"), "SPCSO402");
    EXPECT_EQ(dos[806]->get_attribute_value("name"), "DPCSO402");
    EXPECT_EQ(dos[806]->get_attribute_value("desc"), "");
}

TEST(GooseTemplates, ItemsAreWrittenBeforeNumberedObjectsAndNotMerged) {
    std::set<LNodeTypeItem> items;
    items.insert({"", "SPCSO1", "SPCSO_1"});
    items.insert({"", "SPCSO1", "SPCSO_1"}); // same entry
    items.insert({"", "Pos", "DPCSO_1"});
    EXPECT_EQ(items.size(), 2u);
    Templates t({{"GGIO", "GGIO"}, {"XPTOC", "PTOC"}}, items);
    const auto lNodeTypes = children(t.root, "LNodeType");
    ASSERT_EQ(lNodeTypes.size(), 8u);
    for (std::size_t i = 6; i < 8; ++i) {
        const auto dos = children(lNodeTypes[i], "DO");
        ASSERT_EQ(dos.size(), 3u + 2u + 804u);
        EXPECT_EQ(dos[3]->get_attribute_value("name"), "Pos");
        EXPECT_EQ(dos[4]->get_attribute_value("name"), "SPCSO1");
        EXPECT_EQ(dos[5]->get_attribute_value("name"), "SPCSO1"); // the numbered one
    }
}

TEST(GooseTemplates, DataAttributesCarryAttributesInOrderAndValues) {
    Templates t({}, {});
    const auto doTypes = children(t.root, "DOType");
    // Mod_0: ctlModel has type, dchg and a Val.
    const auto modDas = children(doTypes[1], "DA");
    ASSERT_EQ(modDas.size(), 4u);
    EXPECT_EQ(attributeNames(modDas[3]),
              (std::vector<std::string>{"desc", "name", "bType", "type", "dchg", "fc"}));
    const auto val = children(modDas[3], "Val");
    ASSERT_EQ(val.size(), 1u);
    EXPECT_EQ(val[0]->get_child_text()->get_content(), "status-only");
    // "t" has neither type nor dchg.
    EXPECT_EQ(attributeNames(modDas[2]), (std::vector<std::string>{"desc", "name", "bType", "fc"}));
    EXPECT_EQ(modDas[2]->get_attribute_value("bType"), "TimeStamp");

    const auto daTypes = children(t.root, "DAType");
    const auto units = children(daTypes[2], "BDA");
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(attributeNames(units[0]), (std::vector<std::string>{"desc", "name", "bType", "type"}));
    EXPECT_EQ(children(units[0], "Val")[0]->get_child_text()->get_content(), "A");
}

TEST(GooseTemplates, ItsiUnitEnumeration) {
    Templates t({}, {});
    const auto enumTypes = children(t.root, "EnumType");
    ASSERT_EQ(enumTypes.size(), 7u);
    const auto* itsi = enumTypes[6];
    EXPECT_EQ(itsi->get_attribute_value("id"), "ITSIUnit");
    EXPECT_EQ(itsi->get_attribute_value("desc"), "Единицы измерения системы СИ");
    const auto values = children(itsi, "EnumVal");
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0]->get_attribute_value("ord"), "1");
    EXPECT_EQ(values[0]->get_attribute_value("desc"), "Нет");
    EXPECT_TRUE(values[0]->get_children().empty()); // no text node at all
    EXPECT_EQ(values[1]->get_attribute_value("desc"), "Сила электрического тока - ампер");
    EXPECT_EQ(values[2]->get_attribute_value("ord"), "29");
    EXPECT_EQ(values[2]->get_child_text()->get_content(), "V");
    EXPECT_EQ(values[3]->get_attribute_value("ord"), "76");
    EXPECT_EQ(values[3]->get_attribute_value("desc"), "");
    EXPECT_EQ(attributeNames(values[3]), (std::vector<std::string>{"ord", "desc"}));
    // Mod and Beh share their values.
    EXPECT_EQ(children(enumTypes[1], "EnumVal")[1]->get_child_text()->get_content(), "on-blocked");
}
