#pragma once
#include "acquisition/GooseIn.h"
#include "acquisition/IMmsPool.h"
#include "acquisition/MmsPollingTarget.h"
#include "acquisition/MmsReportTarget.h"
#include "acquisition/SvIn.h"
#include "acquisition/SvStreamMonitor.h"
#include "host/NonCopyable.h"
#include "host/Result.h"
#include "mms/MmsValueElement.h"
#include "models/Choices.h"
#include "scl/SclRecords.h"

#include <sigc++/sigc++.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace VorIec61850 {

class VorIec61850Model;
class SourceModel;

// The one path every host takes from the user's choice to values: it connects the sources'
// signals to the root's data tree and parameters, builds the target of the chosen control block
// and the checked leaves, and runs the pool that serves it.
//
// Used from the host's thread. Pools deliver on their own threads: `valuesUpdated` is emitted
// there, and getValues() / getSvSnapshot() hand out locked copies that any thread may read.
class AcquisitionWorkflow : public sigc::trackable, Vor::NonCopyable {
public:
    // How the values are acquired; MMS reports unless polling is asked for.
    enum class Mode { Reports, Polling, Goose, SampledValues };

    // Everything a pool needs, built from the current choice.
    struct Target {
        Mode mode = Mode::Reports;
        GooseIn goose;
        MmsReportTarget report;
        MmsPollingTarget polling;
        SvIn sv;
        // The checked leaves (object path, unit), in value order.
        std::vector<std::pair<std::string, std::string>> leaves;
    };

    explicit AcquisitionWorkflow(VorIec61850Model& root);
    ~AcquisitionWorkflow();

    // Emitted after each refresh of the values, on the pool's thread.
    sigc::signal<void> valuesUpdated;

    // The choices as a host makes them, through the models' own units and slots. Each fails
    // with a message that names what is available.
    // Selects the file source and reads the SCL file.
    Vor::Result openFile(const std::string& path);
    // Selects the device source and reads the IED at host:port.
    Vor::Result connectDevice(const std::string& host, int port = 102);
    void chooseProtocol(TransferProtocol protocol);
    Vor::Result chooseDevice(const std::string& name);
    Vor::Result chooseElement(const std::string& name);
    // Checks or unchecks every leaf of the data tree.
    void checkAll(bool checked);

    // The source the settings' data source selects.
    SourceModel* getActiveSource() const;
    // The protocol chosen in the active source.
    TransferProtocol getProtocol() const;

    // Interface for GOOSE and Sampled Values; empty listens on all interfaces.
    void setInterface(const std::string& name) { _interface = name; }
    // How long a connection attempt to an IED may take.
    void setConnectTimeout(uint32_t milliseconds) { _connectTimeout = milliseconds; }
    // With MMS reports chosen, read the values by polling every periodMs instead.
    void setPolling(bool on, uint64_t periodMs = 1000);

    // The GOOSE target of control block `index` of an access point read from an SCL file: its
    // reference, APPID (when the file has one), destination MAC, GoID, confRev and data set; no
    // paths and no interface.
    static GooseIn gooseTarget(const tConnectedAP& ap, std::size_t index);

    // The target of the current choice and checked leaves; fails with a message when nothing
    // usable is chosen.
    Vor::Result buildTarget(Target& target) const;

    // Builds the target, creates the pool, sets the target and starts it. A failure leaves no
    // pool running and says why.
    Vor::Result start();
    void stop();
    bool isRunning() const;
    Mode getMode() const;

    // The running (or last) target and pool; the pool is null for Sampled Values.
    const Target& getTarget() const { return _target; }
    IMmsPool* getPool() const { return _pool.get(); }
    SvStreamMonitor* getSvMonitor() const { return _sv.get(); }

    // A copy of the value list (one entry per checked leaf, null until its first value).
    MmsValueElementList getValues() const;
    SvStreamMonitor::Snapshot getSvSnapshot() const;

private:
    void _onPoolValues(IMmsPool& pool);
    Vor::Result _buildFileTarget(Target& target) const;
    Vor::Result _buildDeviceTarget(Target& target) const;

    VorIec61850Model& _root;
    std::string _interface;
    bool _polling = false;
    uint32_t _connectTimeout = 3000;
    uint64_t _pollingPeriod = 1000;
    Target _target;
    std::unique_ptr<IMmsPool> _pool;
    std::unique_ptr<SvStreamMonitor> _sv;
    mutable std::mutex _valuesMutex;
    MmsValueElementList _values;
};

} // namespace VorIec61850
