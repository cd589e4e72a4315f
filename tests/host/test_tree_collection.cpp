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

// Each change runs its hooks in order and then notifies; an error text from a hook refuses the
// change before any other hook runs, and a refused change leaves the collection as it was.
TEST_F(TreeCollection, HooksRunInOrderAndErrorsRefuseBeforeAnyChange) {
    Recorder r;
    r.add(new Counted("a"));
    EXPECT_EQ(r.log, (std::vector<std::string>{"addingError a 0", "adding a 0", "added a 0 parent set",
                                               "content 0 a", "signal 0 a 0 0"}));
    r.insert(0, new Counted("b"));
    EXPECT_EQ(r.log.back(), "signal 0 b 0 0");
    EXPECT_EQ(r.at(0)->getId(), "b");
    EXPECT_EQ(r.at(1)->getIndex(), 1);

    r.log.clear();
    r.addingError = "no more";
    auto refused = std::make_unique<Counted>("c");
    try {
        r.add(refused.get());
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "no more");
    }
    EXPECT_EQ(r.log, std::vector<std::string>{"addingError c 2"});
    r.addingError.clear();

    r.log.clear();
    r.removingError = "pinned";
    EXPECT_THROW(r.remove(r.at(0)), std::logic_error);
    EXPECT_EQ(r.log, std::vector<std::string>{"removingError b 0"});
    EXPECT_EQ(r.size(), 2u);
    r.removingError.clear();

    r.log.clear();
    EXPECT_TRUE(r.remove(r.at(1)));
    EXPECT_EQ(r.log, (std::vector<std::string>{"removingError a 1", "removing a 1", "removed a 1",
                                               "content 1 a", "signal 1 a 1 0", "postRemoved a 1"}));
    EXPECT_EQ(Counted::alive, 2); // b and the refused c
    Counted stranger("x");
    EXPECT_FALSE(r.remove(&stranger));

    // Clear removes from the last to the first, between reset and postReset.
    r.add(refused.release());
    r.log.clear();
    r.clear();
    std::vector<std::string> signals;
    for (const auto& line : r.log)
        if (line.rfind("signal", 0) == 0)
            signals.push_back(line);
    EXPECT_EQ(signals, (std::vector<std::string>{"signal 1 c 1 0", "signal 1 b 0 0"}));
    EXPECT_EQ(r.log.front(), "reset");
    EXPECT_EQ(r.log.back(), "postReset");
}

// A locked collection refuses every change with the framework's text, in both languages, without
// a hook or a signal; locking the container locks the children; kept items outlive removal.
TEST_F(TreeCollection, LockedCollectionRefusesUntilUnlocked) {
    Recorder r;
    r.add(new Counted("a"));
    EXPECT_FALSE(r.getIsReadOnlyCollection());
    r._lockContainer();
    EXPECT_TRUE(r.getIsReadOnlyCollection());
    EXPECT_TRUE(r.getIsContainerLocked());
    r.log.clear();
    auto item = std::make_unique<Counted>("b");
    for (int language : {0, 1}) {
        lng::setLanguage(language);
        try {
            r.add(item.get());
            FAIL() << "locked add succeeded";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(),
                         language ? "Коллекция доступна только для чтения" : "The collection is read-only");
        }
    }
    EXPECT_THROW(r.remove(r.at(0)), std::logic_error);
    EXPECT_THROW(r.clear(), std::logic_error);
    EXPECT_TRUE(r.log.empty()); // no hook, no signal
    EXPECT_EQ(r.size(), 1u);
    EXPECT_EQ(item->getParent(), nullptr);

    r._unlockCollection();
    r.add(item.release());
    EXPECT_EQ(r.log.back(), "signal 0 b 1 0"); // index equals the former size

    Node n("n");
    n.keepItems = true;
    Counted kept("c");
    auto* a = new Counted("a");
    n.add(&kept);
    n.add(a);
    EXPECT_TRUE(n.remove(&kept));
    EXPECT_EQ(kept.getParent(), nullptr);
    n.clear();
    EXPECT_EQ(a->getParent(), nullptr);
    delete a;

    // Unknown keys come back as they stand, case counts, and the text outlives a temporary key.
    EXPECT_STREQ(lng::Tree::get(std::string("error.readonly, a key too long for SSO")),
                 "error.readonly, a key too long for SSO");
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

    // A node belongs to one parent; a node cannot hold its own ancestor; null is refused.
    EXPECT_THROW(a->add(b), std::logic_error);
    Node other("other");
    EXPECT_THROW(other.add(a), std::logic_error);
    EXPECT_THROW(a->at(0)->add(&root), std::logic_error);
    EXPECT_THROW(root.add(nullptr), std::logic_error);
    EXPECT_THROW(root.insert(5, &other), std::logic_error);
    EXPECT_EQ(Counted::alive, 3);

    // A node deleted by hand leaves its parent, which must not destroy it a second time.
    delete b;
    EXPECT_EQ(root.size(), 1u);
    EXPECT_EQ(root.at(0), a);

    // A copy takes the texts only.
    Node named("named", "Named", "the node");
    named.add(new Counted("c"));
    Node copy(named);
    EXPECT_EQ(copy.getId(), "named");
    EXPECT_EQ(copy.getName().toString(), "Named");
    EXPECT_EQ(copy.getDescription().toString(), "the node");
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
