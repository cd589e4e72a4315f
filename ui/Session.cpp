#include "ui/Session.h"

#include "capture/PacketCapturer.h"
#include "cid/GooseToCid.h"
#include "cid/SvToCid.h"
#include "host/NetworkHelper.h"
#include "host/tree/Enum.h"
#include "acquisition/GooseSubscriberPool.h"
#include "models/AcquisitionWorkflow.h"
#include "models/GeneralSettingsModel.h"
#include "models/ParamsModel.h"
#include "models/SourceDeviceModel.h"
#include "models/SourceFileModel.h"
#include "models/TreeModel.h"
#include "models/VorIec61850Model.h"
#include "scl/SclEnums.h"
#include "ui/ModelJson.h"

#include <fstream>
#include <iostream>
#include <sstream>

namespace iecx::ui {

using namespace VorIec61850;

namespace {

const char* modeName(AcquisitionWorkflow::Mode mode) {
    switch (mode) {
    case AcquisitionWorkflow::Mode::Reports:
        return "reports";
    case AcquisitionWorkflow::Mode::Polling:
        return "polling";
    case AcquisitionWorkflow::Mode::Goose:
        return "goose";
    case AcquisitionWorkflow::Mode::SampledValues:
        return "sv";
    }
    return "";
}

} // namespace

// The host's root and the workflow that connects its sources to its tree and parameters and runs
// the pools.
struct Session::Models {
    VorIec61850Model root;
    AcquisitionWorkflow workflow{root};

    GeneralSettingsModel* settings() { return root.getSettingsModel(); }
    SourceFileModel* file() { return settings()->getFileModel(); }
    SourceDeviceModel* device() { return settings()->getDeviceModel(); }
    ParamsModel& params() { return *root.getParamsModel(); }
    TreeModel& tree() { return *root.getTreeModel(); }
};

struct Session::Capture {
    PacketCapturer capturer;
    std::atomic<uint64_t> frames{0};
    std::string interfaceName;
    std::string kind;
    std::string download;
    bool running = false;
};

Session::Session(const std::string& workDirectory)
    : _workDirectory(workDirectory), _models(std::make_unique<Models>()) {
    _watch(_models->settings());
    _watch(&_models->params());
    _watch(_models->tree().getNode());
    _models->workflow.valuesUpdated.connect(sigc::mem_fun(*this, &Session::_onValuesUpdated));
}

Session::~Session() {
    stopAcquisition();
    {
        std::lock_guard<std::mutex> lock(_captureMutex);
        if (_capture && _capture->running)
            _capture->capturer.stopPacketCapturer();
    }
}

void Session::_watch(VorTree::Node* node) {
    node->signalCollectionChanged.connect([this](VorTree::Node::ChangedArgs& args) {
        _onModelChanged();
        if (args.action == Vor::Add)
            _watch(args.item);
    });
    if (auto* unit = dynamic_cast<VorTree::Unit*>(node))
        unit->getSignalValueChanged().connect(sigc::mem_fun(*this, &Session::_onModelChanged));
    if (auto* choice = dynamic_cast<VorTree::EnumUnit*>(node); choice && choice->getLimiter())
        choice->getLimiter()->signalCollectionChanged.connect(
            sigc::hide(sigc::mem_fun(*this, &Session::_onModelChanged)));
    if (auto* check = dynamic_cast<CheckNodeDescriptorModel*>(node))
        check->signalIsEvaluatedChanged.connect(sigc::hide(sigc::mem_fun(*this, &Session::_onModelChanged)));
    for (VorTree::Node* child : node->getChildren())
        _watch(child);
}

nlohmann::json Session::modelJson() {
    std::lock_guard<std::mutex> lock(_modelMutex);
    return {
        {"settings", nodeToJson(*_models->settings())},
        {"params", nodeToJson(_models->params())},
        {"tree", checkTreeToJson(*_models->tree().getNode())},
        {"checked", _models->tree().getCheckedElements().size()},
        // Which child nodes are the two sources (by their id path), and which one is chosen.
        {"roles",
         {{nlohmann::json::array({_models->settings()->getIndexOf(_models->file())}).dump(), "file"},
          {nlohmann::json::array({_models->settings()->getIndexOf(_models->device())}).dump(), "device"}}},
        {"source", _models->settings()->getDataSource() == DataSource::SclFile ? "file" : "device"},
        {"device",
         {{"address", _models->device()->getIedAddress()}, {"port", _models->device()->getPort()}}}};
}

nlohmann::json Session::statusJson() {
    nlohmann::json interfaces = nlohmann::json::array();
    for (const Vor::NetworkInterface& i : Vor::NetworkHelper::getNetworkInterfaces())
        interfaces.push_back(i.id);
    nlohmann::json capture{{"running", false}};
    {
        std::lock_guard<std::mutex> lock(_captureMutex);
        if (_capture)
            capture = {{"running", _capture->running},
                       {"interface", _capture->interfaceName},
                       {"kind", _capture->kind},
                       {"frames", _capture->frames.load()},
                       {"download", _capture->download}};
    }
    std::lock_guard<std::mutex> lock(_modelMutex);
    return {{"acquisition",
             {{"running", _models->workflow.isRunning()},
              {"mode", modeName(_models->workflow.getMode())},
              {"error", _acquisitionError}}},
            {"capture", capture},
            {"interfaces", interfaces}};
}

void Session::setUnit(const std::string& section, const std::vector<std::size_t>& path,
                      const std::string& value) {
    std::lock_guard<std::mutex> lock(_modelMutex);
    VorTree::Node* top = section == "settings" ? _models->settings()
                         : section == "params" ? static_cast<VorTree::Node*>(&_models->params())
                                               : nullptr;
    VorTree::Node* node = top ? findByIndexes(top, path) : nullptr;
    if (node == nullptr)
        throw RequestError(404, "no such unit");
    if (!setUnitValue(node, value))
        throw RequestError(400, "the unit does not take this value");
}

void Session::check(const std::vector<std::string>& ids, bool checked) {
    std::lock_guard<std::mutex> lock(_modelMutex);
    auto* node = dynamic_cast<CheckNodeDescriptorModel*>(findByIds(_models->tree().getNode(), ids));
    if (node == nullptr)
        throw RequestError(404, "no such tree node");
    node->setIsEvaluated(checked);
}

std::string Session::_newFilePath(const std::string& name) {
    std::string safe;
    for (char c : name)
        safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') ? c : '_';
    if (safe.empty() || safe[0] == '.')
        safe = "file" + safe;
    return _workDirectory + "/" + std::to_string(++_fileCounter) + "-" + safe;
}

void Session::loadScl(const std::string& name, const std::string& content) {
    std::lock_guard<std::mutex> lock(_modelMutex);
    const std::string path = _newFilePath(name.empty() ? "upload.scd" : name);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out)
            throw RequestError(500, "the uploaded file cannot be stored");
    }
    // The source reports a file it cannot read on standard error and carries on; catch that
    // report for the page, and pass it on.
    std::ostringstream report;
    std::streambuf* previous = std::cerr.rdbuf(report.rdbuf());
    try {
        _models->file()->onAddFile(path);
    } catch (...) {
        std::cerr.rdbuf(previous);
        throw;
    }
    std::cerr.rdbuf(previous);
    std::string message = report.str();
    std::cerr << message;
    while (!message.empty() && message.back() == '\n')
        message.pop_back();
    if (!message.empty())
        throw RequestError(422, message);
    if (_models->file()->getConnectedAps().empty())
        throw RequestError(422, "the file holds no connected access point");
}

nlohmann::json Session::typeFilterJson() {
    std::lock_guard<std::mutex> lock(_modelMutex);
    nlohmann::json out{{"all", nlohmann::json::array()}, {"selected", nlohmann::json::array()}};
    for (int t = static_cast<int>(tMmsTypeEnum::ARRAY); t < static_cast<int>(tMmsTypeEnum::DATA_ACCESS_ERROR);
         ++t)
        out["all"].push_back(toString(static_cast<tMmsTypeEnum>(t)));
    for (tMmsTypeEnum t : _models->file()->getFilterTypes())
        out["selected"].push_back(toString(t));
    return out;
}

void Session::setTypeFilter(const std::vector<std::string>& types) {
    std::vector<tMmsTypeEnum> wanted;
    for (const std::string& name : types) {
        bool found = false;
        for (int t = 0; t < static_cast<int>(tMmsTypeEnum::DATA_ACCESS_ERROR) && !found; ++t)
            if (toString(static_cast<tMmsTypeEnum>(t)) == name) {
                wanted.push_back(static_cast<tMmsTypeEnum>(t));
                found = true;
            }
        if (!found)
            throw RequestError(400, "unknown MMS type '" + name + "'");
    }
    std::lock_guard<std::mutex> lock(_modelMutex);
    _models->file()->setFilterTypes(wanted);
    ++_modelVersion;
}

void Session::connectDevice(const std::string& address, int port) {
    if (port <= 0 || port > 65535)
        throw RequestError(400, "the port is a number from 1 to 65535");
    std::lock_guard<std::mutex> lock(_modelMutex);
    const Vor::Result result = _models->workflow.connectDevice(address, port);
    if (!result)
        throw RequestError(502, result.getMessage().empty() ? "the IED cannot be read" : result.getMessage());
}

void Session::startAcquisition(const std::string& interfaceName) {
    std::lock_guard<std::mutex> lock(_modelMutex);
    AcquisitionWorkflow& workflow = _models->workflow;
    if (workflow.isRunning())
        throw RequestError(409, "the acquisition is running");
    workflow.setInterface(interfaceName);
    AcquisitionWorkflow::Target target;
    Vor::Result result = workflow.buildTarget(target);
    if (result) {
        std::vector<std::string> paths;
        for (const auto& leaf : target.leaves)
            paths.push_back(leaf.first);
        // Ready before the pool's first value.
        _values.reset(paths);
        _sv.reset();
        result = workflow.start();
    }
    _acquisitionError = result ? std::string() : result.getMessage();
    ++_statusVersion;
    if (!result)
        throw RequestError(422,
                           _acquisitionError.empty() ? "the acquisition does not start" : _acquisitionError);
}

void Session::stopAcquisition() {
    std::lock_guard<std::mutex> lock(_modelMutex);
    _models->workflow.stop();
    ++_statusVersion;
}

// On the pool's thread: copy what the page shows and return.
void Session::_onValuesUpdated() {
    AcquisitionWorkflow& workflow = _models->workflow;
    if (workflow.getMode() == AcquisitionWorkflow::Mode::SampledValues) {
        _sv.store(workflow.getSvSnapshot());
        return;
    }
    if (auto* goose = dynamic_cast<GooseSubscriberPool*>(workflow.getPool()))
        _values.setMessageNumbers(goose->getStNum(), goose->getSqNum());
    _values.store(workflow.getValues());
}

nlohmann::json Session::startCapture(const std::string& interfaceName, const std::string& kind) {
    if (kind != "goose" && kind != "sv" && kind != "all")
        throw RequestError(400, "capture kind is goose, sv or all");
    bool known = false;
    for (const Vor::NetworkInterface& i : Vor::NetworkHelper::getNetworkInterfaces())
        known = known || i.id == interfaceName;
    if (!known)
        throw RequestError(400, "no interface '" + interfaceName + "'");
    std::lock_guard<std::mutex> lock(_captureMutex);
    if (_capture && _capture->running)
        throw RequestError(409, "a capture is running");
    _capture = std::make_unique<Capture>();
    _capture->interfaceName = interfaceName;
    _capture->kind = kind;
    _capture->capturer.initPacketCapture(_workDirectory);
    _capture->capturer.setPcapPromiscuousMode(kind == "all");
    Capture* capture = _capture.get();
    _capture->capturer.packetReceived.connect(
        [capture](const uint8_t*, int32_t, uint32_t, uint32_t) { ++capture->frames; });
    _capture->capturer.startPacketCapturer(interfaceName.c_str(), "");
    _capture->running = true;
    ++_statusVersion;
    return {{"file", _capture->capturer.getFilePath()}};
}

nlohmann::json Session::stopCapture() {
    std::lock_guard<std::mutex> lock(_captureMutex);
    if (!_capture || !_capture->running)
        throw RequestError(409, "no capture is running");
    _capture->capturer.stopPacketCapturer();
    _capture->running = false;
    const std::string path = _capture->capturer.getFilePath();
    std::ifstream probe(path);
    if (!probe) {
        // No frame arrived: the writer creates the file with its first frame only.
        ++_statusVersion;
        return {{"frames", 0}};
    }
    const std::size_t slash = path.rfind('/');
    _capture->download = _downloads.add(path, path.substr(slash + 1), "application/vnd.tcpdump.pcap");
    ++_statusVersion;
    return {{"download", _capture->download}, {"frames", _capture->frames.load()}};
}

namespace {

uint64_t number(const nlohmann::json& form, const char* key, uint64_t max) {
    if (!form.contains(key))
        throw RequestError(400, std::string("missing field ") + key);
    const nlohmann::json& v = form[key];
    uint64_t n = 0;
    if (v.is_number_unsigned())
        n = v.get<uint64_t>();
    else if (v.is_string()) {
        const std::string s = v.get<std::string>();
        std::size_t used = 0;
        try {
            n = std::stoull(s, &used, 0);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != s.size())
            throw RequestError(400, std::string("field ") + key + " is no number");
    } else
        throw RequestError(400, std::string("field ") + key + " is no number");
    if (n > max)
        throw RequestError(400, std::string("field ") + key + " is out of range");
    return n;
}

std::string text(const nlohmann::json& form, const char* key) {
    if (!form.contains(key) || !form[key].is_string())
        throw RequestError(400, std::string("missing field ") + key);
    return form[key].get<std::string>();
}

} // namespace

nlohmann::json Session::writeGooseCid(const nlohmann::json& form) {
    GooseOut out;
    out.macAddress = text(form, "macAddress");
    out.appId = number(form, "appId", 0xFFFF);
    out.vlanId = number(form, "vlanId", 4095);
    out.vlanPriority = number(form, "vlanPriority", 7);
    out.dataSetName = text(form, "dataSetName");
    out.ldReference = text(form, "ldReference");
    out.goCbRef = text(form, "goCbRef");
    out.confRev = number(form, "confRev", 0xFFFFFFFF);
    out.minTime = number(form, "minTime", 0xFFFFFFFF);
    out.maxTime = number(form, "maxTime", 0xFFFFFFFF);
    out.fcdaList = text(form, "fcdaList");
    return _writeCid(GooseToCid::kDefaultFileName,
                     [&out](const std::string& path) { GooseToCid().saveToCid(out, path); });
}

nlohmann::json Session::writeSvCid(const nlohmann::json& form) {
    SvOut out;
    out.macAddress = text(form, "macAddress");
    out.appId = static_cast<uint16_t>(number(form, "appId", 0xFFFF));
    out.vlanId = static_cast<uint16_t>(number(form, "vlanId", 4095));
    out.vlanPriority = static_cast<uint16_t>(number(form, "vlanPriority", 7));
    if (!form.contains("channels") || !form["channels"].is_array() || form["channels"].empty())
        throw RequestError(400, "the publication needs at least one channel");
    for (const nlohmann::json& channel : form["channels"]) {
        if (!channel.is_string() || channel.get<std::string>().empty())
            throw RequestError(400, "a channel is an object path text");
        out.channels.emplace_back(channel.get<std::string>(), nullptr, 1.0, 0.0);
    }
    return _writeCid(SvToCid::kDefaultFileName,
                     [&out](const std::string& path) { SvToCid().saveToCid(out, path); });
}

nlohmann::json Session::_writeCid(const char* name, const std::function<void(const std::string&)>& write) {
    std::string path;
    {
        std::lock_guard<std::mutex> lock(_modelMutex);
        path = _newFilePath(name);
    }
    try {
        write(path);
    } catch (const std::exception& e) {
        throw RequestError(422, std::string("the CID file cannot be written: ") + e.what());
    }
    return {{"download", _downloads.add(path, name, "application/xml")}, {"name", name}};
}

} // namespace iecx::ui
