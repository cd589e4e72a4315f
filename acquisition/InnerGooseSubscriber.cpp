#include "acquisition/InnerGooseSubscriber.h"

#include "mms/FCDAElement.h"
#include "mms/MmsDatasetHelper.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace VorIec61850 {

void _gooseCallbackFunction(GooseSubscriber subscriber, void* parameter) {
    static_cast<InnerGooseSubscriber*>(parameter)->gooseCallback(subscriber);
}

InnerGooseSubscriber::~InnerGooseSubscriber() {
    stop();
}

void InnerGooseSubscriber::_onTarget() {
    _values.assign(_target.paths.size(), nullptr);
    _indexes.assign(_target.paths.size(), MmsDatasetHelper::IndexPath());
}

void InnerGooseSubscriber::_onStart() {
    _values.assign(_target.paths.size(), nullptr);
    _createAssociateIndexes();
}

void InnerGooseSubscriber::_createAssociateIndexes() {
    std::unique_ptr<FCDAElement> dataSet;
    try {
        dataSet = FCDAElement::deserialize(_target.dataSetXml);
    } catch (const std::exception&) {
        // Malformed XML: no member can be located, every index path stays empty.
    }
    if (!dataSet)
        dataSet = std::make_unique<FCDAElement>();
    _indexes = MmsDatasetHelper::getDataAssociatedIndexPaths(*dataSet, _target.paths);
}

std::vector<int32_t> InnerGooseSubscriber::getAssociatedIndexes() const {
    std::vector<int32_t> indexes;
    indexes.reserve(_indexes.size());
    for (const MmsDatasetHelper::IndexPath& indexPath : _indexes)
        indexes.push_back(indexPath.empty() ? -1 : indexPath.front());
    return indexes;
}

bool InnerGooseSubscriber::_createReceiver(const std::string& interfaceName) {
    GooseReceiver receiver = GooseReceiver_create();
    if (receiver == nullptr)
        return false;
    GooseReceiver_setInterfaceId(receiver, interfaceName.c_str());
    _receivers.push_back(receiver);
    return true;
}

bool InnerGooseSubscriber::_createSubscribers() {
    const GooseIdentifer& id = _target.identifier;
    for (GooseReceiver receiver : _receivers) {
        // The stack keeps its own copy of the reference text.
        std::string goCbRef = id.goCbRef ? *id.goCbRef : std::string();
        GooseSubscriber subscriber = GooseSubscriber_create(&goCbRef[0], nullptr);
        if (subscriber == nullptr)
            return false;
        if (!id.goCbRef)
            GooseSubscriber_setObserver(subscriber);
        if (id.dstMac) {
            uint8_t mac[6];
            if (!parseMac(*id.dstMac, mac)) {
                GooseSubscriber_destroy(subscriber);
                return false;
            }
            GooseSubscriber_setDstMac(subscriber, mac);
        }
        if (id.appId)
            GooseSubscriber_setAppId(subscriber, static_cast<uint16_t>(*id.appId & 0xFFFF));
        GooseSubscriber_setListener(subscriber, _gooseCallbackFunction, this);
        GooseReceiver_addSubscriber(receiver, subscriber);
    }
    return true;
}

bool InnerGooseSubscriber::_enableReceivers() {
    for (GooseReceiver receiver : _receivers) {
        GooseReceiver_start(receiver);
        if (!GooseReceiver_isRunning(receiver))
            return false;
    }
    return true;
}

void InnerGooseSubscriber::_disableReceivers() {
    for (GooseReceiver receiver : _receivers)
        GooseReceiver_stop(receiver);
}

void InnerGooseSubscriber::_destroyReceivers() {
    // Destroying a receiver also destroys the subscribers added to it.
    for (GooseReceiver receiver : _receivers)
        GooseReceiver_destroy(receiver);
    _receivers.clear();
}

bool InnerGooseSubscriber::_isPostFilteredGoose(GooseSubscriber subscriber) const {
    const GooseIdentifer& id = _target.identifier;
    if (id.appId &&
        static_cast<int64_t>(GooseSubscriber_getAppId(subscriber)) != static_cast<int64_t>(*id.appId))
        return false;
    if (id.goId) {
        const char* goId = GooseSubscriber_getGoId(subscriber);
        if (goId == nullptr)
            return false;
        size_t length = std::strlen(goId);
        if (length != id.goId->size() || std::memcmp(goId, id.goId->data(), length) != 0)
            return false;
    }
    if (id.test && GooseSubscriber_isTest(subscriber) != *id.test)
        return false;
    if (id.confRev && GooseSubscriber_getConfRev(subscriber) != static_cast<uint32_t>(*id.confRev))
        return false;
    return true;
}

void InnerGooseSubscriber::gooseCallback(GooseSubscriber subscriber) {
    std::lock_guard<std::mutex> lock(_mutex);
    if (!_isPostFilteredGoose(subscriber))
        return;
    MmsValue* dataSet = GooseSubscriber_getDataSetValues(subscriber);
    // A message whose data set lacks a member (the publisher changed its shape) gives null there.
    for (size_t i = 0; i < _indexes.size() && i < _values.size(); ++i)
        _values[i] = MmsDatasetHelper::getValueAt(dataSet, _indexes[i]);
    gooseReceived.emit(subscriber);
    // The message's data set belongs to the stack; no pointer into it outlives the delivery.
    std::fill(_values.begin(), _values.end(), nullptr);
}

} // namespace VorIec61850
