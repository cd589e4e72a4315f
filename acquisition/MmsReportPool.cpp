#include "acquisition/MmsReportPool.h"

#include "acquisition/Messages.h"
#include "acquisition/TargetsTimePair.h"
#include "host/StringHelper.h"
#include "mms/MmsPathHelper.h"

#include <string>

namespace VorIec61850 {

namespace {

bool startsWith(const std::string& text, size_t offset, const char* prefix) {
    return text.compare(offset, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The time path of a wanted path: the first data set member below the same parent node whose
// remainder after the parent is a "t" (or "T") attribute; empty when there is none.
std::string findTimeMember(LinkedList directory, const std::string& path) {
    const std::string parent = MmsPathHelper::getParentNodePath(path);
    if (parent.empty())
        return std::string();
    for (LinkedList element = LinkedList_getNext(directory); element != nullptr;
         element = LinkedList_getNext(element)) {
        const char* data = static_cast<const char*>(LinkedList_getData(element));
        if (data == nullptr)
            continue;
        const std::string member = data;
        if (!Vor::StringHelper::startsWith(member, parent))
            continue;
        if (startsWith(member, parent.size(), ".t[") || startsWith(member, parent.size(), ".T["))
            return member;
    }
    return std::string();
}

} // namespace

MmsReportPool::MmsReportPool(uint64_t number) : _reciver(number) {
    _reciver.reportReceived.connect(sigc::mem_fun(*this, &MmsReportPool::_reportCallback));
}

MmsReportPool::~MmsReportPool() {
    stop();
}

Vor::Result MmsReportPool::setTarget(const MmsReportTarget& target) {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (_reciver.isRunning())
        return Vor::Result(false);
    _target = target;
    _values.resize(_target.paths.size());

    LinkedList directory = _reciver.getDatasetDirectory(_target.report);
    if (directory == nullptr) {
        const std::string block = "[" + _target.report.host + "] " + _target.report.rcbReference;
        return Vor::Result(Vor::LogicError::create(
            Vor::StringHelper::formatC(lng::Iec61850::get("MmsReport.missingRCB"), block.c_str())));
    }
    MmsReportTarget expanded(_target.report.host, _target.report.rcbReference);
    expanded.paths = TimePair::expand(
        _target.paths, [directory](const std::string& path) { return findTimeMember(directory, path); });
    LinkedList_destroy(directory);
    return Vor::Result(_reciver.setTarget(expanded));
}

bool MmsReportPool::start() {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (_reciver.isRunning())
        return false;
    // The old elements point into the report data of the previous connection, which the
    // receiver releases when it starts again.
    for (auto& entry : _values)
        entry.reset();
    return _reciver.start();
}

bool MmsReportPool::stop() {
    std::lock_guard<std::mutex> control(_controlMutex);
    return _reciver.stop();
}

bool MmsReportPool::isRunning() const {
    return _reciver.isRunning();
}

bool MmsReportPool::requestGeneralInterrogation() {
    std::lock_guard<std::mutex> control(_controlMutex);
    return _reciver.requestGeneralInterrogation();
}

MmsValueElementList& MmsReportPool::getValues() {
    return _values;
}

void MmsReportPool::_reportCallback(ClientReport report) {
    // Receive thread of the connection.
    TimePair::refresh(_values, _reciver.getMmsValues());
    valuesUpdated.emit();
    if (!timestampUpdated.empty())
        timestampUpdated.emit(ClientReport_hasTimestamp(report) ? ClientReport_getTimestamp(report) : 0);
}

} // namespace VorIec61850
