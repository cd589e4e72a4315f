#include "models/TreeModel.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace VorIec61850;
using Pairs = std::vector<std::pair<std::string, std::string>>;

namespace {

CheckNodeDescriptorModel* child(VorTree::Node* parent, const std::string& id) {
    return dynamic_cast<CheckNodeDescriptorModel*>(parent->getById(id));
}

// Counts signalIsEvaluatedChanged per node id over a whole subtree.
struct SignalCounter {
    std::map<std::string, int> counts;
    void watch(CheckNodeDescriptorModel* node) {
        node->signalIsEvaluatedChanged.connect([this](CheckNodeDescriptorModel* n) { ++counts[n->getId()]; });
        for (VorTree::Node* c : *node) {
            if (auto* check = dynamic_cast<CheckNodeDescriptorModel*>(c)) {
                watch(check);
            }
        }
    }
};

} // namespace

// Paths of every length become checked leaves whose ids have no dots; the checked elements give
// the path back as "LD/LN.DO.DA" with its unit.
TEST(TreeModel, PathsBecomeCheckedLeaves) {
    TreeModel empty;
    CheckNodeDescriptorModel* root = empty.getNode();
    EXPECT_FALSE(root->getIsEvaluated().has_value()); // no children: undetermined
    EXPECT_EQ(root->getCachedState(), Vor::Nullable<bool>(false));
    EXPECT_TRUE(empty.getCheckedElements().empty());

    const struct {
        std::vector<std::string> path;
        std::string unit;
        Pairs checked;
    } cases[] = {
        {{}, "x", {}},
        {{"single"}, "u", {{"single", "u"}}},
        {{"IED1LD0", "GGIO1.Ind1.stVal[ST]"}, "", {{"IED1LD0/GGIO1.Ind1.stVal[ST]", ""}}},
        {{"LD0", "LLN0", "Mod", "stVal"}, "", {{"LD0/LLN0.Mod.stVal", ""}}},
        {{"LD0", "MMXU1", "PhV.phsA", "cVal.mag.f"}, "V", {{"LD0/MMXU1.PhV.phsA.cVal.mag.f", "V"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        TreeModel model;
        model.addNode(c.path, c.unit);
        EXPECT_EQ(model.getCheckedElements(), c.checked);
        EXPECT_EQ(model.getNode()->getIsEvaluated(),
                  c.checked.empty() ? Vor::Nullable<bool>() : Vor::Nullable<bool>(true));
    }
    TreeModel model;
    model.addNode({"LD0", "MMXU1", "PhV.phsA", "cVal.mag.f"}, "V");
    auto* doNode = child(child(child(model.getNode(), "LD0"), "MMXU1"), "PhV_phsA");
    ASSERT_NE(doNode, nullptr);
    EXPECT_EQ(doNode->getName().toString(), "PhV.phsA");
    auto* leaf = dynamic_cast<CheckLastNode*>(doNode->getById("cVal_mag_f"));
    ASSERT_NE(leaf, nullptr);
    EXPECT_TRUE(leaf->isEvaluatedObject);
    EXPECT_EQ(leaf->getUnit(), "V");
}

TEST(TreeModel, SameBranchTwiceReusesNodesAndKeepsTheLeafAsItIs) {
    TreeModel model;
    model.addNode({"LD0", "LLN0", "Mod", "stVal"}, "first");
    model.addNode({"LD0", "LLN0", "Mod", "stVal"}, "second");
    auto* mod = child(child(child(model.getNode(), "LD0"), "LLN0"), "Mod");
    ASSERT_EQ(mod->size(), 1u);
    EXPECT_EQ(model.getNode()->size(), 1u);
    auto* leaf = child(mod, "stVal");
    EXPECT_EQ(leaf->getUnit(), "first");

    leaf->setIsEvaluated(false);
    model.addNode({"LD0", "LLN0", "Mod", "stVal"}, "third");
    EXPECT_EQ(leaf->getIsEvaluated(), Vor::Nullable<bool>(false));
    EXPECT_TRUE(model.getCheckedElements().empty());

    // A sibling under an existing branch joins it.
    model.addNode({"LD0", "LLN0", "Mod", "q"}, "");
    EXPECT_EQ(mod->size(), 2u);
    EXPECT_EQ(model.getCheckedElements(), (Pairs{{"LD0/LLN0.Mod.q", ""}}));

    // Below an explicit parent.
    auto* ld = child(model.getNode(), "LD0");
    model.addNode({"LN2", "x"}, "u", ld);
    EXPECT_EQ(model.getCheckedElements(), (Pairs{{"LD0/LLN0.Mod.q", ""}, {"LD0/LN2.x", "u"}}));

    // A refused insertion is a logic error; reusing an existing branch needs none.
    ld->_lockCollection();
    EXPECT_THROW(model.addNode({"LD0", "b"}, ""), std::logic_error);
    EXPECT_EQ(ld->size(), 2u);
    model.addNode({"LD0", "LLN0", "Mod", "q"}, "");
}

TEST(TreeModel, UncheckingAnInnerNodeSignalsOncePerChangedNode) {
    TreeModel model;
    model.addNode({"LD0", "LN1", "DO1", "a"}, "");
    model.addNode({"LD0", "LN1", "DO1", "b"}, "");
    model.addNode({"LD0", "LN2", "c"}, "");
    SignalCounter counter;
    counter.watch(model.getNode());

    auto* ld = child(model.getNode(), "LD0");
    auto* do1 = child(child(ld, "LN1"), "DO1");
    do1->setIsEvaluated(false);
    std::map<std::string, int> expected = {{"DO1", 1}, {"a", 1},   {"b", 1},
                                           {"LN1", 1}, {"LD0", 1}, {"root", 1}};
    EXPECT_EQ(counter.counts, expected);
    EXPECT_EQ(child(child(ld, "LN1"), "DO1")->getCachedState(), Vor::Nullable<bool>(false));
    EXPECT_FALSE(ld->getCachedState().has_value());
    EXPECT_FALSE(model.getNode()->getCachedState().has_value());
    EXPECT_EQ(model.getCheckedElements(), (Pairs{{"LD0/LN2.c", ""}})); // the unchecked subtree is left out

    // Checking the whole tree again changes every node that was not checked.
    counter.counts.clear();
    model.getNode()->setIsEvaluated(true);
    EXPECT_EQ(counter.counts, expected);
    // Setting the same state again changes nothing and signals nothing.
    counter.counts.clear();
    model.getNode()->setIsEvaluated(true);
    EXPECT_TRUE(counter.counts.empty());
}

// The new inner node makes the root mixed, its unchecked leaf false, the check true; the leaf's
// created signal comes before the check, with the leaf attached.
TEST(TreeModel, FirstBranchSignalsOnTheRootAndCreatedBeforeTheCheck) {
    TreeModel model;
    int rootSignals = 0;
    model.getNode()->signalIsEvaluatedChanged.connect([&](CheckNodeDescriptorModel* n) {
        EXPECT_EQ(n, model.getNode());
        ++rootSignals;
    });
    model.addNode({"A", "b"}, "");
    EXPECT_EQ(rootSignals, 3);
    EXPECT_EQ(model.getNode()->getCachedState(), Vor::Nullable<bool>(true));

    TreeModel flat;
    std::vector<std::string> seen;
    flat.getNode()->signalCollectionChanged.connect([&](VorTree::Node::ChangedArgs& args) {
        auto* leaf = dynamic_cast<CheckLastNode*>(args.item);
        ASSERT_NE(leaf, nullptr);
        leaf->signalCreated.connect([&seen, leaf] {
            seen.push_back(leaf->getId() + (leaf->isEvaluatedObject ? " checked" : " unchecked") +
                           (leaf->getParent() ? " attached" : " detached"));
        });
    });
    flat.addNode({"leaf"}, "");
    EXPECT_EQ(seen, std::vector<std::string>{"leaf unchecked attached"});
}

TEST(TreeModel, InnerNodeWithoutChildrenIsEmptyAndYieldsNothing) {
    TreeModel model;
    auto* inner = new CheckNodeDescriptorModel("x", "x", VorTree::LocalString::Empty());
    int signals = 0;
    inner->signalIsEvaluatedChanged.connect([&](CheckNodeDescriptorModel*) { ++signals; });
    model.getNode()->add(inner);
    EXPECT_EQ(signals, 1); // cached false -> empty on joining
    EXPECT_FALSE(inner->getIsEvaluated().has_value());
    EXPECT_TRUE(inner->getIsEvaluatedEnabled());
    EXPECT_TRUE(model.getNode()->getIsEvaluatedEnabled());
    EXPECT_TRUE(model.getCheckedElements().empty());
    // A plain node among the children is not considered.
    inner->add(new VorTree::Node("plain"));
    EXPECT_FALSE(inner->getIsEvaluated().has_value());
    model.addNode({"x", "leaf"}, "");
    EXPECT_EQ(inner->getIsEvaluated(), Vor::Nullable<bool>(true));
    EXPECT_EQ(model.getCheckedElements(), (Pairs{{"x/leaf", ""}}));
}

namespace {

// The state of a node computed from the leaf marks alone, without any remembered value.
Vor::Nullable<bool> bruteState(const VorTree::Node* node) {
    if (auto* leaf = dynamic_cast<const CheckLastNode*>(node)) {
        return leaf->isEvaluatedObject;
    }
    Vor::Nullable<bool> result;
    bool any = false;
    for (VorTree::Node* c : *node) {
        if (!dynamic_cast<CheckNodeDescriptorModel*>(c)) {
            continue;
        }
        Vor::Nullable<bool> s = bruteState(c);
        if (!s.has_value() || (any && *s != *result)) {
            return Vor::Nullable<bool>();
        }
        result = s;
        any = true;
    }
    return result;
}

void collect(CheckNodeDescriptorModel* node, std::vector<CheckNodeDescriptorModel*>& out) {
    out.push_back(node);
    for (VorTree::Node* c : *node) {
        if (auto* check = dynamic_cast<CheckNodeDescriptorModel*>(c)) {
            collect(check, out);
        }
    }
}

} // namespace

// Random edits of a tree: after each one every node's state and its cached state agree with
// the state computed from the leaf marks.
TEST(TreeModel, StatesStayConsistentUnderRandomEdits) {
    TreeModel model;
    unsigned seed = 12345;
    auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int step = 0; step < 600; ++step) {
        std::vector<CheckNodeDescriptorModel*> nodes;
        collect(model.getNode(), nodes);
        switch (next(10)) {
        case 0:
        case 1:
        case 2:
        case 3: {
            std::vector<std::string> names = {"LD" + std::to_string(next(3)), "LN" + std::to_string(next(3))};
            for (unsigned i = next(3); i > 0; --i) {
                names.push_back("D" + std::to_string(next(3)));
            }
            try {
                model.addNode(names, "u");
            } catch (const std::logic_error&) {
                // An existing leaf cannot take children: ignored.
            }
            break;
        }
        case 4:
        case 5:
        case 6:
        case 7:
            nodes[next(static_cast<unsigned>(nodes.size()))]->setIsEvaluated(next(2) == 0);
            break;
        case 8: {
            CheckNodeDescriptorModel* victim = nodes[next(static_cast<unsigned>(nodes.size()))];
            if (victim->getParent()) {
                victim->getParent()->remove(victim);
            }
            break;
        }
        default:
            if (next(8) == 0) {
                model.clearNodes();
            }
        }
        nodes.clear();
        collect(model.getNode(), nodes);
        for (CheckNodeDescriptorModel* n : nodes) {
            ASSERT_EQ(n->getIsEvaluated(), bruteState(n)) << "step " << step << " node " << n->getId();
            ASSERT_EQ(n->getCachedState(), bruteState(n)) << "step " << step << " node " << n->getId();
        }
    }
}
