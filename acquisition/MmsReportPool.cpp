#include "acquisition/MmsReportPool.h"

#include "acquisition/Messages.h"
#include "host/StringHelper.h"

#include <string>

namespace VorIec61850 {

MmsReportPool::MmsReportPool(uint64_t number) : _reciver(number) {
    _reciver.reportReceived.connect(sigc::mem_fun(*this, &MmsReportPool::_reportCallback));
    _reciver.connectionLost.connect(sigc::mem_fun(*this, &MmsReportPool::_connectionLost));
}

MmsReportPool::~MmsReportPool() {
    stop();
}

Vor::Result MmsReportPool::setTarget(const MmsReportTarget& target) {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (_reciver.isRunning())
        return Vor::Result(false);
    _reciver.stop(); // after a lost connection: the ended run is cleaned up first
    if (target.paths.empty())
        return _error.fail(lng::Iec61850::get("Pool.noPaths"));

    std::unique_ptr<FCDAElement> dataSet = _reciver.getDatasetStructure(target.report);
    if (!dataSet) {
        const std::string block = "[" + target.report.host + "] " + target.report.rcbReference;
        return _error.fail(
            Vor::StringHelper::formatC(lng::Iec61850::get("MmsReport.missingRCB"), block.c_str()));
    }
    for (const MmsPath& path : target.paths)
        if (MmsDatasetHelper::getPathIndexPath(*dataSet, path.path).empty())
            return _error.fail(
                Vor::StringHelper::formatC(lng::Iec61850::get("Pool.unknownPath"), path.path.c_str()));

    MmsReportTarget expanded(target.report.host, target.report.rcbReference);
    expanded.paths = TimePair::expand(target.paths, [&dataSet](const std::string& path) {
        return MmsDatasetHelper::getAssociatedTimePath(*dataSet, path);
    });
    if (!_reciver.setTarget(expanded))
        return Vor::Result(false);
    _target = target;
    _values.resize(_target.paths.size());
    _error.clear();
    return Vor::Result(true);
}

bool MmsReportPool::start() {
    std::lock_guard<std::mutex> control(_controlMutex);
    if (_reciver.isRunning())
        return false;
    _values.reset(_target.paths.size());
    if (!_reciver.start()) {
        const int error = static_cast<int>(_reciver.getLastClientError());
        _error.set(_reciver.didConnectFail()
                       ? Vor::StringHelper::formatC(lng::Iec61850::get("Mms.connectionFailed"),
                                                    _target.report.host.c_str(), error)
                       : Vor::StringHelper::formatC(lng::Iec61850::get("MmsReport.enableFailed"),
                                                    _target.report.rcbReference.c_str(), error));
        return false;
    }
    _error.clear();
    return true;
}

bool MmsReportPool::stop() {
    std::lock_guard<std::mutex> control(_controlMutex);
    return _reciver.stop();
}

bool MmsReportPool::isRunning() const {
    return _reciver.isRunning();
}

void MmsReportPool::_reportCallback(ClientReport report) {
    // Receive thread of the connection: the values are copied out of the report here.
    _values.refresh(_reciver.getMmsValues());
    valuesUpdated.emit();
    if (!timestampUpdated.empty())
        timestampUpdated.emit(ClientReport_hasTimestamp(report) ? ClientReport_getTimestamp(report) : 0);
}

void MmsReportPool::_connectionLost() {
    _error.set(
        Vor::StringHelper::formatC(lng::Iec61850::get("Mms.connectionLost"), _target.report.host.c_str()));
    connectionLost.emit();
}

} // namespace VorIec61850
