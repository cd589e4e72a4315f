#include "ui/LiveValues.h"

#include "mms_value.h"

#include <algorithm>
#include <map>

namespace iecx::ui {

namespace {

// A quality is a 13-bit string: validity in the first two bits, test in bit 11.
bool isQuality(const MmsValue* value) {
    return MmsValue_getType(value) == MMS_BIT_STRING && MmsValue_getBitStringSize(value) == 13;
}

std::string qualityText(const MmsValue* q) {
    const bool b0 = MmsValue_getBitStringBit(q, 0);
    const bool b1 = MmsValue_getBitStringBit(q, 1);
    std::string text = !b0 && !b1 ? "good" : (b0 && b1 ? "questionable" : "invalid");
    if (MmsValue_getBitStringBit(q, 11))
        text += " test";
    return text;
}

} // namespace

LiveValues::LiveValues(std::size_t maxValues) : _maxValues(maxValues) {}

void LiveValues::describe(const MmsValue* value, ValueState& state) {
    state.numeric = false;
    state.quality.clear();
    if (value == nullptr) {
        state.text = "(none)";
        return;
    }
    char buffer[512];
    MmsValue_printToBuffer(value, buffer, sizeof buffer);
    state.text = buffer;
    switch (MmsValue_getType(value)) {
    case MMS_BOOLEAN:
        state.numeric = true;
        state.number = MmsValue_getBoolean(value) ? 1 : 0;
        break;
    case MMS_INTEGER:
    case MMS_UNSIGNED:
        state.numeric = true;
        state.number = static_cast<double>(MmsValue_toInt64(value));
        break;
    case MMS_FLOAT:
        state.numeric = true;
        state.number = MmsValue_toDouble(value);
        break;
    case MMS_BIT_STRING:
        if (isQuality(value))
            state.quality = qualityText(value);
        break;
    case MMS_STRUCTURE:
        // A whole data object: its first basic number is what a plot shows, its quality the row's.
        for (uint32_t i = 0; i < MmsValue_getArraySize(value); ++i) {
            const MmsValue* member = MmsValue_getElement(value, static_cast<int>(i));
            if (member == nullptr)
                continue;
            if (isQuality(member) && state.quality.empty()) {
                state.quality = qualityText(member);
            } else if (!state.numeric && MmsValue_getType(member) != MMS_STRUCTURE &&
                       MmsValue_getType(member) != MMS_BIT_STRING) {
                ValueState inner;
                describe(member, inner);
                state.numeric = inner.numeric;
                state.number = inner.number;
            }
        }
        break;
    default:
        break;
    }
}

void LiveValues::reset(const std::vector<std::string>& paths) {
    std::lock_guard<std::mutex> lock(_mutex);
    _values.clear();
    _qualityOf.clear();
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < paths.size() && i < _maxValues; ++i) {
        ValueState state;
        state.path = paths[i];
        _values.push_back(std::move(state));
        index.emplace(paths[i], i);
    }
    // A separate quality attribute of the same data object (".q" next to ".stVal") qualifies it.
    for (std::size_t i = 0; i < _values.size(); ++i) {
        // "LD/LN.DO.stVal[ST]": the functional constraint stays on the sibling's path.
        const std::string& path = _values[i].path;
        const std::size_t bracket =
            path.size() > 0 && path.back() == ']' ? path.rfind('[') : std::string::npos;
        const std::string bare = bracket == std::string::npos ? path : path.substr(0, bracket);
        const std::string fc = bracket == std::string::npos ? std::string() : path.substr(bracket);
        const std::size_t dot = bare.rfind('.');
        auto q = dot == std::string::npos ? index.end() : index.find(bare.substr(0, dot) + ".q" + fc);
        _qualityOf.push_back(q == index.end() || q->second == i ? kNone : q->second);
    }
    ++_generation;
    _numbered = false;
    _messages = 0;
    _errors = 0;
}

void LiveValues::store(const VorIec61850::MmsValueElementList& values) {
    std::lock_guard<std::mutex> lock(_mutex);
    ++_messages;
    const uint64_t sequence = ++_sequence;
    for (std::size_t i = 0; i < values.size() && i < _values.size(); ++i) {
        if (!values[i])
            continue;
        ValueState& state = _values[i];
        describe(values[i]->getValue(), state);
        state.timestamp = values[i]->getUnixTimestamp();
        ++state.updates;
        state.sequence = sequence;
    }
    for (std::size_t i = 0; i < _values.size(); ++i)
        if (_qualityOf[i] != kNone && _values[i].sequence == sequence && _values[i].quality.empty())
            _values[i].quality = _values[_qualityOf[i]].quality;
}

void LiveValues::setMessageNumbers(uint32_t stNum, uint32_t sqNum) {
    std::lock_guard<std::mutex> lock(_mutex);
    _numbered = true;
    _stNum = stNum;
    _sqNum = sqNum;
}

void LiveValues::countMessage() {
    std::lock_guard<std::mutex> lock(_mutex);
    ++_messages;
}

void LiveValues::countError() {
    std::lock_guard<std::mutex> lock(_mutex);
    ++_errors;
}

LiveValues::Changes LiveValues::changedSince(uint64_t generation, uint64_t sequence) const {
    std::lock_guard<std::mutex> lock(_mutex);
    Changes changes;
    changes.generation = _generation;
    changes.sequence = _sequence;
    changes.messages = _messages;
    changes.errors = _errors;
    changes.all = generation != _generation;
    changes.numbered = _numbered;
    changes.stNum = _stNum;
    changes.sqNum = _sqNum;
    for (const ValueState& state : _values)
        if (changes.all || state.sequence > sequence)
            changes.values.push_back(state);
    return changes;
}

uint64_t LiveValues::sequence() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _sequence;
}

SvWaveforms::SvWaveforms(std::size_t samples) : _samples(samples) {}

void SvWaveforms::reset() {
    std::lock_guard<std::mutex> lock(_mutex);
    _counters = {};
    _rings.clear();
    _next = 0;
    _filled = 0;
    ++_version;
}

void SvWaveforms::store(const VorIec61850::SvStreamMonitor::Snapshot& snapshot) {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_rings.size() != snapshot.values.size()) {
        _rings.assign(snapshot.values.size(), std::vector<int32_t>(_samples, 0));
        _next = 0;
        _filled = 0;
    }
    for (std::size_t c = 0; c < _rings.size(); ++c)
        _rings[c][_next] = snapshot.values[c];
    _next = (_next + 1) % _samples;
    _filled = std::min(_filled + 1, _samples);
    _counters = snapshot;
    _counters.values.clear();
    _counters.qualities.clear();
    ++_version;
}

SvWaveforms::View SvWaveforms::view() const {
    std::lock_guard<std::mutex> lock(_mutex);
    View view;
    view.version = _version;
    view.counters = _counters;
    const std::size_t first = (_next + _samples - _filled) % _samples;
    for (const std::vector<int32_t>& ring : _rings) {
        std::vector<int32_t> channel;
        channel.reserve(_filled);
        for (std::size_t i = 0; i < _filled; ++i)
            channel.push_back(ring[(first + i) % _samples]);
        view.channels.push_back(std::move(channel));
    }
    return view;
}

uint64_t SvWaveforms::version() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _version;
}

} // namespace iecx::ui
