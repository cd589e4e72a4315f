#include "host/Language.h"
#include "host/tree/Tree.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using VorTree::Node;

namespace {

// Counts live instances so that tests can see when the tree destroys a node.
struct Counted : Node {
    static int alive;
    explicit Counted(const std::string& id) : Node(id, id, "") { ++alive; }
    ~Counted() override { --alive; }
};
int Counted::alive = 0;

// A node that records every hook of its child collection and every emitted change.
class Recorder : public Node {
public:
    Recorder() : Node("rec") {
        signalCollectionChanged.connect([this](ChangedArgs& a) {
            log.push_back("signal " + std::to_string(a.action) + " " + a.item->getId() + " " +
                          std::to_string(a.index) + " " + std::to_string(a.oldIndex));
        });
    }
    std::vector<std::string> log;
    std::string addingError;
    std::string removingError;

protected:
    std::string _getAddingItemError(Node* const& item, std::size_t index) override {
        log.push_back("addingError " + item->getId() + " " + std::to_string(index));
        if (!addingError.empty()) {
            return addingError;
        }
        return Node::_getAddingItemError(item, index);
    }
    void _onAdding(Node* const& item, std::size_t index) override {
        log.push_back("adding " + item->getId() + " " + std::to_string(index));
    }
    void _onAdded(Node* const& item, std::size_t index) override {
        Node::_onAdded(item, index);
        log.push_back("added " + item->getId() + " " + std::to_string(index) + " parent " +
                      (item->getParent() == this ? "set" : "unset"));
    }
    std::string _getRemovingItemError(Node* const& item, std::size_t index) override {
        log.push_back("removingError " + item->getId() + " " + std::to_string(index));
        return removingError;
    }
    void _onRemoving(Node* const& item, std::size_t index) override {
        log.push_back("removing " + item->getId() + " " + std::to_string(index));
    }
    void _onRemoved(Node* const& item, std::size_t index) override {
        Node::_onRemoved(item, index);
        log.push_back("removed " + item->getId() + " " + std::to_string(index));
    }
    void _onPostRemoved(Node* const& item, std::size_t index) override {
        log.push_back("postRemoved " + item->getId() + " " + std::to_string(index));
        Node::_onPostRemoved(item, index);
    }
    void _onReset() override { log.push_back("reset"); }
    void _onPostReset() override { log.push_back("postReset"); }
    void _onContentCollectionChanged(ChangedArgs& a) override {
        log.push_back("content " + std::to_string(a.action) + " " + a.item->getId());
    }
};

class TreeCollection : public ::testing::Test {
protected:
    void SetUp() override {
        lng::setLanguage(0);
        Counted::alive = 0;
    }
    void TearDown() override {
        lng::setLanguage(0);
        EXPECT_EQ(Counted::alive, 0);
    }
};

} // namespace

TEST_F(TreeCollection, AddRunsHooksInOrderThenNotifies) {
    Recorder r;
    r.add(new Counted("a"));
    std::vector<std::string> expected = {"addingError a 0", "adding a 0", "added a 0 parent set",
                                         "content 0 a", "signal 0 a 0 0"};
    EXPECT_EQ(r.log, expected);
    r.log.clear();
    r.insert(0, new Counted("b"));
    EXPECT_EQ(r.log.back(), "signal 0 b 0 0");
    EXPECT_EQ(r.at(0)->getId(), "b");
    EXPECT_EQ(r.at(1)->getIndex(), 1);
}

TEST_F(TreeCollection, LockedCollectionRefusesUntilUnlocked) {
    Recorder r;
    r.add(new Counted("a"));
    r._lockCollection();
    r.log.clear();
    auto item = std::make_unique<Counted>("b");
    try {
        r.add(item.get());
        FAIL() << "locked add succeeded";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "The collection is read-only");
        EXPECT_STREQ(e.what(), lng::Tree::get("error.ReadOnly"));
    }
    EXPECT_TRUE(r.log.empty()); // no hook, no signal
    EXPECT_EQ(r.size(), 1u);
    EXPECT_EQ(item->getParent(), nullptr);
    EXPECT_THROW(r.remove(r.at(0)), std::logic_error);
    EXPECT_THROW(r.clear(), std::logic_error);
    EXPECT_TRUE(r.log.empty());

    lng::setLanguage(1);
    try {
        r.add(item.get());
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Коллекция доступна только для чтения");
    }

    r._unlockCollection();
    r.add(item.release());
    EXPECT_EQ(r.log.back(), "signal 0 b 1 0"); // index equals the former size
    EXPECT_EQ(r.size(), 2u);
}

TEST_F(TreeCollection, LockContainerLocksTheChildren) {
    Node n("n");
    EXPECT_FALSE(n.getIsReadOnlyCollection());
    n._lockContainer();
    EXPECT_TRUE(n.getIsReadOnlyCollection());
    EXPECT_TRUE(n.getIsContainerLocked());
    Counted c("c");
    EXPECT_THROW(n.add(&c), std::logic_error);
    n._unlockCollection();
    n.keepItems = true;
    n.add(&c);
    EXPECT_TRUE(n.remove(&c)); // kept: `c` lives on the stack
    EXPECT_EQ(c.getParent(), nullptr);
}

TEST_F(TreeCollection, AddingErrorTextRefusesBeforeAnyOtherHook) {
    Recorder r;
    r.addingError = "no more";
    auto item = std::make_unique<Counted>("a");
    try {
        r.add(item.get());
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "no more");
    }
    EXPECT_EQ(r.log, std::vector<std::string>{"addingError a 0"});
    EXPECT_TRUE(r.empty());
}

TEST_F(TreeCollection, RemoveNotifiesThenDestroys) {
    Recorder r;
    r.add(new Counted("a"));
    r.add(new Counted("b"));
    Node* b = r.at(1);
    r.log.clear();
    EXPECT_TRUE(r.remove(b));
    std::vector<std::string> expected = {"removingError b 1", "removing b 1",   "removed b 1",
                                         "content 1 b",       "signal 1 b 1 0", "postRemoved b 1"};
    EXPECT_EQ(r.log, expected);
    EXPECT_EQ(Counted::alive, 1);
    Counted stranger("x");
    EXPECT_FALSE(r.remove(&stranger));
}

TEST_F(TreeCollection, RefusedRemoveKeepsTheItem) {
    Recorder r;
    r.add(new Counted("a"));
    r.removingError = "pinned";
    r.log.clear();
    EXPECT_THROW(r.remove(r.at(0)), std::logic_error);
    EXPECT_EQ(r.log, std::vector<std::string>{"removingError a 0"});
    EXPECT_EQ(r.size(), 1u);
    r.removingError.clear();
}

TEST_F(TreeCollection, ClearRemovesFromLastToFirst) {
    Recorder r;
    for (const char* id : {"a", "b", "c"}) {
        r.add(new Counted(id));
    }
    r.log.clear();
    r.clear();
    std::vector<std::string> signals;
    for (const auto& line : r.log) {
        if (line.rfind("signal", 0) == 0) {
            signals.push_back(line);
        }
    }
    EXPECT_EQ(signals, (std::vector<std::string>{"signal 1 c 2 0", "signal 1 b 1 0", "signal 1 a 0 0"}));
    EXPECT_EQ(r.log.front(), "reset");
    EXPECT_EQ(r.log.back(), "postReset");
    EXPECT_EQ(Counted::alive, 0);
}

TEST_F(TreeCollection, KeepItemsLeavesRemovedItemsAlive) {
    Node n("n");
    n.keepItems = true;
    auto* a = new Counted("a");
    n.add(a);
    n.clear();
    EXPECT_EQ(Counted::alive, 1);
    EXPECT_EQ(a->getParent(), nullptr);
    delete a;
}

TEST_F(TreeCollection, MoveRules) {
    Recorder r;
    r.add(new Counted("a"));
    r.log.clear();
    EXPECT_FALSE(r.move(0, 1)); // the last item to the end
    EXPECT_FALSE(r.move(1, 0)); // from not below the size
    EXPECT_FALSE(r.move(0, 2)); // to above the size
    EXPECT_TRUE(r.log.empty());

    r.add(new Counted("b"));
    r.add(new Counted("c"));
    r.log.clear();
    EXPECT_TRUE(r.move(0, 3));
    EXPECT_EQ(r.at(0)->getId(), "b");
    EXPECT_EQ(r.at(2)->getId(), "a");
    EXPECT_EQ(r.log, (std::vector<std::string>{"content 2 a", "signal 2 a 2 0"}));
    EXPECT_TRUE(r.move(2, 0));
    EXPECT_EQ(r.at(0)->getId(), "a");
    EXPECT_EQ(r.at(0)->getIndex(), 0);
}

TEST_F(TreeCollection, NodeLookupAndParenthood) {
    Node root("root");
    auto* a = new Counted("a");
    auto* b = new Counted("b");
    root.add(a);
    root.add(b);
    a->add(new Counted("a1"));
    EXPECT_EQ(root.getById("b"), b);
    EXPECT_EQ(root.getContentById("a"), a);
    EXPECT_EQ(root.getById("a1"), nullptr); // direct children only
    EXPECT_EQ(a->getById("a1")->getParent(), a);
    EXPECT_EQ(b->getIndex(), 1);
    EXPECT_EQ(root.getIndex(), -1);
    EXPECT_EQ(root.getIndexOf(b), 1);
    EXPECT_EQ(root.front(), a);
    EXPECT_EQ(root.back(), b);

    // A node belongs to one parent; a node cannot hold its own ancestor; null is refused.
    EXPECT_THROW(a->add(b), std::logic_error);
    Node other("other");
    EXPECT_THROW(other.add(a), std::logic_error);
    EXPECT_THROW(a->at(0)->add(&root), std::logic_error);
    EXPECT_THROW(root.add(nullptr), std::logic_error);
    EXPECT_THROW(root.insert(5, &other), std::logic_error);
    EXPECT_EQ(Counted::alive, 3);
}

TEST_F(TreeCollection, NodeDeletedByHandLeavesItsParent) {
    Node root("root");
    auto* a = new Counted("a");
    root.add(a);
    root.add(new Counted("b"));
    delete a; // the parent must not destroy it a second time
    EXPECT_EQ(root.size(), 1u);
    EXPECT_EQ(root.at(0)->getId(), "b");
}

TEST_F(TreeCollection, CopyTakesTextsOnly) {
    Node root("root", "Root", "the root");
    root.add(new Counted("a"));
    Node copy(root);
    EXPECT_EQ(copy.getId(), "root");
    EXPECT_EQ(copy.getName().toString(), "Root");
    EXPECT_EQ(copy.getDescription().toString(), "the root");
    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(copy.getParent(), nullptr);
}

namespace {
struct Apple : Node {
    using Node::Node;
};
struct Pear : Node {
    using Node::Node;
};
} // namespace

TEST_F(TreeCollection, TypedCollectionAcceptsOnlyItsType) {
    VorTree::NodeTypedCollection<Apple> basket("Node", VorTree::LocalString::Empty(),
                                               VorTree::LocalString::Empty());
    auto items = basket.getItems();
    auto* apple = new Apple("apple");
    EXPECT_TRUE(basket.canContains(apple));
    items.add(apple);
    Pear pear("pear");
    EXPECT_FALSE(basket.canContains(&pear));
    try {
        basket.add(&pear); // through the untyped collection
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), lng::Tree::get("error.WrongType"));
    }
    items.insert(0, new Apple("first"));
    std::vector<std::string> ids;
    for (Apple* a : items) {
        ids.push_back(a->getId());
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"first", "apple"}));
    EXPECT_EQ(items.at(1), apple);
    EXPECT_EQ(items.getIndexOf(apple), 1);
    EXPECT_EQ(basket.getItemById("first"), items.front());
    EXPECT_FALSE(items.getIsReadOnlyCollection());
    basket._lockCollection();
    EXPECT_TRUE(items.getIsReadOnlyCollection());
    basket._unlockCollection();
    EXPECT_TRUE(items.remove(apple));
    EXPECT_EQ(items.size(), 1u);
}
