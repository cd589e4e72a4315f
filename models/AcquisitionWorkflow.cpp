#include "models/AcquisitionWorkflow.h"

#include "acquisition/GooseSubscriberPool.h"
#include "acquisition/MmsPollingPool.h"
#include "acquisition/MmsReportPool.h"
#include "mms/MmsConnect.h"
#include "mms/MmsDatasetHelper.h"
#include "models/GeneralSettingsModel.h"
#include "models/ParamsModel.h"
#include "models/SourceDeviceModel.h"
#include "models/SourceFileModel.h"
#include "models/TreeModel.h"
#include "models/VorIec61850Model.h"

#include <algorithm>

namespace VorIec61850 {

namespace {

Vor::Result failure(const std::string& message) {
    return Vor::Result(Vor::LogicError::create(message));
}

// "01-0C-CD-01-00-01" as the subscriptions compare it: "01:0C:CD:01:00:01".
std::string colonMac(std::string mac) {
    std::replace(mac.begin(), mac.end(), '-', ':');
    return mac;
}

void connectSource(SourceModel& source, TreeModel& tree, ParamsModel& params) {
    source.signalAddNode.connect(
        [&tree](std::vector<std::string> path, std::string unit) { tree.addNode(path, unit); });
    source.signalClearTree.connect(sigc::mem_fun(tree, &TreeModel::clearNodes));
    source.signalSetParams.connect(sigc::mem_fun(params, &ParamsModel::onSignalSetParams));
    source.signalClearParams.connect(sigc::mem_fun(params, &ParamsModel::onSignalClearParams));
}

std::vector<MmsPath> toPaths(const std::vector<std::pair<std::string, std::string>>& leaves) {
    std::vector<MmsPath> paths;
    for (const auto& leaf : leaves)
        paths.emplace_back(leaf.first, nullptr);
    return paths;
}

} // namespace

GooseIn AcquisitionWorkflow::gooseTarget(const tConnectedAP& ap, std::size_t index) {
    // The copy carries the control block reference, which the stored record does not.
    tConnectedAP copy = ap;
    tGSE& gse = copy.gse[index];
    tGSEControl& control = *gse.gseControl;
    control.setControlBlockReference(&copy, index);
    GooseIn target;
    target.identifier.goCbRef = control.getControlBlockReference();
    // A file without an APPID entry does not filter on it.
    if (gse.getAppId() != 0)
        target.identifier.appId = static_cast<int64_t>(gse.getAppId());
    if (!gse.getMacAddress().empty())
        target.identifier.dstMac = colonMac(gse.getMacAddress());
    if (!control.appID.empty())
        target.identifier.goId = control.appID;
    target.identifier.confRev = static_cast<uint64_t>(control.confRev);
    target.dataSetXml = MmsDatasetHelper::createDatasetStructure(control.dataSet.get())->serializeToString();
    return target;
}

AcquisitionWorkflow::AcquisitionWorkflow(VorIec61850Model& root) : _root(root) {
    GeneralSettingsModel& settings = *root.getSettingsModel();
    connectSource(*settings.getFileModel(), *root.getTreeModel(), *root.getParamsModel());
    connectSource(*settings.getDeviceModel(), *root.getTreeModel(), *root.getParamsModel());
}

AcquisitionWorkflow::~AcquisitionWorkflow() {
    stop();
}

namespace {

Vor::Result choose(VorTree::EnumUnit& unit, const std::string& name, const char* what) {
    if (unit.getLimiter()->getItem(name) == nullptr) {
        std::string names;
        for (VorTree::Node* item : *unit.getLimiter())
            names += (names.empty() ? "" : ", ") + item->getId();
        return failure(std::string("No ") + what + " '" + name + "'" +
                       (names.empty() ? std::string(" (none available)") : " (available: " + names + ")"));
    }
    unit.setData(name);
    return true;
}

} // namespace

Vor::Result AcquisitionWorkflow::openFile(const std::string& path) {
    GeneralSettingsModel& settings = *_root.getSettingsModel();
    settings.getDataSourceUnit()->setEnumData(DataSource::SclFile);
    SourceFileModel& file = *settings.getFileModel();
    file.onAddFile(path);
    if (file.getConnectedAps().empty())
        return failure("No connected access point could be read from '" + path + "'");
    return true;
}

Vor::Result AcquisitionWorkflow::connectDevice(const std::string& host, int port) {
    GeneralSettingsModel& settings = *_root.getSettingsModel();
    settings.getDataSourceUnit()->setEnumData(DataSource::IedDevice);
    SourceDeviceModel& device = *settings.getDeviceModel();
    device.onIpAddressChanged(host);
    device.setPort(port);
    device.onButtonClicked();
    if (device.getDeviceUnit()->getLimiter()->empty()) {
        const int error = static_cast<int>(device.getExplorer().getError());
        return failure("Cannot read the IED at " + host + ":" + std::to_string(port) + " (client error " +
                       std::to_string(error) + ")");
    }
    return true;
}

void AcquisitionWorkflow::chooseProtocol(TransferProtocol protocol) {
    getActiveSource()->setTransferProtocol(protocol);
}

Vor::Result AcquisitionWorkflow::chooseDevice(const std::string& name) {
    return choose(*getActiveSource()->getDeviceUnit(), name, "device");
}

Vor::Result AcquisitionWorkflow::chooseElement(const std::string& name) {
    return choose(*getActiveSource()->getElementUnit(), name, "element");
}

void AcquisitionWorkflow::checkAll(bool checked) {
    _root.getTreeModel()->getNode()->setIsEvaluated(checked);
}

SourceModel* AcquisitionWorkflow::getActiveSource() const {
    GeneralSettingsModel& settings = *_root.getSettingsModel();
    if (settings.getDataSource() == DataSource::SclFile)
        return settings.getFileModel();
    return settings.getDeviceModel();
}

TransferProtocol AcquisitionWorkflow::getProtocol() const {
    return getActiveSource()->getTransferProtocolUnit()->getEnumValue();
}

void AcquisitionWorkflow::setPolling(bool on, uint64_t periodMs) {
    _polling = on;
    _pollingPeriod = periodMs;
}

AcquisitionWorkflow::Mode AcquisitionWorkflow::getMode() const {
    switch (getProtocol()) {
    case TransferProtocol::Goose:
        return Mode::Goose;
    case TransferProtocol::SampledValues:
        return Mode::SampledValues;
    default:
        return _polling ? Mode::Polling : Mode::Reports;
    }
}

Vor::Result AcquisitionWorkflow::buildTarget(Target& target) const {
    target = Target();
    target.mode = getMode();
    target.leaves = _root.getTreeModel()->getCheckedElements();
    if (target.mode != Mode::SampledValues && target.leaves.empty())
        return failure("No data attribute is checked");
    if (_root.getSettingsModel()->getDataSource() == DataSource::SclFile)
        return _buildFileTarget(target);
    return _buildDeviceTarget(target);
}

Vor::Result AcquisitionWorkflow::_buildFileTarget(Target& target) const {
    const SourceFileModel& file = *_root.getSettingsModel()->getFileModel();
    const auto device = static_cast<std::size_t>(file.getDeviceUnit()->getEnumValue());
    const auto element = static_cast<std::size_t>(file.getElementUnit()->getEnumValue());
    if (target.mode == Mode::Reports || target.mode == Mode::Polling)
        return failure("An SCL file describes no MMS values to read: choose the IED device as data source");
    if (device >= file.getConnectedAps().size())
        return failure("No device is chosen");
    const tConnectedAP& ap = file.getConnectedAps()[device];
    if (target.mode == Mode::Goose) {
        if (element >= ap.gse.size())
            return failure("No GOOSE control block is chosen");
        target.goose = AcquisitionWorkflow::gooseTarget(ap, element);
        target.goose.paths = toPaths(target.leaves);
        target.goose.interfaceName = _interface;
        return true;
    }
    if (element >= ap.smv.size())
        return failure("No Sampled Values control block is chosen");
    const tSMV& smv = ap.smv[element];
    target.sv.appId = static_cast<int64_t>(smv.getAppId());
    if (!smv.getMacAddress().empty())
        target.sv.dstMac = colonMac(smv.getMacAddress());
    if (!smv.svControl->smvID.empty())
        target.sv.svId = smv.svControl->smvID;
    target.sv.confRev = static_cast<uint64_t>(smv.svControl->confRev);
    target.sv.interfaceName = _interface;
    return true;
}

Vor::Result AcquisitionWorkflow::_buildDeviceTarget(Target& target) const {
    const SourceDeviceModel& device = *_root.getSettingsModel()->getDeviceModel();
    const std::string host = device.getIedAddress() + ":" + std::to_string(device.getPort());
    const auto element = static_cast<std::size_t>(device.getElementUnit()->getEnumValue());
    switch (target.mode) {
    case Mode::Reports: {
        const std::string rcb = device.getElementRcbReference();
        if (rcb.empty())
            return failure("No report control block is chosen");
        target.report = MmsReportTarget(host, rcb);
        target.report.paths = toPaths(target.leaves);
        return true;
    }
    case Mode::Polling:
        target.polling = MmsPollingTarget(host, _pollingPeriod);
        target.polling.paths = toPaths(target.leaves);
        return true;
    case Mode::Goose: {
        const tConnectedAP& ap = device.getConnectedAp();
        if (element >= ap.gse.size())
            return failure("No GOOSE control block is chosen");
        target.goose = AcquisitionWorkflow::gooseTarget(ap, element);
        target.goose.paths = toPaths(target.leaves);
        target.goose.interfaceName = _interface;
        // The members' structure comes from the IED's own type descriptions.
        std::string dataSet = device.getElementDataSet();
        std::replace(dataSet.begin(), dataSet.end(), '$', '.');
        IedClientError error = IED_ERROR_OK;
        IedConnection connection =
            connectIed(device.getIedAddress(), device.getPort(), _connectTimeout, &error);
        std::unique_ptr<FCDAElement> structure;
        if (connection != nullptr) {
            structure = MmsDatasetHelper::createDatasetStructure(connection, dataSet, &error);
            IedConnection_close(connection);
            IedConnection_destroy(connection);
        }
        if (!structure)
            return failure("Cannot read the data set " + dataSet + " of the IED (client error " +
                           std::to_string(static_cast<int>(error)) + ")");
        target.goose.dataSetXml = structure->serializeToString();
        return true;
    }
    case Mode::SampledValues:
        break;
    }
    return failure("The IED device source offers no Sampled Values streams: choose an SCL file");
}

Vor::Result AcquisitionWorkflow::start() {
    if (isRunning())
        return failure("Acquisition is already running");
    Target target;
    Vor::Result built = buildTarget(target);
    if (!built)
        return built;
    _pool.reset();
    _sv.reset();
    {
        std::lock_guard<std::mutex> lock(_valuesMutex);
        _values.assign(target.leaves.size(), nullptr);
    }
    _target = target;

    if (target.mode == Mode::SampledValues) {
        auto monitor = std::make_unique<SvStreamMonitor>();
        monitor->updated.connect([this] { valuesUpdated.emit(); });
        if (!monitor->setTarget(target.sv) || !monitor->start())
            return failure("Cannot receive Sampled Values on '" + _interface +
                           "' (raw sockets need root or CAP_NET_RAW)");
        _sv = std::move(monitor);
        return true;
    }

    std::unique_ptr<IMmsPool> pool;
    Vor::Result set = true;
    switch (target.mode) {
    case Mode::Goose: {
        auto goose = std::make_unique<GooseSubscriberPool>();
        set = goose->setTarget(target.goose);
        pool = std::move(goose);
        break;
    }
    case Mode::Reports: {
        auto report = std::make_unique<MmsReportPool>();
        report->setConnectTimeout(_connectTimeout);
        set = report->setTarget(target.report);
        pool = std::move(report);
        break;
    }
    default: {
        auto polling = std::make_unique<MmsPollingPool>();
        polling->setConnectTimeout(_connectTimeout);
        set = polling->setTarget(target.polling);
        pool = std::move(polling);
        break;
    }
    }
    if (!set)
        return set;
    // Slots are connected before start: the first delivery may come at once.
    IMmsPool* raw = pool.get();
    pool->valuesUpdated.connect([this, raw] { _onPoolValues(*raw); });
    if (!pool->start()) {
        const std::string reason = pool->getLastError();
        return failure(reason.empty() ? "The acquisition could not start" : reason);
    }
    _pool = std::move(pool);
    return true;
}

void AcquisitionWorkflow::stop() {
    if (_pool)
        _pool->stop();
    if (_sv)
        _sv->stop();
}

bool AcquisitionWorkflow::isRunning() const {
    return (_pool && _pool->isRunning()) || (_sv && _sv->isRunning());
}

void AcquisitionWorkflow::_onPoolValues(IMmsPool& pool) {
    // Runs on the pool's thread, which holds the pool's values steady while it emits.
    MmsValueElementList copy = pool.getValues();
    {
        std::lock_guard<std::mutex> lock(_valuesMutex);
        _values = std::move(copy);
    }
    valuesUpdated.emit();
}

MmsValueElementList AcquisitionWorkflow::getValues() const {
    std::lock_guard<std::mutex> lock(_valuesMutex);
    return _values;
}

SvStreamMonitor::Snapshot AcquisitionWorkflow::getSvSnapshot() const {
    return _sv ? _sv->getSnapshot() : SvStreamMonitor::Snapshot();
}

} // namespace VorIec61850
