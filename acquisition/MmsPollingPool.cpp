#include "acquisition/MmsPollingPool.h"

#include "acquisition/Messages.h"
#include "host/StringHelper.h"
#include "host/ThreadHelper.h"
#include "mms/MmsConnect.h"
#include "mms/MmsPathHelper.h"

#include <climits>
#include <cstdio>
#include <memory>

namespace VorIec61850 {

namespace {

// The pause in milliseconds as the event's wait takes it: the period cut to 32 bits, and to the
// largest wait the event accepts.
int pauseOf(uint64_t period) {
    const uint32_t pause = static_cast<uint32_t>(period);
    return pause > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(pause);
}

void connectionClosedFunction(void* parameter, IedConnection) {
    static_cast<MmsPollingPool*>(parameter)->connectionClosed();
}

} // namespace

MmsPollingPool::~MmsPollingPool() {
    stop();
}

Vor::Result MmsPollingPool::setTarget(const MmsPollingTarget& target) {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (isRunning())
        return Vor::Result(Vor::LogicError::create(lng::Iec61850::get("MmsPolling.running")));
    _stop(); // after a lost connection: the ended run is cleaned up first
    if (target.paths.empty())
        return _error.fail(lng::Iec61850::get("Pool.noPaths"));
    for (const MmsPath& path : target.paths)
        if (MmsPathHelper::getPathFC(path.path) == tFCEnum::NONE)
            return _error.fail(
                Vor::StringHelper::formatC(lng::Iec61850::get("MmsPolling.noFC"), path.path.c_str()));
    _target = target;
    _values.resize(_target.paths.size());
    _timePaths.resize(_target.paths.size());
    _error.clear();
    return Vor::Result(true);
}

bool MmsPollingPool::start() {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (_running.load() && _connectionLost.load())
        _stop(); // the lost connection of the last run
    if (_running.load())
        return false;
    _running.store(true);
    _connectionLost.store(false);
    _paths = _target.paths;
    _period = _target.period;
    _host = _target.host;
    _values.reset(_paths.size());

    IedClientError error = IED_ERROR_OK;
    _connection = connectIed(_target.host, kMmsPort, _connectTimeout, &error);
    _lastClientError.store(error);
    if (_connection == nullptr) {
        printf("Ied connection service error!\n");
        _error.set(Vor::StringHelper::formatC(lng::Iec61850::get("Mms.connectionFailed"),
                                              _target.host.c_str(), static_cast<int>(error)));
        _stop();
        return false;
    }
    IedConnection_installConnectionClosedHandler(_connection, connectionClosedFunction, this);
    _error.clear();
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
        _closing.store(true);
        IedConnection_destroy(_connection);
        _connection = nullptr;
        _closing.store(false);
    }
    _running.store(false);
    _stopRequested.store(false);
    return true;
}

void MmsPollingPool::connectionClosed() {
    if (_closing.load())
        return;
    _connectionLost.store(true);
    _wakeEvent.set();
}

void MmsPollingPool::_createAssociatePaths() {
    _timePaths.clear();
    _timePaths.reserve(_paths.size());
    for (const MmsPath& path : _paths)
        _timePaths.emplace_back(_getAssociatedTimePath(path.path), nullptr);
}

// The "t" (or "T") of the path's own data object: tried below the path itself (a data object
// path), then below each enclosing node up to the data object, nearest first.
std::string MmsPollingPool::_getAssociatedTimePath(const std::string& path) {
    const std::string base = MmsPathHelper::getPathWithoutFC(path);
    const FunctionalConstraint fc = MmsPathHelper::getPathConstraint(path);
    const char* fcText = FunctionalConstraint_toString(fc);
    const std::size_t slash = base.find('/');
    const std::size_t shortest = base.find('.', slash == std::string::npos ? 0 : slash);
    if (fcText == nullptr || shortest == std::string::npos)
        return std::string();
    for (std::size_t end = base.size(); end != std::string::npos && end > shortest;
         end = base.rfind('.', end - 1)) {
        for (const char* name : {"t", "T"}) {
            const std::string reference = base.substr(0, end) + "." + name;
            IedClientError error = IED_ERROR_OK;
            MmsValue* value = IedConnection_readObject(_connection, &error, reference.c_str(), fc);
            if (value == nullptr)
                continue;
            const bool found = MmsValue_getType(value) == MMS_UTC_TIME;
            MmsValue_delete(value);
            if (found)
                return reference + "[" + fcText + "]";
        }
    }
    return std::string();
}

MmsValue* MmsPollingPool::_read(const std::string& path) {
    IedClientError error = IED_ERROR_OK;
    MmsValue* value =
        IedConnection_readObject(_connection, &error, MmsPathHelper::getPathWithoutFC(path).c_str(),
                                 MmsPathHelper::getPathConstraint(path));
    if (value != nullptr && MmsValue_getType(value) == MMS_DATA_ACCESS_ERROR) {
        MmsValue_delete(value);
        value = nullptr;
    }
    if (value == nullptr && error != IED_ERROR_OK)
        _lastClientError.store(error);
    return value;
}

bool MmsPollingPool::_checkConnectionLost() {
    if (!_connectionLost.load() && IedConnection_getState(_connection) != IED_STATE_CONNECTED)
        _connectionLost.store(true);
    return _connectionLost.load();
}

void MmsPollingPool::_readValues() {
    Vor::ThreadHelper::setCurrentThreadName("MmsPollingPool_readValues");
    while (!_stopping()) {
        _wakeEvent.reset();
        bool changed = false;
        for (size_t i = 0; i < _paths.size() && !_stopping(); ++i) {
            MmsValue* value = _read(_paths[i].path);
            // A failed read keeps the entry as it is.
            if (value == nullptr) {
                _checkConnectionLost();
                continue;
            }
            uint64_t time = 0;
            const std::string& timePath = _timePaths[i].path;
            if (!timePath.empty()) {
                MmsValue* timeValue = _read(timePath);
                if (timeValue != nullptr)
                    time = MmsValue_getUtcTimeInMs(timeValue);
                MmsValue_delete(timeValue);
            }
            const std::shared_ptr<MmsValueElement> entry = _values.at(i);
            if (!entry || !MmsValue_equals(entry->getValue(), value) || entry->getUnixTimestamp() != time) {
                _values.set(i, MmsValueElement::createOwned(value, time));
                changed = true;
            } else {
                MmsValue_delete(value);
            }
        }
        if (changed && !_stopRequested.load())
            valuesUpdated.emit();
        // Checked after the event was reset: a stop or a loss that came later has set the event.
        if (_stopping())
            break;
        _wakeEvent.waitOne(pauseOf(_period));
    }
    if (_connectionLost.load() && !_stopRequested.load()) {
        if (_lastClientError.load() == IED_ERROR_OK)
            _lastClientError.store(IED_ERROR_CONNECTION_LOST);
        _error.set(Vor::StringHelper::formatC(lng::Iec61850::get("Mms.connectionLost"), _host.c_str()));
        connectionLost.emit();
    }
}

} // namespace VorIec61850
