#pragma once
#include "host/tree/TreeLanguage.h"

#include <sigc++/sigc++.h>

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace Vor {

// Kind of a change of a notifying collection.
enum NotifyCollectionChangedAction { Add = 0, Remove = 1, Move = 2 };

// One change of a notifying collection: what happened, to which item, at which position.
// oldIndex is the former position for a move, else 0.
template <typename T> struct NotifyCollectionChangedSignalArgs {
    NotifyCollectionChangedAction action;
    T item;
    std::size_t index;
    std::size_t oldIndex;
};

// An ordered collection that runs hooks around every change and emits a signal after it.
//
// Order of one add: _getAddingItemError (a non-empty text refuses), _onAdding, insertion,
// _onAdded, _onCollectionChanged, signalCollectionChanged. One removal: _getRemovingItemError,
// _onRemoving, taking out, _onRemoved, _onCollectionChanged, signalCollectionChanged, then
// _onPostRemoved. A locked collection refuses every add and remove with the framework's
// "error.ReadOnly" text. A refusal throws std::logic_error and leaves everything unchanged.
// Not thread-safe: collections live on the user-interface thread.
template <typename T> class NotifyCollection {
public:
    using Args = NotifyCollectionChangedSignalArgs<T>;
    using iterator = typename std::vector<T>::const_iterator;
    using const_iterator = typename std::vector<T>::const_iterator;

    NotifyCollection() = default;
    NotifyCollection(const NotifyCollection&) = delete;
    NotifyCollection& operator=(const NotifyCollection&) = delete;
    virtual ~NotifyCollection() = default;

    // Emitted once per change, after the hooks of that change.
    sigc::signal<void, Args&> signalCollectionChanged;

    std::size_t size() const { return _items.size(); }
    bool empty() const { return _items.empty(); }
    const T& at(std::size_t index) const { return _items.at(index); }
    const T& front() const { return _items.at(0); }
    const T& back() const { return _items.at(_items.size() - 1); }
    const_iterator begin() const { return _items.begin(); }
    const_iterator end() const { return _items.end(); }
    const std::vector<T>& items() const { return _items; }

    // Position of the item, -1 when it is not in the collection.
    int getIndexOf(const T& item) const {
        auto it = std::find(_items.begin(), _items.end(), item);
        return it == _items.end() ? -1 : static_cast<int>(it - _items.begin());
    }

    bool getIsReadOnlyCollection() const { return _locked; }

    // When true, an owning collection does not destroy the items it removes.
    bool keepItems = false;

    void add(const T& item) { insert(_items.size(), item); }

    // Inserts before position index (index == size appends). An index above the size is refused.
    void insert(std::size_t index, const T& item) {
        if (index > _items.size()) {
            throw std::logic_error(lng::Tree::get("error.IndexOutOfRange"));
        }
        std::string error =
            _locked ? std::string(lng::Tree::get("error.ReadOnly")) : _getAddingItemError(item, index);
        if (!error.empty()) {
            throw std::logic_error(error);
        }
        _onAdding(item, index);
        _items.insert(_items.begin() + static_cast<std::ptrdiff_t>(index), item);
        _onAdded(item, index);
        Args args{Add, item, index, 0};
        _notify(args);
    }

    // Removes the item; false when it is not in the collection (nothing happens then).
    bool remove(const T& item) {
        int index = getIndexOf(item);
        if (index < 0) {
            return false;
        }
        _removeAt(static_cast<std::size_t>(index));
        return true;
    }

    // Takes the item at `from` out and puts it before the item that stood at `to`
    // (to == size puts it at the end). Nothing happens and false is returned when from is not
    // below the size, to is above the size, or the last item would be moved to the end.
    // A move is allowed in a locked collection: locking forbids adding and removing only.
    bool move(std::size_t from, std::size_t to) {
        const std::size_t n = _items.size();
        if (from >= n || to > n || (from == n - 1 && to == n)) {
            return false;
        }
        T item = _items[from];
        _items.erase(_items.begin() + static_cast<std::ptrdiff_t>(from));
        std::size_t target = to > from ? to - 1 : to;
        _items.insert(_items.begin() + static_cast<std::ptrdiff_t>(target), item);
        _onMoved(item, from, target);
        Args args{Move, item, target, from};
        _notify(args);
        return true;
    }

    // Removes every item from the last to the first, each with its own hooks and signal,
    // between _onReset and _onPostReset. A refusal stops at the refused item.
    void clear() {
        if (_locked && !_items.empty()) {
            throw std::logic_error(lng::Tree::get("error.ReadOnly"));
        }
        _onReset();
        while (!_items.empty()) {
            _removeAt(_items.size() - 1);
        }
        _onPostReset();
    }

    void _lockCollection() { _locked = true; }
    void _unlockCollection() { _locked = false; }

protected:
    virtual std::string _getAddingItemError(const T& /*item*/, std::size_t /*index*/) {
        return std::string();
    }
    virtual void _onAdding(const T& /*item*/, std::size_t /*index*/) {}
    virtual void _onAdded(const T& /*item*/, std::size_t /*index*/) {}
    virtual std::string _getRemovingItemError(const T& /*item*/, std::size_t /*index*/) {
        return std::string();
    }
    virtual void _onRemoving(const T& /*item*/, std::size_t /*index*/) {}
    virtual void _onRemoved(const T& /*item*/, std::size_t /*index*/) {}
    virtual void _onPostRemoved(const T& /*item*/, std::size_t /*index*/) {}
    virtual void _onMoved(const T& /*item*/, std::size_t /*from*/, std::size_t /*to*/) {}
    virtual void _onReset() {}
    virtual void _onPostReset() {}
    // Runs after each change, right before signalCollectionChanged is emitted.
    virtual void _onCollectionChanged(Args& /*args*/) {}

    // Direct access for owners that tear down without notifications (destructors).
    std::vector<T>& _rawItems() { return _items; }

private:
    void _notify(Args& args) {
        _onCollectionChanged(args);
        signalCollectionChanged.emit(args);
    }

    void _removeAt(std::size_t index) {
        T item = _items[index];
        std::string error =
            _locked ? std::string(lng::Tree::get("error.ReadOnly")) : _getRemovingItemError(item, index);
        if (!error.empty()) {
            throw std::logic_error(error);
        }
        _onRemoving(item, index);
        _items.erase(_items.begin() + static_cast<std::ptrdiff_t>(index));
        _onRemoved(item, index);
        Args args{Remove, item, index, 0};
        _notify(args);
        _onPostRemoved(item, index);
    }

    std::vector<T> _items;
    bool _locked = false;
};

// A notifying collection that owns its items: a removed item is destroyed after the removal
// has been notified, unless keepItems is set; the items left are destroyed with the collection
// (without notifications).
template <typename T> class NotifyUniquePtrCollection : public NotifyCollection<T*> {
public:
    ~NotifyUniquePtrCollection() override {
        std::vector<T*> items;
        items.swap(this->_rawItems());
        for (T* item : items) {
            delete item;
        }
    }

protected:
    void _onPostRemoved(T* const& item, std::size_t /*index*/) override {
        if (!this->keepItems) {
            delete item;
        }
    }
};

} // namespace Vor
