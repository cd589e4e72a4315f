#include "acquisition/GooseSubscriberPool.h"

#include "acquisition/Messages.h"
#include "host/StringHelper.h"
#include "mms/FCDAElement.h"
#include "mms/MmsDatasetHelper.h"

#include <exception>
#include <memory>

namespace VorIec61850 {

GooseSubscriberPool::GooseSubscriberPool() {
    _subscriber.gooseReceived.connect(sigc::mem_fun(*this, &GooseSubscriberPool::_gooseCallback));
}

GooseSubscriberPool::~GooseSubscriberPool() {
    stop();
}

Vor::Result GooseSubscriberPool::setTarget(const GooseIn& target) {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (_subscriber.isRunning())
        return _error.fail(lng::Iec61850::get("Goose.setTargetError"));
    if (target.paths.empty())
        return _error.fail(lng::Iec61850::get("Pool.noPaths"));
    std::unique_ptr<FCDAElement> dataSet;
    try {
        dataSet = FCDAElement::deserialize(target.dataSetXml);
    } catch (const std::exception&) {
        dataSet.reset();
    }
    if (!dataSet || dataSet->getChildren().empty())
        return _error.fail(lng::Iec61850::get("Goose.invalidDataSet"));
    for (const MmsPath& path : target.paths)
        if (MmsDatasetHelper::getPathIndexPath(*dataSet, path.path).empty())
            return _error.fail(
                Vor::StringHelper::formatC(lng::Iec61850::get("Pool.unknownPath"), path.path.c_str()));

    GooseIn timePairTarget = target;
    timePairTarget.paths = TimePair::expand(target.paths, [&dataSet](const std::string& path) {
        return MmsDatasetHelper::getAssociatedTimePath(*dataSet, path);
    });
    if (!_subscriber.setTarget(timePairTarget))
        return _error.fail(lng::Iec61850::get("Goose.setTargetError"));
    _target = target;
    _values.resize(_target.paths.size());
    _error.clear();
    return Vor::Result(true);
}

bool GooseSubscriberPool::start() {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (_subscriber.isRunning())
        return false;
    if (!_subscriber.start()) {
        _error.set(
            Vor::StringHelper::formatC(lng::Iec61850::get("Goose.receiverError"),
                                       _target.interfaceName.empty() ? "*" : _target.interfaceName.c_str()));
        return false;
    }
    _error.clear();
    return true;
}

bool GooseSubscriberPool::stop() {
    std::lock_guard<std::mutex> control(_controlMutex);
    return _subscriber.stop();
}

bool GooseSubscriberPool::isRunning() const {
    return _subscriber.isRunning();
}

void GooseSubscriberPool::_gooseCallback(GooseSubscriber subscriber) {
    // Runs on a receive thread with the inner subscriber's mutex held: the values are copied out
    // of the stack's data set before the delivery ends.
    _values.refresh(_subscriber.getMmsValues());
    _stNum = GooseSubscriber_getStNum(subscriber);
    _sqNum = GooseSubscriber_getSqNum(subscriber);
    valuesUpdated.emit();
    if (!timestampUpdated.empty())
        timestampUpdated.emit(GooseSubscriber_getTimestamp(subscriber));
}

} // namespace VorIec61850
