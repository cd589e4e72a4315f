#include "acquisition/GooseSubscriberPool.h"

#include "acquisition/Messages.h"
#include "mms/FCDAElement.h"
#include "mms/MmsDatasetHelper.h"

#include <exception>
#include <memory>

namespace VorIec61850 {

namespace {

Vor::Result setTargetError() {
    return Vor::Result(Vor::LogicError::create(lng::Iec61850::get("Goose.setTargetError")));
}

} // namespace

GooseSubscriberPool::GooseSubscriberPool() {
    _subscriber.gooseReceived.connect(sigc::mem_fun(*this, &GooseSubscriberPool::_gooseCallback));
}

GooseSubscriberPool::~GooseSubscriberPool() {
    stop();
}

Vor::Result GooseSubscriberPool::setTarget(const GooseIn& target) {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (_subscriber.isRunning())
        return setTargetError();
    GooseIn timePairTarget = _createTimePairTarget(target);
    if (!_subscriber.setTarget(timePairTarget))
        return setTargetError();
    _target = target;
    _values.resize(_target.paths.size());
    return Vor::Result(true);
}

GooseIn GooseSubscriberPool::_createTimePairTarget(const GooseIn& target) const {
    std::unique_ptr<FCDAElement> dataSet;
    try {
        dataSet = FCDAElement::deserialize(target.dataSetXml);
    } catch (const std::exception&) {
        // Malformed XML: no member has a known time attribute.
    }
    GooseIn expanded = target;
    expanded.paths.clear();
    expanded.paths.reserve(target.paths.size() * 2);
    for (const MmsPath& path : target.paths) {
        std::string timePath;
        if (dataSet) {
            const FCDAElement* record = MmsDatasetHelper::getPathAssociatedFCDARecord(*dataSet, path.path);
            const FCDAElement* time = record ? MmsDatasetHelper::getAssociatedTime(*record) : nullptr;
            if (time)
                timePath = time->getFullPathWithFC();
        }
        expanded.paths.push_back(path);
        expanded.paths.push_back(MmsPath(timePath, nullptr));
    }
    return expanded;
}

bool GooseSubscriberPool::start() {
    std::lock_guard<std::mutex> control(_controlMutex);
    return _subscriber.start();
}

bool GooseSubscriberPool::stop() {
    std::lock_guard<std::mutex> control(_controlMutex);
    return _subscriber.stop();
}

bool GooseSubscriberPool::isRunning() const {
    return _subscriber.isRunning();
}

MmsValueElementList& GooseSubscriberPool::getValues() {
    return _values;
}

void GooseSubscriberPool::_gooseCallback(GooseSubscriber subscriber) {
    // Runs on a receive thread with the inner subscriber's mutex held.
    // The pointers are read in place: the inner subscriber's lock is held.
    const std::vector<MmsValue*>& values = _subscriber.getMmsValues();
    for (size_t i = 0; i < _values.size(); ++i) {
        MmsValue* value = 2 * i < values.size() ? values[2 * i] : nullptr;
        if (value == nullptr) {
            _values[i].reset();
            continue;
        }
        MmsValue* time = 2 * i + 1 < values.size() ? values[2 * i + 1] : nullptr;
        uint64_t timestamp = time ? MmsValue_getUtcTimeInMs(time) : 0;
        // A new element each time: elements the host still holds keep their pair.
        _values[i] = std::make_shared<MmsValueElement>(value, timestamp);
    }
    _stNum = GooseSubscriber_getStNum(subscriber);
    _sqNum = GooseSubscriber_getSqNum(subscriber);
    valuesUpdated.emit();
    if (!timestampUpdated.empty())
        timestampUpdated.emit(GooseSubscriber_getTimestamp(subscriber));
}

} // namespace VorIec61850
