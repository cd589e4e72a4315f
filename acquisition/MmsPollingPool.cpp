#include "acquisition/MmsPollingPool.h"

#include "acquisition/Messages.h"
#include "host/ThreadHelper.h"
#include "mms/MmsPathHelper.h"

#include <climits>
#include <cstdio>
#include <memory>

namespace VorIec61850 {

namespace {

constexpr int kMmsPort = 102;

FunctionalConstraint constraintOf(const std::string& path) {
    return FunctionalConstraint_fromString(MmsPathHelper::getPathFCstring(path).c_str());
}

// An element that owns its value: the value goes with the last reference to the element.
std::shared_ptr<MmsValueElement> ownedElement(MmsValue* value, uint64_t time) {
    return std::shared_ptr<MmsValueElement>(new MmsValueElement(value, time), [](MmsValueElement* element) {
        MmsValue_delete(element->value);
        delete element;
    });
}

// The pause in milliseconds as the event's wait takes it: the period cut to 32 bits, and to the
// largest wait the event accepts.
int pauseOf(uint64_t period) {
    const uint32_t pause = static_cast<uint32_t>(period);
    return pause > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(pause);
}

} // namespace

MmsPollingPool::~MmsPollingPool() {
    stop();
}

Vor::Result MmsPollingPool::setTarget(const MmsPollingTarget& target) {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (_running.load())
        return Vor::Result(Vor::LogicError::create(lng::Iec61850::get("MmsPolling.running")));
    _target = target;
    _values.resize(_target.paths.size());
    _timePaths.resize(_target.paths.size());
    return Vor::Result(true);
}

bool MmsPollingPool::start() {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (_running.load())
        return false;
    _running.store(true);
    _values.assign(_target.paths.size(), nullptr);

    _connection = IedConnection_create();
    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(_connection, &error, _target.host.c_str(), kMmsPort);
    if (error != IED_ERROR_OK) {
        printf("Ied connection service error!\n");
        IedConnection_destroy(_connection);
        _connection = nullptr;
        _stop();
        return false;
    }
    _createAssociatePaths();
    _thread = std::thread(&MmsPollingPool::_readValues, this);
    return true;
}

bool MmsPollingPool::stop() {
    std::lock_guard<std::mutex> control(_controlMutex);
    return _stop();
}

bool MmsPollingPool::_stop() {
    if (!_running.load())
        return false;
    // The flag first, then the event: a thread that missed the flag finds the event set.
    _stopRequested.store(true);
    _wakeEvent.set();
    if (_thread.joinable())
        _thread.join();
    if (_connection != nullptr) {
        IedConnection_close(_connection);
        IedConnection_destroy(_connection);
        _connection = nullptr;
    }
    _running.store(false);
    _stopRequested.store(false);
    return true;
}

void MmsPollingPool::_createAssociatePaths() {
    _timePaths.clear();
    _timePaths.reserve(_target.paths.size());
    for (const MmsPath& path : _target.paths)
        _timePaths.emplace_back(_getAssociatedTimePath(path.path), nullptr);
}

std::string MmsPollingPool::_getAssociatedTimePath(const std::string& path) {
    const std::string parent = MmsPathHelper::getParentNodePath(path);
    if (parent.empty())
        return std::string();
    const FunctionalConstraint fc = constraintOf(path);
    const char* fcText = FunctionalConstraint_toString(fc);
    if (fcText == nullptr)
        return std::string();
    for (const char* name : {"t", "T"}) {
        const std::string reference = parent + "." + name;
        IedClientError error = IED_ERROR_OK;
        MmsValue* value = IedConnection_readObject(_connection, &error, reference.c_str(), fc);
        if (value == nullptr)
            continue;
        const bool found = MmsValue_getType(value) != MMS_DATA_ACCESS_ERROR;
        MmsValue_delete(value);
        if (found)
            return reference + "[" + fcText + "]";
    }
    return std::string();
}

MmsValue* MmsPollingPool::_read(const std::string& path) {
    IedClientError error = IED_ERROR_OK;
    MmsValue* value = IedConnection_readObject(
        _connection, &error, MmsPathHelper::getPathWithoutFC(path).c_str(), constraintOf(path));
    if (value != nullptr && MmsValue_getType(value) == MMS_DATA_ACCESS_ERROR) {
        MmsValue_delete(value);
        value = nullptr;
    }
    return value;
}

void MmsPollingPool::_readValues() {
    Vor::ThreadHelper::setCurrentThreadName("MmsPollingPool_readValues");
    while (!_stopping()) {
        _wakeEvent.reset();
        bool changed = false;
        for (size_t i = 0; i < _target.paths.size(); ++i) {
            MmsValue* value = _read(_target.paths[i].path);
            if (_stopping()) {
                MmsValue_delete(value);
                return;
            }
            // A failed read keeps the entry as it is.
            if (value == nullptr)
                continue;
            uint64_t time = 0;
            const std::string& timePath = _timePaths[i].path;
            if (!timePath.empty()) {
                MmsValue* timeValue = _read(timePath);
                if (timeValue != nullptr)
                    time = MmsValue_getUtcTimeInMs(timeValue);
                MmsValue_delete(timeValue);
                if (_stopping()) {
                    MmsValue_delete(value);
                    return;
                }
            }
            std::shared_ptr<MmsValueElement>& entry = _values[i];
            if (!entry || !MmsValue_equals(entry->getValue(), value) || entry->getUnixTimestamp() != time) {
                entry = ownedElement(value, time);
                changed = true;
            } else {
                MmsValue_delete(value);
            }
        }
        if (changed)
            valuesUpdated.emit();
        // Checked after the event was reset: a stop that came later has set the event.
        if (_stopping())
            return;
        _wakeEvent.waitOne(pauseOf(_target.period));
    }
}

} // namespace VorIec61850
