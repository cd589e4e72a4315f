#pragma once
// What every pool keeps under a lock of its own: the value list and the text of its last error.
#include "acquisition/TargetsTimePair.h"
#include "host/Result.h"

#include <mutex>
#include <string>

namespace VorIec61850 {

// The value list of a pool under its own lock: the receiving thread replaces entries, any thread
// (the host's user-interface thread included) takes a snapshot.
class PoolValues {
public:
    MmsValueElementList snapshot() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _list;
    }
    // count empty entries.
    void reset(std::size_t count) {
        std::lock_guard<std::mutex> lock(_mutex);
        _list.assign(count, nullptr);
    }
    void resize(std::size_t count) {
        std::lock_guard<std::mutex> lock(_mutex);
        _list.resize(count);
    }
    // TimePair::refresh under the lock.
    void refresh(const std::vector<MmsValue*>& values) {
        std::lock_guard<std::mutex> lock(_mutex);
        TimePair::refresh(_list, values);
    }
    // Replaces entry i (ignored when out of range).
    void set(std::size_t i, std::shared_ptr<MmsValueElement> element) {
        std::lock_guard<std::mutex> lock(_mutex);
        if (i < _list.size())
            _list[i] = std::move(element);
    }
    std::shared_ptr<MmsValueElement> at(std::size_t i) const {
        std::lock_guard<std::mutex> lock(_mutex);
        return i < _list.size() ? _list[i] : nullptr;
    }

private:
    mutable std::mutex _mutex;
    MmsValueElementList _list;
};

// The reason of a pool's last failure, written by the caller's thread or the worker thread.
class PoolError {
public:
    std::string get() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _text;
    }
    void set(const std::string& text) {
        std::lock_guard<std::mutex> lock(_mutex);
        _text = text;
    }
    void clear() { set(std::string()); }
    // A failed result carrying text, which also becomes the last error.
    Vor::Result fail(const std::string& text) {
        set(text);
        return Vor::Result(Vor::LogicError::create(text));
    }

private:
    mutable std::mutex _mutex;
    std::string _text;
};

} // namespace VorIec61850
