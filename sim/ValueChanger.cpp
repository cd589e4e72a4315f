#include "sim/ValueChanger.h"

#include <pthread.h>

#include <chrono>
#include <cmath>

namespace iecx::sim {

namespace {

bool inControlBlock(const ModelNode* n) {
    for (; n; n = n->parent)
        if (n->kind == ModelNode::Kind::FcGroup)
            return n->name == "RP" || n->name == "BR" || n->name == "GO";
    return false;
}

// The "t" attribute of the data object a leaf belongs to (the nearest DataObject ancestor).
ModelNode* timeOf(ModelNode* leaf) {
    for (ModelNode* n = leaf->parent; n; n = n->parent)
        if (n->kind == ModelNode::Kind::DataObject) {
            ModelNode* t = n->child("t");
            return t && t->isValueHolder() && MmsValue_getType(t->value) == MMS_UTC_TIME ? t : nullptr;
        }
    return nullptr;
}

} // namespace

ValueChanger::ValueChanger(Model& model) : _model(model) {
    for (const auto& d : _model.domains())
        for (const auto& ln : d->logicalNodes) {
            std::vector<ModelNode*> leaves;
            ln->collectLeaves(leaves);
            for (ModelNode* leaf : leaves) {
                if (inControlBlock(leaf))
                    continue;
                MmsType type = MmsValue_getType(leaf->value);
                if (leaf->fc == "MX" && leaf->name == "f" && type == MMS_FLOAT)
                    _floats.push_back(leaf);
                else if (leaf->fc == "ST" && (leaf->name == "stVal" || leaf->name == "general") &&
                         (type == MMS_BOOLEAN || (type == MMS_BIT_STRING && leaf->bType == "Dbpos")))
                    _toggles.push_back(leaf);
            }
        }
}

ValueChanger::~ValueChanger() {
    setPeriod(0);
}

void ValueChanger::setPeriod(int periodMs) {
    int period = periodMs > 0 ? periodMs : 0;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _periodMs = period;
        _stop = period == 0;
    }
    _wake.notify_all();
    if (period == 0) {
        if (_thread.joinable())
            _thread.join();
        return;
    }
    if (!_thread.joinable())
        _thread = std::thread(&ValueChanger::_run, this);
}

uint64_t ValueChanger::rounds() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _rounds;
}

void ValueChanger::step() {
    uint64_t round;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        round = ++_rounds;
    }
    uint64_t now = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::system_clock::now().time_since_epoch())
                                             .count());
    std::vector<ValueChange> changes;
    {
        std::lock_guard<std::mutex> lock(_model.mutex());
        MmsValue* t = MmsValue_newUtcTimeByMsTime(now);
        for (size_t i = 0; i < _floats.size(); ++i) {
            ModelNode* leaf = _floats[i];
            // A slow wave around the initial value: every value moves on every round.
            double v = MmsValue_toDouble(leaf->value);
            double delta = 0.5 * std::sin(0.3 * static_cast<double>(round) + static_cast<double>(i)) + 0.01;
            MmsValue* nv = MmsValue_clone(leaf->value);
            MmsValue_setFloat(nv, static_cast<float>(v + delta));
            _model.setValueLocked(leaf, nv, changes);
            MmsValue_delete(nv);
            if (ModelNode* tn = timeOf(leaf))
                _model.setValueLocked(tn, t, changes);
        }
        for (ModelNode* leaf : _toggles) {
            MmsValue* nv = MmsValue_clone(leaf->value);
            if (MmsValue_getType(nv) == MMS_BOOLEAN) {
                MmsValue_setBoolean(nv, !MmsValue_getBoolean(nv));
            } else {
                bool on = MmsValue_getBitStringBit(nv, 0);
                MmsValue_setBitStringBit(nv, 0, !on); // on (10) <-> off (01)
                MmsValue_setBitStringBit(nv, 1, on);
            }
            _model.setValueLocked(leaf, nv, changes);
            MmsValue_delete(nv);
            if (ModelNode* tn = timeOf(leaf))
                _model.setValueLocked(tn, t, changes);
        }
        MmsValue_delete(t);
    }
    _model.notify(changes);
}

void ValueChanger::_run() {
    pthread_setname_np(pthread_self(), "sim_changes");
    std::unique_lock<std::mutex> lock(_mutex);
    while (!_stop) {
        auto period = std::chrono::milliseconds(_periodMs);
        if (_wake.wait_for(lock, period, [this] { return _stop; }))
            break;
        lock.unlock();
        step();
        lock.lock();
    }
}

} // namespace iecx::sim
