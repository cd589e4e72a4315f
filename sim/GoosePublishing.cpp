#include "sim/GoosePublishing.h"
#include "sim/Worker.h"

#include "goose_publisher.h"
#include "linked_list.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

namespace iecx::sim {

GoosePublishing::GoosePublishing(Model& model) : _model(model) {
    for (const auto& domain : _model.domains()) {
        for (auto& def : domain->gooses) {
            auto block = std::make_unique<Block>();
            block->def = &def;
            block->goEna = def.node->child("GoEna");
            {
                // GoEna reads true only while the block is really published: the configured
                // value is what start() restores.
                std::lock_guard<std::mutex> modelLock(_model.mutex());
                block->enabled = MmsValue_getBoolean(block->goEna->value);
                MmsValue_setBoolean(block->goEna->value, false);
            }
            if (def.dataSet)
                for (auto& m : def.dataSet->members)
                    if (m.node) {
                        std::vector<ModelNode*> leaves;
                        m.node->collectLeaves(leaves);
                        block->leaves.insert(block->leaves.end(), leaves.begin(), leaves.end());
                    }
            _byNode[def.node] = block.get();
            _blocks.push_back(std::move(block));
        }
    }
}

GoosePublishing::~GoosePublishing() {
    stop();
}

bool GoosePublishing::start(const std::string& interfaceName) {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_running)
        return true;
    for (auto& block : _blocks) {
        const GooseControlDef& def = *block->def;
        CommParameters params;
        params.vlanPriority = def.vlanPriority;
        params.vlanId = def.vlanId;
        params.appId = def.appId;
        memcpy(params.dstAddress, def.dstAddress, 6);
        block->publisher = GoosePublisher_create(&params, interfaceName.c_str());
        if (!block->publisher) {
            _error = "cannot open interface '" + interfaceName + "' for GOOSE";
            for (auto& b : _blocks) {
                if (b->publisher)
                    GoosePublisher_destroy(b->publisher);
                b->publisher = nullptr;
            }
            return false;
        }
        std::string ref = def.reference();
        std::string ds = def.dataSet ? def.dataSet->mmsReference() : std::string();
        std::string goId = def.goId.empty() ? ref : def.goId;
        GoosePublisher_setGoCbRef(block->publisher, const_cast<char*>(ref.c_str()));
        GoosePublisher_setDataSetRef(block->publisher, const_cast<char*>(ds.c_str()));
        GoosePublisher_setGoID(block->publisher, const_cast<char*>(goId.c_str()));
        GoosePublisher_setConfRev(block->publisher, def.confRev);
        {
            std::lock_guard<std::mutex> modelLock(_model.mutex());
            MmsValue_setBoolean(block->goEna->value, block->enabled);
        }
        block->interval = def.minTime;
        block->next = Clock::now();
    }
    _running = true;
    _thread = std::thread(&GoosePublishing::_run, this);
    return true;
}

void GoosePublishing::stop() {
    if (!endWorker(_mutex, _running, _wake, _thread))
        return;
    std::lock_guard<std::mutex> lock(_mutex);
    std::lock_guard<std::mutex> modelLock(_model.mutex());
    for (auto& b : _blocks) {
        if (b->publisher)
            GoosePublisher_destroy(b->publisher);
        b->publisher = nullptr;
        MmsValue_setBoolean(b->goEna->value, false);
    }
}

bool GoosePublishing::isRunning() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _running;
}

std::string GoosePublishing::lastError() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _error;
}

uint64_t GoosePublishing::framesSent() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _framesSent;
}

bool GoosePublishing::handles(const ModelNode* node) const {
    for (const ModelNode* n = node; n; n = n->parent)
        if (_byNode.count(n))
            return true;
    return false;
}

MmsDataAccessError GoosePublishing::write(ModelNode* node, const MmsValue* value) {
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _byNode.find(node->parent);
    if (it == _byNode.end() || node->name != "GoEna")
        return DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED;
    if (MmsValue_getType(value) != MMS_BOOLEAN)
        return DATA_ACCESS_ERROR_TYPE_INCONSISTENT;
    Block& block = *it->second;
    bool enable = MmsValue_getBoolean(value);
    if (enable && !_running)
        return DATA_ACCESS_ERROR_TEMPORARILY_UNAVAILABLE; // no interface to publish on
    {
        std::lock_guard<std::mutex> modelLock(_model.mutex());
        MmsValue_setBoolean(block.goEna->value, enable);
    }
    if (enable && !block.enabled) {
        block.enabled = true;
        if (block.publisher)
            _newState(block);
    }
    block.enabled = enable;
    return DATA_ACCESS_ERROR_SUCCESS;
}

void GoosePublishing::onChanges(const std::vector<ValueChange>& changes) {
    std::lock_guard<std::mutex> lock(_mutex);
    if (!_running)
        return;
    for (auto& block : _blocks) {
        if (!block->enabled || !block->publisher)
            continue;
        bool hit = std::any_of(changes.begin(), changes.end(), [&](const ValueChange& c) {
            return (c.reason & (kTrgDchg | kTrgQchg)) &&
                   std::find(block->leaves.begin(), block->leaves.end(), c.node) != block->leaves.end();
        });
        if (hit)
            _newState(*block);
    }
}

void GoosePublishing::_newState(Block& block) {
    GoosePublisher_increaseStNum(block.publisher);
    block.interval = block.def->minTime;
    _publish(block);
    block.next = Clock::now() + std::chrono::milliseconds(block.interval);
    _wake.notify_all();
}

void GoosePublishing::_publish(Block& block) {
    LinkedList values = LinkedList_create();
    if (block.def->dataSet) {
        std::lock_guard<std::mutex> modelLock(_model.mutex());
        for (auto& m : block.def->dataSet->members)
            if (m.node)
                LinkedList_add(values, _model.readLocked(m));
    }
    // The receiver may wait twice the time until the next frame.
    GoosePublisher_setTimeAllowedToLive(block.publisher, 2 * block.interval);
    if (GoosePublisher_publish(block.publisher, values) == 0)
        ++_framesSent;
    LinkedList_destroyDeep(values, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
}

void GoosePublishing::_run() {
    runWorker("sim_goose", _mutex, _running, _wake, [this](Clock::time_point now, Clock::time_point& next) {
        for (auto& block : _blocks) {
            if (!block->enabled || !block->publisher)
                continue;
            if (block->next <= now) {
                block->interval = std::min(block->interval * 2, block->def->maxTime);
                _publish(*block);
                block->next = now + std::chrono::milliseconds(block->interval);
            }
            next = std::min(next, block->next);
        }
    });
}

} // namespace iecx::sim
