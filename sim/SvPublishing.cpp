#include "sim/SvPublishing.h"

#include "iec61850_common.h"
#include "sv_publisher.h"

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace iecx::sim {

namespace {

constexpr int64_t kNsPerSecond = 1000000000;
// Longest sleep between checks of the stop request (slow streams).
constexpr int64_t kMaxSleepNs = 50 * 1000000;
// A stream further behind than this skips ahead instead of sending what it owes.
constexpr int64_t kMaxBacklogNs = kNsPerSecond;
constexpr int64_t kWakeGranularityNs = 1000000;
constexpr double kTwoPi = 6.283185307179586;

enum class Encoding { Int8, Int32, Int64, Float32, Float64, Quality, Timestamp };
// The publisher call that reserves a value of each encoding, in the order of Encoding.
int (*const kAdd[])(SVPublisher_ASDU) = {SVPublisher_ASDU_addINT8,     SVPublisher_ASDU_addINT32,
                                         SVPublisher_ASDU_addINT64,    SVPublisher_ASDU_addFLOAT,
                                         SVPublisher_ASDU_addFLOAT64,  SVPublisher_ASDU_addQuality,
                                         SVPublisher_ASDU_addTimestamp};
enum class Signal { None, Current, Voltage };

int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

int64_t realtimeNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

void sleepUntil(int64_t monotonic) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(monotonic / kNsPerSecond);
    ts.tv_nsec = static_cast<long>(monotonic % kNsPerSecond);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// How a leaf of this SCL basic type goes into the sample buffer; false for types a stream cannot
// carry.
bool encodingOf(const std::string& bType, Encoding& out) {
    if (bType == "BOOLEAN" || bType == "INT8" || bType == "INT8U")
        out = Encoding::Int8;
    else if (bType == "INT32" || bType == "INT32U" || bType == "INT24U" || bType == "Enum")
        out = Encoding::Int32;
    else if (bType == "INT64")
        out = Encoding::Int64;
    else if (bType == "FLOAT32")
        out = Encoding::Float32;
    else if (bType == "FLOAT64")
        out = Encoding::Float64;
    else if (bType == "Quality")
        out = Encoding::Quality;
    else if (bType == "Timestamp")
        out = Encoding::Timestamp;
    else
        return false;
    return true;
}

// A magnitude ("i" or "f") of a data object in a current or voltage transformer node.
Signal signalOf(const ModelNode& leaf, Encoding encoding) {
    if ((encoding != Encoding::Int32 && encoding != Encoding::Float32) ||
        (leaf.name != "i" && leaf.name != "f"))
        return Signal::None;
    const ModelNode* dataObject = &leaf;
    while (dataObject->parent && dataObject->parent->kind != ModelNode::Kind::FcGroup)
        dataObject = dataObject->parent;
    const ModelNode* ln = leaf.logicalNode();
    std::string lnName = ln ? ln->name : "";
    if (lnName.find("TCTR") != std::string::npos || dataObject->name.rfind("Amp", 0) == 0)
        return Signal::Current;
    if (lnName.find("TVTR") != std::string::npos || dataObject->name.rfind("Vol", 0) == 0)
        return Signal::Voltage;
    return Signal::None;
}

// One value of the data set in each ASDU.
struct Channel {
    ModelNode* node = nullptr;
    Encoding encoding = Encoding::Int32;
    int offset = 0; // in the ASDU's data, the same in every ASDU
    Signal signal = Signal::None;
    int phase = 0; // 0, 1, 2 for A, B, C; 3 for N
    // The model's value, refreshed once per frame for channels without a signal.
    int64_t integer = 0;
    double real = 0;
    Timestamp time{};
};

// Currents (mA) and voltages (10 mV) of phases A, B, C and N at one angle of the 50 Hz wave, as
// reals and as rounded integers; N is the sum of the other three.
struct Phases {
    double current[4] = {0, 0, 0, 0};
    double voltage[4] = {0, 0, 0, 0};
    int32_t currentInt[4] = {0, 0, 0, 0};
    int32_t voltageInt[4] = {0, 0, 0, 0};

    explicit Phases(double angle) {
        const double lag = kCurrentLagDeg * kTwoPi / 360.0;
        for (int p = 0; p < 3; ++p) {
            double shift = p * kTwoPi / 3.0;
            current[p] = kCurrentPeak * std::sin(angle - shift - lag);
            voltage[p] = kVoltagePeak * std::sin(angle - shift);
            currentInt[p] = static_cast<int32_t>(std::lround(current[p]));
            voltageInt[p] = static_cast<int32_t>(std::lround(voltage[p]));
            current[3] += current[p];
            voltage[3] += voltage[p];
            currentInt[3] += currentInt[p];
            voltageInt[3] += voltageInt[p];
        }
    }
};

} // namespace

struct SvPublishing::Stream {
    const SvControlDef* def = nullptr;
    std::vector<Channel> channels;
    bool readsModel = false;
    SVPublisher publisher = nullptr;
    std::vector<SVPublisher_ASDU> asdus;
    std::string dataSetRef;
    // Samples per second = num / den; an epoch lasts den seconds and holds num samples.
    uint64_t num = 4000;
    uint64_t den = 1;
    uint32_t wrap = 4000;
    uint16_t nofAsdu = 1;
    int64_t epochStart = 0; // monotonic time of the epoch's first sample
    uint64_t next = 0;      // the next sample's index in its epoch
    uint32_t smpCnt = 0;    // the next sample's counter

    int64_t timeOf(uint64_t index) const {
        uint64_t epochs = index / num;
        uint64_t rest = index % num;
        return epochStart + static_cast<int64_t>(epochs * den) * kNsPerSecond +
               static_cast<int64_t>(rest * den * static_cast<uint64_t>(kNsPerSecond) / num);
    }
    int64_t due() const { return timeOf(next + nofAsdu - 1); }

    // Places the first sample at or after `now` on the grid that starts at the last full second
    // of the system clock.
    void align(int64_t nowMonotonic, int64_t nowRealtime) {
        int64_t intoSecond = nowRealtime % kNsPerSecond;
        epochStart = nowMonotonic - intoSecond;
        uint64_t index =
            (static_cast<uint64_t>(intoSecond) * num + den * kNsPerSecond - 1) / (den * kNsPerSecond);
        epochStart += static_cast<int64_t>(index / num * den) * kNsPerSecond;
        next = index % num;
        smpCnt = static_cast<uint32_t>(next % wrap);
    }

    void advance() {
        smpCnt = (smpCnt + 1) % wrap;
        if (++next == num) {
            next = 0;
            epochStart += static_cast<int64_t>(den) * kNsPerSecond;
        }
    }
};

SvPublishing::SvPublishing(Model& model) : _model(model) {
    for (const auto& domain : _model.domains()) {
        for (const SvControlDef& def : domain->svs) {
            auto skip = [&](const std::string& why) { _skipped.push_back(def.reference + ": " + why); };
            if (!def.dataSet) {
                skip("no data set");
                continue;
            }
            if (def.smpRate == 0) {
                skip("sample rate 0");
                continue;
            }
            auto stream = std::make_unique<Stream>();
            stream->def = &def;
            stream->dataSetRef = def.dataSet->mmsReference();
            stream->nofAsdu = std::max<uint16_t>(def.nofAsdu, 1);
            if (def.smpMod == 2) { // seconds per sample
                stream->num = 1;
                stream->den = def.smpRate;
            } else {
                stream->num = def.smpMod == 1 ? def.smpRate : static_cast<uint64_t>(def.smpRate) * 50;
                stream->den = 1;
            }
            stream->wrap =
                stream->den == 1 && stream->num <= 65536 ? static_cast<uint32_t>(stream->num) : 65536;
            int phases[2] = {0, 0};
            bool usable = true;
            for (const DataSetMember& m : def.dataSet->members) {
                std::vector<ModelNode*> leaves;
                if (m.node)
                    m.node->collectLeaves(leaves);
                if (leaves.empty()) {
                    skip("data set member " + m.item + " is not in the model");
                    usable = false;
                    break;
                }
                for (ModelNode* leaf : leaves) {
                    Channel c;
                    c.node = leaf;
                    if (!encodingOf(leaf->bType, c.encoding)) {
                        skip("data set member " + leaf->itemId() + " of type " + leaf->bType +
                             " cannot be sampled");
                        usable = false;
                        break;
                    }
                    c.signal = signalOf(*leaf, c.encoding);
                    if (c.signal != Signal::None)
                        c.phase = phases[c.signal == Signal::Current ? 0 : 1]++ % 4;
                    else
                        stream->readsModel = true;
                    stream->channels.push_back(c);
                }
                if (!usable)
                    break;
            }
            if (usable)
                _streams.push_back(std::move(stream));
        }
    }
}

SvPublishing::~SvPublishing() {
    stop();
}

bool SvPublishing::start(const std::string& interfaceName) {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_running)
        return true;
    auto closeAll = [this] {
        for (auto& s : _streams) {
            if (s->publisher)
                SVPublisher_destroy(s->publisher);
            s->publisher = nullptr;
            s->asdus.clear();
        }
    };
    for (auto& s : _streams) {
        const SvControlDef& def = *s->def;
        CommParameters params{};
        params.vlanPriority = def.vlanPriority;
        params.vlanId = def.vlanId;
        params.appId = def.appId;
        std::memcpy(params.dstAddress, def.dstAddress, 6);
        s->publisher = SVPublisher_create(&params, interfaceName.c_str());
        if (!s->publisher) {
            _error = "cannot open interface '" + interfaceName + "' for Sampled Values";
            closeAll();
            return false;
        }
        for (uint16_t i = 0; i < s->nofAsdu; ++i) {
            SVPublisher_ASDU asdu =
                SVPublisher_addASDU(s->publisher, def.smvId.c_str(),
                                    def.dataSetOpt ? s->dataSetRef.c_str() : nullptr, def.confRev);
            for (Channel& c : s->channels)
                c.offset = kAdd[static_cast<int>(c.encoding)](asdu);
            SVPublisher_ASDU_setSmpSynch(asdu, def.sampleSynchronized ? 1 : 0);
            if (def.sampleRate) {
                SVPublisher_ASDU_setSmpRate(asdu, def.smpRate);
                SVPublisher_ASDU_setSmpMod(asdu, def.smpMod);
            }
            if (def.refreshTime)
                SVPublisher_ASDU_enableRefrTm(asdu);
            s->asdus.push_back(asdu);
        }
        SVPublisher_setupComplete(s->publisher);
    }
    if (_streams.empty())
        return true;
    int64_t mono = monotonicNs();
    int64_t real = realtimeNs();
    for (auto& s : _streams)
        s->align(mono, real);
    _running = true;
    _thread = std::thread(&SvPublishing::_run, this);
    return true;
}

void SvPublishing::stop() {
    std::lock_guard<std::mutex> lock(_mutex);
    _running = false;
    if (_thread.joinable())
        _thread.join();
    for (auto& s : _streams) {
        if (s->publisher)
            SVPublisher_destroy(s->publisher);
        s->publisher = nullptr;
        s->asdus.clear();
    }
}

bool SvPublishing::isRunning() const {
    return _running;
}

std::string SvPublishing::lastError() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _error;
}

void SvPublishing::_run() {
    pthread_setname_np(pthread_self(), "sim_sv");
    // System time of a monotonic instant, for refrTm (fixed at start, as the sample grid is).
    const int64_t realtimeOffset = realtimeNs() - monotonicNs();
    int64_t lastWake = 0;
    while (_running) {
        Stream* first = nullptr;
        for (auto& s : _streams)
            if (!first || s->due() < first->due())
                first = s.get();
        int64_t now = monotonicNs();
        int64_t due = first->due();
        if (due > now) {
            sleepUntil(std::min(std::max(due, lastWake + kWakeGranularityNs), now + kMaxSleepNs));
            lastWake = monotonicNs();
            continue;
        }
        if (now - due > kMaxBacklogNs)
            first->align(now, now + realtimeOffset);
        else
            _send(*first, realtimeOffset);
    }
}

void SvPublishing::_send(Stream& s, int64_t realtimeOffsetNs) {
    if (s.readsModel) {
        std::lock_guard<std::mutex> lock(_model.mutex());
        for (Channel& c : s.channels) {
            if (c.signal != Signal::None)
                continue;
            const MmsValue* v = c.node->value;
            switch (c.encoding) {
            case Encoding::Int8:
                c.integer = MmsValue_getType(v) == MMS_BOOLEAN ? MmsValue_getBoolean(v) : MmsValue_toInt32(v);
                break;
            case Encoding::Int32:
            case Encoding::Int64:
                c.integer = MmsValue_toInt64(v);
                break;
            case Encoding::Float32:
            case Encoding::Float64:
                c.real = MmsValue_toDouble(v);
                break;
            case Encoding::Quality:
                c.integer = Quality_fromMmsValue(v);
                break;
            case Encoding::Timestamp:
                std::memcpy(c.time.val, MmsValue_getUtcTimeBuffer(const_cast<MmsValue*>(v)), 8);
                break;
            }
        }
    }
    for (SVPublisher_ASDU asdu : s.asdus) {
        // 50 Hz angle of this sample within its epoch (a whole number of seconds).
        Phases phases(kTwoPi * static_cast<double>(s.next * s.den * 50 % s.num) / static_cast<double>(s.num));
        for (const Channel& c : s.channels) {
            switch (c.encoding) {
            case Encoding::Int8:
                SVPublisher_ASDU_setINT8(asdu, c.offset, static_cast<int8_t>(c.integer));
                break;
            case Encoding::Int32: {
                int32_t v = c.signal == Signal::Current   ? phases.currentInt[c.phase]
                            : c.signal == Signal::Voltage ? phases.voltageInt[c.phase]
                                                          : static_cast<int32_t>(c.integer);
                SVPublisher_ASDU_setINT32(asdu, c.offset, v);
                break;
            }
            case Encoding::Int64:
                SVPublisher_ASDU_setINT64(asdu, c.offset, c.integer);
                break;
            case Encoding::Float32: {
                double v = c.signal == Signal::Current   ? phases.current[c.phase] / 1000.0
                           : c.signal == Signal::Voltage ? phases.voltage[c.phase] / 100.0
                                                         : c.real;
                SVPublisher_ASDU_setFLOAT(asdu, c.offset, static_cast<float>(v));
                break;
            }
            case Encoding::Float64:
                SVPublisher_ASDU_setFLOAT64(asdu, c.offset, c.real);
                break;
            case Encoding::Quality:
                SVPublisher_ASDU_setQuality(asdu, c.offset, static_cast<Quality>(c.integer));
                break;
            case Encoding::Timestamp:
                SVPublisher_ASDU_setTimestamp(asdu, c.offset, c.time);
                break;
            }
        }
        SVPublisher_ASDU_setSmpCnt(asdu, static_cast<uint16_t>(s.smpCnt));
        if (s.def->refreshTime)
            SVPublisher_ASDU_setRefrTmNs(asdu, static_cast<uint64_t>(s.timeOf(s.next) + realtimeOffsetNs));
        s.advance();
    }
    SVPublisher_publish(s.publisher);
    ++_framesSent;
}

} // namespace iecx::sim
