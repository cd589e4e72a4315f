#include "mms/FCDAElement.h"

#include <gtest/gtest.h>
#include <libxml++/libxml++.h>

#include <memory>
#include <string>

using namespace VorIec61850;

namespace {

std::unique_ptr<FCDAElement> element(const std::string& path, tFCEnum fc = tFCEnum::NONE,
                                     tMmsTypeEnum type = tMmsTypeEnum::BOOLEAN) {
    return std::make_unique<FCDAElement>(path, fc, type, nullptr);
}

FCDAElement* add(FCDAElement& parent, std::unique_ptr<FCDAElement> child) {
    FCDAElement* raw = child.get();
    parent.addChild(std::move(child));
    return raw;
}

} // namespace

TEST(FCDAElement, FindElementFollowsSegmentsAndFC) {
    FCDAElement root;
    FCDAElement* mod = add(root, element("LD0/LLN0.Mod", tFCEnum::ST, tMmsTypeEnum::STRUCTURE));
    FCDAElement* stVal = add(*mod, element("stVal", tFCEnum::ST, tMmsTypeEnum::INTEGER));
    EXPECT_EQ(root.findElement("LD0/LLN0.Mod.stVal[ST]"), stVal);
    EXPECT_EQ(root.findElement("LD0/LLN0.Mod.stVal[MX]"), nullptr);
    EXPECT_EQ(root.findElement("LD0/LLN0.Mod[ST]"), mod);
    EXPECT_EQ(root.findElement("LD0/LLN0.Mo"), nullptr);
    EXPECT_EQ(root.findElement(""), nullptr);
    EXPECT_EQ(mod->findElement("stVal[ST]"), stVal); // relative to the element, never itself
    EXPECT_EQ(stVal->findElement("stVal[ST]"), nullptr);

    FCDAElement flat;
    FCDAElement* noFc = add(flat, element("LD0/LLN0.Mod.stVal"));
    EXPECT_EQ(flat.findElement("LD0/LLN0.Mod.stVal[ST]"), nullptr);
    EXPECT_EQ(flat.findElement("LD0/LLN0.Mod.stVal"), noFc);
}

TEST(FCDAElement, FindElementDescentIsFinal) {
    // The first child whose path is a prefix at a '.' decides, even when its subtree has no
    // match and a later sibling would.
    FCDAElement root;
    add(root, element("LD0/LLN0.Mod"));
    add(root, element("LD0/LLN0.Mod.stVal", tFCEnum::ST));
    EXPECT_EQ(root.findElement("LD0/LLN0.Mod.stVal[ST]"), nullptr);
}

TEST(FCDAElement, XmlRoundTripAndClone) {
    FCDAElement root;
    FCDAElement* mod = add(root, element("LD0/LLN0.Mod", tFCEnum::ST, tMmsTypeEnum::STRUCTURE));
    add(*mod, element("stVal", tFCEnum::ST, tMmsTypeEnum::INTEGER));
    add(*mod, element("q", tFCEnum::ST, tMmsTypeEnum::BIT_STRING));
    add(*mod, element("t", tFCEnum::ST, tMmsTypeEnum::UTC_TIME));
    add(root, element("LD0/MMXU1.TotW.mag.f", tFCEnum::MX, tMmsTypeEnum::FLOAT));
    add(root, element("err", tFCEnum::NONE, tMmsTypeEnum::DATA_ACCESS_ERROR));
    root.setIsSelected(true);
    mod->setIsSelected(true);

    const std::string text = root.serializeToString();
    EXPECT_EQ(text.find("<?xml"), std::string::npos);
    EXPECT_EQ(text.rfind("<FCDA path=\"\" dataType=\"BOOLEAN\">", 0), 0u) << text;
    EXPECT_NE(text.find("<FCDA path=\"LD0/LLN0.Mod\" fc=\"ST\" dataType=\"STRUCTURE\">"), std::string::npos);
    EXPECT_NE(text.find("<FCDA path=\"err\" dataType=\"DATA_ACCESS_ERROR\"/>"), std::string::npos);

    std::unique_ptr<FCDAElement> back = FCDAElement::deserialize(text);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->serializeToString(), text);
    EXPECT_FALSE(back->getIsSelected());
    ASSERT_EQ(back->getChildren().size(), 3u);
    const FCDAElement& backMod = *back->getChildren()[0];
    EXPECT_FALSE(backMod.getIsSelected());
    EXPECT_EQ(backMod.getParent(), back.get());
    ASSERT_EQ(backMod.getChildren().size(), 3u);
    EXPECT_EQ(backMod.getChildren()[2]->getParent(), &backMod);
    EXPECT_EQ(backMod.getChildren()[2]->getDataType(), tMmsTypeEnum::UTC_TIME);
    EXPECT_EQ(back->getChildren()[2]->getFC(), tFCEnum::NONE);
    EXPECT_EQ(back->getChildren()[2]->getDataType(), tMmsTypeEnum::DATA_ACCESS_ERROR);
    EXPECT_EQ(back->findElement("LD0/LLN0.Mod.t[ST]")->getFullPathWithFC(), "LD0/LLN0.Mod.t[ST]");
    // A clone is deep.
    auto copy = root.clone();
    EXPECT_EQ(copy->serializeToString(), text);
    EXPECT_EQ(copy->getChildren()[0]->getParent(), copy.get());
    EXPECT_NE(copy->getChildren()[0].get(), mod);
}

TEST(FCDAElement, DeserializeFallbacksAndRejections) {
    auto empty = FCDAElement::deserialize(std::string());
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->getPath(), "");
    EXPECT_EQ(empty->getFC(), tFCEnum::NONE);

    EXPECT_EQ(FCDAElement::deserialize(std::string("<root><FCDA path=\"x\"/></root>")), nullptr);
    EXPECT_EQ(FCDAElement::deserialize(static_cast<const xmlpp::Element*>(nullptr)), nullptr);

    auto unknown = FCDAElement::deserialize(std::string("<FCDA path=\"p\" fc=\"ZZ\" dataType=\"REAL\"/>"));
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->getFC(), tFCEnum::NONE);
    EXPECT_EQ(unknown->getDataType(), tMmsTypeEnum::BOOLEAN);

    // Other child elements and text are ignored; FCDA children keep their order.
    auto mixed = FCDAElement::deserialize(
        std::string("<FCDA path=\"r\">text<Other path=\"o\"/><FCDA path=\"a\" fc=\"GO\"/><!-- c --><FCDA "
                    "path=\"b\" dataType=\"UTC_TIME\"/></FCDA>"));
    ASSERT_NE(mixed, nullptr);
    ASSERT_EQ(mixed->getChildren().size(), 2u);
    EXPECT_EQ(mixed->getChildren()[0]->getFC(), tFCEnum::GO);
    EXPECT_EQ(mixed->getChildren()[1]->getDataType(), tMmsTypeEnum::UTC_TIME);
    EXPECT_THROW(FCDAElement::deserialize(std::string("<FCDA path=\"x\">")), xmlpp::exception);
    EXPECT_THROW(FCDAElement::deserialize(std::string("not xml")), xmlpp::exception);
}

TEST(FCDAElement, FCCodeOutsideTheTableActsAsNone) {
    FCDAElement e("x", static_cast<tFCEnum>(42), tMmsTypeEnum::BOOLEAN, nullptr);
    EXPECT_EQ(e.getFullPathWithFC(), "x");
    EXPECT_EQ(e.serializeToString().find("fc="), std::string::npos);
}
