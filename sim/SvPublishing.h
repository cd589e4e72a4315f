#pragma once
// Sampled Values of the simulated IED: one stream per SampledValueControl block with a usable data
// set, sent on the chosen interface to the block's SMV address (MAC, APPID, VLAN) with its svID,
// confRev, nofASDU and smpRate, and the optional fields its SmvOpts ask for (datSet, smpRate and
// smpMod, refrTm).
//
// Samples: 50 Hz three-phase quantities. An INT32 channel in a TCTR node (or a data object named
// Amp...) is a current in mA, one in a TVTR node (or Vol...) a voltage in units of 10 mV; FLOAT32
// channels carry A and V. Channels of each kind take the phases A, B, C, N in the order of the
// data set; N is the sum of the three phase values of the same sample. At sample counter n of a
// stream with S samples per second the phase-A voltage is
//     round(kVoltagePeak * sin(2 pi * 50 * n / S)),
// phases B and C lag by 120 and 240 degrees, and each current lags its voltage by kCurrentLagDeg.
// Quality words and every other member are the model's current values.
//
// Timing: smpCnt counts samples and wraps at the samples per second (0 at each second of the
// system clock when the rate divides it); a frame of nofASDU samples is due when its last sample
// is. One thread ("sim_sv") sleeps on the monotonic clock (absolute deadlines, so the long-run
// rate is exact) and wakes at most once a millisecond, sending every frame due by then: at 4000
// frames/s a few frames per wake-up instead of a wake-up per frame. After a hold-up it sends the
// frames it owes (up to one second's worth, beyond that it skips ahead).
#include "host/NonCopyable.h"
#include "sim/Model.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace iecx::sim {

constexpr double kSvFrequencyHz = 50.0;
constexpr double kCurrentPeak = 141421.0; // mA: 100 A rms
constexpr double kVoltagePeak = 816497.0; // 10 mV: 5773.5 V rms, 10 kV between phases
constexpr double kCurrentLagDeg = 30.0;

class SvPublishing : Vor::NonCopyable {
public:
    explicit SvPublishing(Model& model);
    ~SvPublishing();

    // Opens a publisher per stream on the interface and starts the sending thread (none when the
    // model has no stream). false, with a message in lastError(), when the interface cannot be
    // opened.
    bool start(const std::string& interfaceName);
    // Joins the sending thread and closes the publishers. Idempotent.
    void stop();
    bool isRunning() const;
    std::string lastError() const;

    // Number of control blocks that are published, and why the others are not.
    size_t streamCount() const { return _streams.size(); }
    const std::vector<std::string>& skipped() const { return _skipped; }
    uint64_t framesSent() const { return _framesSent.load(); }

    struct Stream;

private:
    Model& _model;
    std::vector<std::unique_ptr<Stream>> _streams;
    std::vector<std::string> _skipped;
    mutable std::mutex _mutex; // guards start/stop and _error
    std::string _error;
    std::thread _thread;
    std::atomic<bool> _running{false};
    std::atomic<uint64_t> _framesSent{0};

    void _run();
    void _send(Stream& stream, int64_t realtimeOffsetNs);
};

} // namespace iecx::sim
