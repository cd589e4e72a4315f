#pragma once
#include "host/NonCopyable.h"
#include "ui/Downloads.h"
#include "ui/LiveValues.h"

#include <nlohmann/json.hpp>
#include <sigc++/sigc++.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace VorTree {
class Node;
}

namespace iecx::ui {

// A request the page made that cannot be served: an HTTP status and a message for the user.
class RequestError : public std::runtime_error {
public:
    RequestError(int status, const std::string& message) : std::runtime_error(message), status(status) {}
    int status;
};

// What one `iecx ui` process shows and drives: the host's model nodes, the acquisition, a
// capture and the CID forms, and the files it wrote. The model nodes are not thread-safe, so
// every call that reaches them holds one lock; the page's requests arrive on the HTTP server's
// threads. Pools hand their values to liveValues() on their own threads, outside that lock.
class Session : public sigc::trackable, Vor::NonCopyable {
public:
    explicit Session(const std::string& workDirectory);
    ~Session();

    // Grows on every signal of the model nodes; a stream sends the model again when it moved.
    uint64_t modelVersion() const { return _modelVersion.load(); }
    // Grows when the acquisition or the capture starts, stops or fails.
    uint64_t statusVersion() const { return _statusVersion.load(); }

    // The model nodes as the page renders them: settings, params, tree.
    nlohmann::json modelJson();
    // Acquisition and capture state, the interfaces to capture on.
    nlohmann::json statusJson();

    // section "settings" or "params"; path holds the child positions from that node to the unit.
    void setUnit(const std::string& section, const std::vector<std::size_t>& path, const std::string& value);
    // ids lead from the tree's root to a check node.
    void check(const std::vector<std::string>& ids, bool checked);
    // An uploaded SCL file, read by the file source.
    void loadScl(const std::string& name, const std::string& content);
    // MMS type names ("BOOLEAN", "INTEGER", ...) shown in the tree from the next element change.
    void setTypeFilter(const std::vector<std::string>& types);
    nlohmann::json typeFilterJson();
    // The device source: stores the address and port, then reads the IED.
    void connectDevice(const std::string& address, int port);

    // Starts the pool of the current choice and checked leaves; interfaceName is where GOOSE and
    // Sampled Values are listened for (empty: every interface).
    void startAcquisition(const std::string& interfaceName);
    void stopAcquisition();

    // kind "goose", "sv" or "all" (every frame); returns the download id of the file.
    nlohmann::json startCapture(const std::string& interfaceName, const std::string& kind);
    nlohmann::json stopCapture();

    // The publication forms; each returns {"download": id, "name": file name}.
    nlohmann::json writeGooseCid(const nlohmann::json& form);
    nlohmann::json writeSvCid(const nlohmann::json& form);

    LiveValues& liveValues() { return _values; }
    SvWaveforms& svWaveforms() { return _sv; }
    Downloads& downloads() { return _downloads; }
    const std::string& workDirectory() const { return _workDirectory; }

private:
    struct Models;
    struct Capture;

    void _watch(VorTree::Node* node);
    void _onModelChanged() { ++_modelVersion; }
    void _onValuesUpdated();
    std::string _newFilePath(const std::string& name);
    // Writes a CID file into the work folder and offers it for download.
    nlohmann::json _writeCid(const char* name, const std::function<void(const std::string&)>& write);

    std::string _workDirectory;
    std::mutex _modelMutex;
    std::atomic<uint64_t> _modelVersion{1};
    std::atomic<uint64_t> _statusVersion{1};
    LiveValues _values;
    SvWaveforms _sv;
    Downloads _downloads;
    std::unique_ptr<Models> _models;
    std::mutex _captureMutex;
    std::unique_ptr<Capture> _capture;
    std::string _acquisitionError;
    unsigned _fileCounter = 0;
};

} // namespace iecx::ui
