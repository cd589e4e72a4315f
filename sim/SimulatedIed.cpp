#include "sim/SimulatedIed.h"

#include "sim/GoosePublishing.h"
#include "sim/Reports.h"
#include "sim/Server.h"
#include "sim/SvPublishing.h"
#include "sim/ValueChanger.h"
#include "stack/src/mms/server/MmsServer.h"

#include <stdexcept>

namespace iecx::sim {

SimulatedIed::SimulatedIed() = default;

SimulatedIed::~SimulatedIed() {
    stop();
    // Members that point into the model go first.
    _changer.reset();
    _handler.reset();
    _sv.reset();
    _goose.reset();
    _reports.reset();
}

void SimulatedIed::load(const std::string& file, const std::string& iedName) {
    if (isRunning())
        throw std::runtime_error("cannot load a model while the simulated IED runs");
    auto model = Model::load(file, iedName);
    _changer.reset();
    _handler.reset();
    _sv.reset();
    _goose.reset();
    _reports.reset();
    _model = std::move(model);
    _reports = std::make_unique<ReportEngine>(*_model);
    _goose = std::make_unique<GoosePublishing>(*_model);
    _sv = std::make_unique<SvPublishing>(*_model);
    _handler = std::make_unique<SimServerHandler>(*_model, *_reports, *_goose);
    _changer = std::make_unique<ValueChanger>(*_model);
    ReportEngine* reports = _reports.get();
    GoosePublishing* goose = _goose.get();
    _model->addChangeListener([reports](const std::vector<ValueChange>& c) { reports->onChanges(c); });
    _model->addChangeListener([goose](const std::vector<ValueChange>& c) { goose->onChanges(c); });
}

bool SimulatedIed::start(const std::string& bindAddress, uint16_t port, const std::string& publishInterface) {
    if (!_model) {
        _error = "no model loaded";
        return false;
    }
    if (isRunning())
        return true;
    _reports->start();
    if (!publishInterface.empty() && !_goose->start(publishInterface)) {
        _error = _goose->lastError();
        _reports->stop();
        return false;
    }
    if (!publishInterface.empty() && !_sv->start(publishInterface)) {
        _error = _sv->lastError();
        _goose->stop();
        _reports->stop();
        return false;
    }
    stack::mms::MmsServerOptions options;
    options.password = _password;
    _server = std::make_unique<stack::mms::MmsServer>(*_handler, options);
    if (!_server->start(bindAddress, port)) {
        _error = _server->lastError();
        _server.reset();
        _sv->stop();
        _goose->stop();
        _reports->stop();
        return false;
    }
    return true;
}

void SimulatedIed::stop() {
    if (_changer)
        _changer->setPeriod(0);
    if (_server) {
        _server->stop();
        _server.reset();
    }
    if (_sv)
        _sv->stop();
    if (_goose)
        _goose->stop();
    if (_reports)
        _reports->stop();
}

bool SimulatedIed::isRunning() const {
    return _server && _server->isRunning();
}

uint16_t SimulatedIed::port() const {
    return _server ? _server->port() : 0;
}

bool SimulatedIed::setValue(const std::string& reference, const MmsValue* value) {
    stack::mms::AccessPath steps;
    ModelNode* node = _model ? _model->findReference(reference, &steps) : nullptr;
    return node && _model->setValue(node, steps, value);
}

MmsValue* SimulatedIed::getValue(const std::string& reference) const {
    stack::mms::AccessPath steps;
    ModelNode* node = _model ? _model->findReference(reference, &steps) : nullptr;
    if (!node)
        return nullptr;
    std::lock_guard<std::mutex> lock(_model->mutex());
    return _model->readLocked(node, steps);
}

void SimulatedIed::changeValuesEvery(int ms) {
    if (_changer)
        _changer->setPeriod(ms);
}

uint64_t SimulatedIed::reportsSent() const {
    return _reports ? _reports->reportsSent() : 0;
}
uint64_t SimulatedIed::gooseFramesSent() const {
    return _goose ? _goose->framesSent() : 0;
}
uint64_t SimulatedIed::svFramesSent() const {
    return _sv ? _sv->framesSent() : 0;
}
SimulatedIed::Summary SimulatedIed::summary() const {
    Summary out;
    if (!_model)
        return out;
    out.iedName = _model->iedName();
    out.logicalDevices = _model->domains().size();
    out.attributes = _model->attributeCount();
    for (const auto& d : _model->domains()) {
        out.gooseBlocks += d->gooses.size();
        out.reportBlocks += d->reports.size();
        out.svBlocks += d->svs.size();
    }
    if (_sv)
        out.svSkipped = _sv->skipped();
    return out;
}

const SvPublishing* SimulatedIed::svPublishing() const {
    return _sv.get();
}
uint64_t SimulatedIed::requestCount() const {
    return _handler ? _handler->requestCount() : 0;
}
size_t SimulatedIed::connectionCount() const {
    return _handler ? _handler->openConnections() : 0;
}

} // namespace iecx::sim
