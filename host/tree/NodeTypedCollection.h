#pragma once
#include "host/tree/Node.h"

#include <cstddef>
#include <iterator>

namespace Vor {

template <typename T, typename B> class NotifyCollectionWrapper;

// A typed view over a collection of B* whose items are all T*: every operation forwards to the
// underlying collection, items come back cast to T*.
template <typename T, typename B> class NotifyCollectionWrapper<T*, B> {
public:
    using Underlying = NotifyCollection<B*>;

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = T* const*;
        using reference = T*;

        explicit const_iterator(typename Underlying::const_iterator it) : _it(it) {}
        T* operator*() const { return static_cast<T*>(*_it); }
        const_iterator& operator++() {
            ++_it;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++_it;
            return old;
        }
        bool operator==(const const_iterator& other) const { return _it == other._it; }
        bool operator!=(const const_iterator& other) const { return _it != other._it; }

    private:
        typename Underlying::const_iterator _it;
    };
    using iterator = const_iterator;

    explicit NotifyCollectionWrapper(Underlying& collection) : _collection(&collection) {}

    std::size_t size() const { return _collection->size(); }
    bool empty() const { return _collection->empty(); }
    T* at(std::size_t index) const { return static_cast<T*>(_collection->at(index)); }
    T* front() const { return static_cast<T*>(_collection->front()); }
    T* back() const { return static_cast<T*>(_collection->back()); }
    const_iterator begin() const { return const_iterator(_collection->begin()); }
    const_iterator end() const { return const_iterator(_collection->end()); }
    int getIndexOf(T* item) const { return _collection->getIndexOf(item); }
    void add(T* item) { _collection->add(item); }
    void insert(std::size_t index, T* item) { _collection->insert(index, item); }
    bool remove(T* item) { return _collection->remove(item); }
    bool move(std::size_t from, std::size_t to) { return _collection->move(from, to); }
    void clear() { _collection->clear(); }
    bool getIsReadOnlyCollection() const { return _collection->getIsReadOnlyCollection(); }

private:
    Underlying* _collection;
};

} // namespace Vor

namespace VorTree {

// A node whose children are all of type T (T derives from B, B from Node); getItems() is the
// typed view of its child collection. Adding a child of another type is refused.
template <typename T, typename B = Node> class NodeBasedTypedCollection : public B {
public:
    using B::B;
    NodeBasedTypedCollection() = default;

    bool canContains(const Node* node) const override { return dynamic_cast<const T*>(node) != nullptr; }

    Vor::NotifyCollectionWrapper<T*, Node> getItems() {
        return Vor::NotifyCollectionWrapper<T*, Node>(*this);
    }

    T* getItemById(const std::string& id) const { return dynamic_cast<T*>(this->getById(id)); }
};

template <typename T> class NodeTypedCollection : public NodeBasedTypedCollection<T, Node> {
public:
    using NodeBasedTypedCollection<T, Node>::NodeBasedTypedCollection;
    NodeTypedCollection() = default;
};

} // namespace VorTree
