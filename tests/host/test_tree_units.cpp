#include "host/Language.h"
#include "host/tree/Tree.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace VorTree;

namespace {
enum class Colour : int { Red = 3, Green = 5 };
}

TEST(TreeUnits, StringUnitSignalsEachChange) {
    StringUnit unit("MAC", "MAC", LocalString::Empty(), "init");
    EXPECT_EQ(unit.getId(), "MAC");
    EXPECT_EQ(unit.getValue(), "init");
    int changes = 0;
    unit.signalValueChanged.connect([&] { ++changes; });
    unit.setData("01-0C-CD-01-00-01");
    EXPECT_EQ(unit.getValue(), "01-0C-CD-01-00-01");
    EXPECT_EQ(unit.getText(), "01-0C-CD-01-00-01");
    EXPECT_EQ(changes, 1);
    unit.setData("01-0C-CD-01-00-01"); // same value: no change
    EXPECT_EQ(changes, 1);
    unit.setData("");
    EXPECT_EQ(changes, 2);
    // The generic accessor reaches the same signal.
    unit.getSignalValueChanged().emit();
    EXPECT_EQ(changes, 3);
}

TEST(TreeUnits, ContainerHoldsUnitsAndNodesInOrder) {
    UnitableContainer c("IEC61850");
    c._unlockCollection();
    auto* a = new StringUnit("A", "A", "", "1");
    c.add(a);
    c.add(new Node("plain"));
    auto* b = new StringUnit("B", "B", "", "2");
    c.add(b);
    c._lockContainer();
    auto units = c.getUnits();
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0], a);
    EXPECT_EQ(units[1], b);
    EXPECT_EQ(c.getUnitById("B"), b);
    EXPECT_EQ(c.getUnitById("plain"), nullptr);
    EXPECT_EQ(c.getContentById("plain")->getIndex(), 1);
    Node late("late");
    EXPECT_THROW(c.add(&late), std::logic_error);
}

TEST(TreeUnits, EnumClassUnitChoosesByIntValue) {
    auto limiter = std::make_shared<EnumLimiter>();
    limiter->addItem("Красный", "Красный", 3);
    limiter->addItem("Зелёный", "Зелёный", 5);
    limiter->addItem("Ещё зелёный", "Ещё зелёный", 5);
    EnumClassUnit<Colour> unit("Colour", "Colour", LocalString::Empty(), limiter);
    EXPECT_EQ(unit.getLimiter(), limiter);
    EXPECT_EQ(unit.getValue(), "");
    EXPECT_EQ(static_cast<int>(unit.getEnumValue()), 0); // nothing selected

    int changes = 0;
    unit.signalValueChanged.connect([&] { ++changes; });
    unit.setEnumData(Colour::Green);
    EXPECT_EQ(unit.getValue(), "Зелёный"); // the first item carrying the value
    EXPECT_EQ(unit.getEnumValue(), Colour::Green);
    EXPECT_EQ(unit.getText(), "Зелёный");
    EXPECT_EQ(changes, 1);

    unit.setData("Красный"); // as the user would
    EXPECT_EQ(unit.getEnumValue(), Colour::Red);
    EXPECT_EQ(changes, 2);

    unit.setEnumData(static_cast<Colour>(42));
    EXPECT_EQ(unit.getValue(), "");
    EXPECT_EQ(static_cast<int>(unit.getEnumValue()), 0);
    EXPECT_EQ(changes, 3);

    unit.setData("unknown id");
    EXPECT_EQ(static_cast<int>(unit.getEnumValue()), 0);
    EXPECT_EQ(unit.getSelectedItem(), nullptr);
}

TEST(TreeUnits, LimiterIsSharedAndClearedItemsAreGone) {
    auto limiter = std::make_shared<EnumLimiter>();
    EnumClassUnit<Colour> first("a", "a", "", limiter);
    EnumClassUnit<Colour> second("b", "b", "", limiter);
    limiter->add(new EnumItem("r", "red", 3));
    second.setEnumData(Colour::Red);
    EXPECT_EQ(second.getEnumValue(), Colour::Red);
    first.setEnumData(Colour::Red);
    EXPECT_EQ(first.getValue(), "r");

    auto* item = dynamic_cast<EnumItem*>(limiter->getContentById("r"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->getKey(), "r");
    EXPECT_EQ(item->getLabel().toString(), "red");
    EXPECT_EQ(item->getIntValue(), 3);

    limiter->clear();
    EXPECT_TRUE(limiter->empty());
    EXPECT_EQ(first.getValue(), "r"); // the value stays, it just selects nothing now
    EXPECT_EQ(static_cast<int>(first.getEnumValue()), 0);

    // A limiter holds items only.
    Node stranger("x");
    EXPECT_THROW(limiter->add(&stranger), std::logic_error);

    // Without a limiter nothing can be chosen.
    EnumClassUnit<Colour> bare("c", "c", "", nullptr);
    bare.setEnumData(Colour::Red);
    EXPECT_EQ(bare.getValue(), "");
    EXPECT_EQ(static_cast<int>(bare.getEnumValue()), 0);
}
