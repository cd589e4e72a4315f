#include "sim/Reports.h"
#include "sim/Worker.h"

#include "iec61850_common.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

namespace iecx::sim {

namespace {

uint64_t nowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

// Option bits (bit k of a mask) live in bit k+1 of the OptFlds, TrgOps and ReasonCode strings.
uint32_t maskFromBits(const MmsValue* bits) {
    uint32_t mask = 0;
    int size = MmsValue_getBitStringSize(bits);
    for (int k = 0; k + 1 < size; ++k)
        if (MmsValue_getBitStringBit(bits, k + 1))
            mask |= 1u << k;
    return mask;
}

MmsValue* bitsFromMask(int size, uint32_t mask) {
    MmsValue* v = MmsValue_newBitString(size);
    for (int k = 0; k + 1 < size; ++k)
        MmsValue_setBitStringBit(v, k + 1, (mask >> k) & 1);
    return v;
}

struct ValueList {
    std::vector<MmsValue*> owned;
    ~ValueList() {
        for (MmsValue* v : owned)
            MmsValue_delete(v);
    }
    MmsValue* add(MmsValue* v) {
        owned.push_back(v);
        return v;
    }
};

} // namespace

ReportEngine::Entry::~Entry() {
    for (MmsValue* v : values)
        MmsValue_delete(v);
}

ReportEngine::ReportEngine(Model& model) : _model(model) {
    std::lock_guard<std::mutex> modelLock(_model.mutex());
    for (const auto& domain : _model.domains()) {
        for (auto& def : domain->reports) {
            auto rcb = std::make_unique<Rcb>();
            rcb->def = &def;
            rcb->node = def.node;
            for (auto& c : def.node->children)
                rcb->attributes[c->name] = c.get();
            rcb->dataSet = def.dataSet;
            rcb->rptId = def.rptId;
            rcb->optFlds = def.optFlds;
            rcb->trgOps = def.trgOps;
            rcb->bufTm = def.bufTime;
            rcb->intgPd = def.intgPd;
            rcb->confRev = def.confRev;
            _byNode[def.node] = rcb.get();
            _rcbs.push_back(std::move(rcb));
        }
    }
}

ReportEngine::~ReportEngine() {
    stop();
}

void ReportEngine::start() {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_running)
        return;
    _running = true;
    _thread = std::thread(&ReportEngine::_run, this);
}

void ReportEngine::stop() {
    if (!endWorker(_mutex, _running, _wake, _thread))
        return;
    std::lock_guard<std::mutex> lock(_mutex);
    for (auto& rcb : _rcbs)
        if (rcb->owner)
            _disable(*rcb);
}

bool ReportEngine::handles(const ModelNode* node) const {
    for (const ModelNode* n = node; n; n = n->parent)
        if (_byNode.count(n))
            return true;
    return false;
}

const std::unordered_multimap<const ModelNode*, int>& ReportEngine::_indexOf(const DataSet* ds) {
    auto it = _memberIndex.find(ds);
    if (it != _memberIndex.end())
        return it->second;
    auto& index = _memberIndex[ds];
    for (size_t i = 0; i < ds->members.size(); ++i) {
        if (!ds->members[i].node)
            continue;
        std::vector<ModelNode*> leaves;
        ds->members[i].node->collectLeaves(leaves);
        for (ModelNode* leaf : leaves)
            index.emplace(leaf, static_cast<int>(i));
    }
    return index;
}

void ReportEngine::_setAttribute(Rcb& rcb, const char* name, const MmsValue* value) {
    auto it = rcb.attributes.find(name);
    if (it == rcb.attributes.end())
        return;
    std::lock_guard<std::mutex> lock(_model.mutex());
    MmsValue_update(it->second->value, value);
}

DataSet* ReportEngine::_findDataSet(const std::string& reference) const {
    size_t slash = reference.find('/');
    if (slash == std::string::npos)
        return nullptr;
    Domain* d = _model.domain(reference.substr(0, slash));
    if (!d)
        return nullptr;
    std::string item = reference.substr(slash + 1);
    std::replace(item.begin(), item.end(), '.', '$');
    return d->dataSet(item);
}

MmsDataAccessError ReportEngine::write(const stack::mms::MmsServerConnectionPtr& connection, ModelNode* node,
                                       const MmsValue* value) {
    std::lock_guard<std::mutex> lock(_mutex);
    auto found = _byNode.find(node->parent);
    if (found == _byNode.end() || !node->isValueHolder())
        return DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED; // the whole block or a nested part
    Rcb& rcb = *found->second;
    if (MmsValue_getType(value) != MmsValue_getType(node->value))
        return DATA_ACCESS_ERROR_TYPE_INCONSISTENT;
    if (rcb.owner && rcb.owner->id() != connection->id())
        return DATA_ACCESS_ERROR_TEMPORARILY_UNAVAILABLE; // reserved by another client
    const std::string& attr = node->name;

    if (attr == "RptEna") {
        bool enable = MmsValue_getBoolean(value);
        if (enable && !rcb.dataSet)
            return DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID;
        if (enable && !rcb.enabled) {
            // Events still waiting for their buffer time become buffered entries; an
            // unbuffered block starts afresh.
            if (rcb.def->buffered) {
                _flushPending(rcb);
            } else {
                rcb.sqNum = 0;
                rcb.hasPending = false;
            }
            rcb.enabled = true;
            rcb.owner = connection;
            rcb.pending.assign(rcb.dataSet->members.size(), 0);
            rcb.nextIntegrity = Clock::now() + std::chrono::milliseconds(rcb.intgPd);
            _setAttribute(rcb, "RptEna", value);
            if (rcb.def->buffered)
                _sendBuffered(rcb);
            _wake.notify_all();
        } else if (!enable && rcb.enabled) {
            _disable(rcb);
        }
        return DATA_ACCESS_ERROR_SUCCESS;
    }
    if (attr == "GI") {
        // A general interrogation runs only while enabled; the attribute reads false again.
        if (MmsValue_getBoolean(value) && rcb.enabled && (rcb.trgOps & TRG_OPT_GI))
            _reportAll(rcb, TRG_OPT_GI);
        return DATA_ACCESS_ERROR_SUCCESS;
    }
    if (attr == "Resv") {
        if (rcb.enabled)
            return DATA_ACCESS_ERROR_TEMPORARILY_UNAVAILABLE;
        rcb.reserved = MmsValue_getBoolean(value);
        rcb.owner = rcb.reserved ? connection : nullptr;
        _setAttribute(rcb, "Resv", value);
        return DATA_ACCESS_ERROR_SUCCESS;
    }
    if (attr == "ConfRev" || attr == "SqNum" || attr == "TimeofEntry")
        return DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED;
    if (attr == "ResvTms") {
        _setAttribute(rcb, "ResvTms", value);
        return DATA_ACCESS_ERROR_SUCCESS;
    }
    // Everything else is configuration that changes only while the block is disabled.
    if (rcb.enabled)
        return DATA_ACCESS_ERROR_TEMPORARILY_UNAVAILABLE;
    if (attr == "PurgeBuf") {
        if (MmsValue_getBoolean(value)) {
            rcb.buffer.clear();
            rcb.overflow = false;
        }
        return DATA_ACCESS_ERROR_SUCCESS;
    }
    if (attr == "EntryID") {
        if (MmsValue_getOctetStringSize(value) != 8)
            return DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID;
        uint64_t id = 0;
        for (int i = 0; i < 8; ++i)
            id = (id << 8) | MmsValue_getOctetStringOctet(const_cast<MmsValue*>(value), i);
        bool known = id == 0 || std::any_of(rcb.buffer.begin(), rcb.buffer.end(),
                                            [id](const std::unique_ptr<Entry>& e) { return e->id == id; });
        if (!known)
            return DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID;
        rcb.lastSentId = id;
        _setAttribute(rcb, "EntryID", value);
        return DATA_ACCESS_ERROR_SUCCESS;
    }
    if (attr == "DatSet") {
        const char* text = MmsValue_toString(const_cast<MmsValue*>(value));
        std::string ref = text ? text : "";
        DataSet* ds = ref.empty() ? nullptr : _findDataSet(ref);
        if (!ref.empty() && !ds)
            return DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID;
        if (ds != rcb.dataSet) {
            rcb.dataSet = ds;
            rcb.buffer.clear();
            rcb.overflow = false;
        }
        MmsValue* canonical = MmsValue_newVisibleString(ds ? ds->mmsReference().c_str() : "");
        _setAttribute(rcb, "DatSet", canonical);
        MmsValue_delete(canonical);
        return DATA_ACCESS_ERROR_SUCCESS;
    }
    if (attr == "RptID") {
        const char* text = MmsValue_toString(const_cast<MmsValue*>(value));
        rcb.rptId = text ? text : "";
    } else if (attr == "OptFlds") {
        rcb.optFlds = static_cast<uint16_t>(maskFromBits(value));
    } else if (attr == "TrgOps") {
        rcb.trgOps = static_cast<uint8_t>(maskFromBits(value));
    } else if (attr == "BufTm") {
        rcb.bufTm = MmsValue_toUint32(value);
    } else if (attr == "IntgPd") {
        rcb.intgPd = MmsValue_toUint32(value);
    } else {
        return DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED;
    }
    _setAttribute(rcb, attr.c_str(), value);
    return DATA_ACCESS_ERROR_SUCCESS;
}

void ReportEngine::_disable(Rcb& rcb) {
    rcb.enabled = false;
    rcb.hasPending = false;
    if (!rcb.reserved)
        rcb.owner.reset();
    MmsValue* f = MmsValue_newBoolean(false);
    _setAttribute(rcb, "RptEna", f);
    MmsValue_delete(f);
}

void ReportEngine::connectionClosed(uint64_t connectionId) {
    std::lock_guard<std::mutex> lock(_mutex);
    for (auto& rcb : _rcbs) {
        if (!rcb->owner || rcb->owner->id() != connectionId)
            continue;
        rcb->reserved = false;
        MmsValue* f = MmsValue_newBoolean(false);
        _setAttribute(*rcb, "Resv", f);
        MmsValue_delete(f);
        _disable(*rcb);
    }
}

void ReportEngine::onChanges(const std::vector<ValueChange>& changes) {
    std::lock_guard<std::mutex> lock(_mutex);
    bool wake = false;
    for (auto& rcbPtr : _rcbs) {
        Rcb& rcb = *rcbPtr;
        // Buffered blocks collect entries while disabled as well; unbuffered ones only report live.
        if (!rcb.dataSet || (!rcb.enabled && !rcb.def->buffered))
            continue;
        if (rcb.pending.size() != rcb.dataSet->members.size())
            rcb.pending.assign(rcb.dataSet->members.size(), 0);
        const auto& index = _indexOf(rcb.dataSet);
        for (const ValueChange& change : changes) {
            uint8_t reason = change.reason & rcb.trgOps &
                             (TRG_OPT_DATA_CHANGED | TRG_OPT_QUALITY_CHANGED | TRG_OPT_DATA_UPDATE);
            if (!reason)
                continue;
            auto range = index.equal_range(change.node);
            for (auto it = range.first; it != range.second; ++it) {
                // A second change of a member already waiting sends the waiting report first.
                if (rcb.bufTm > 0 && rcb.pending[it->second])
                    _flushPending(rcb);
                if (!rcb.hasPending) {
                    rcb.hasPending = true;
                    rcb.pendingDeadline = Clock::now() + std::chrono::milliseconds(rcb.bufTm);
                    wake = true;
                }
                rcb.pending[it->second] |= reason;
            }
        }
        if (rcb.hasPending && rcb.bufTm == 0)
            _flushPending(rcb);
    }
    if (wake)
        _wake.notify_all();
}

void ReportEngine::_flushPending(Rcb& rcb) {
    if (!rcb.hasPending || !rcb.dataSet)
        return;
    auto entry = std::make_unique<Entry>();
    entry->timeMs = nowMs();
    entry->reasons = rcb.pending;
    entry->values.assign(rcb.pending.size(), nullptr);
    {
        std::lock_guard<std::mutex> lock(_model.mutex());
        for (size_t i = 0; i < rcb.pending.size(); ++i)
            if (rcb.pending[i])
                entry->values[i] = _model.readLocked(rcb.dataSet->members[i]);
    }
    std::fill(rcb.pending.begin(), rcb.pending.end(), 0);
    rcb.hasPending = false;
    _deliver(rcb, std::move(entry));
}

void ReportEngine::_reportAll(Rcb& rcb, uint8_t reason) {
    if (!rcb.dataSet)
        return;
    _flushPending(rcb);
    auto entry = std::make_unique<Entry>();
    entry->timeMs = nowMs();
    size_t n = rcb.dataSet->members.size();
    entry->reasons.assign(n, reason);
    entry->values.assign(n, nullptr);
    {
        std::lock_guard<std::mutex> lock(_model.mutex());
        for (size_t i = 0; i < n; ++i) {
            const DataSetMember& m = rcb.dataSet->members[i];
            entry->values[i] = m.node ? _model.readLocked(m)
                                      : MmsValue_newDataAccessError(DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT);
        }
    }
    _deliver(rcb, std::move(entry));
}

void ReportEngine::_deliver(Rcb& rcb, std::unique_ptr<Entry> entry) {
    if (!rcb.def->buffered) {
        if (rcb.enabled)
            _send(rcb, *entry);
        return;
    }
    entry->id = rcb.nextEntryId++;
    if (rcb.buffer.size() >= kBufferCapacity) {
        rcb.buffer.pop_front();
        rcb.overflow = true;
    }
    entry->overflow = rcb.overflow;
    rcb.buffer.push_back(std::move(entry));
    if (rcb.enabled)
        _sendBuffered(rcb);
}

void ReportEngine::_sendBuffered(Rcb& rcb) {
    for (auto& entry : rcb.buffer) {
        if (entry->id <= rcb.lastSentId)
            continue;
        if (!_send(rcb, *entry))
            break;
        rcb.lastSentId = entry->id;
        uint8_t idBytes[8];
        for (int i = 0; i < 8; ++i)
            idBytes[i] = static_cast<uint8_t>(entry->id >> (56 - 8 * i));
        MmsValue* id = MmsValue_newOctetString(8, 8);
        MmsValue_setOctetString(id, idBytes, 8);
        _setAttribute(rcb, "EntryID", id);
        MmsValue_delete(id);
        MmsValue* t = MmsValue_newBinaryTime(false);
        MmsValue_setBinaryTime(t, entry->timeMs);
        _setAttribute(rcb, "TimeofEntry", t);
        MmsValue_delete(t);
    }
    rcb.overflow = false;
}

bool ReportEngine::_send(Rcb& rcb, const Entry& entry) {
    if (!rcb.owner || !rcb.owner->isOpen() || !rcb.dataSet)
        return false;
    bool buffered = rcb.def->buffered;
    uint16_t opt = rcb.optFlds;
    if (!buffered)
        opt &= static_cast<uint16_t>(~(RPT_OPT_BUFFER_OVERFLOW | RPT_OPT_ENTRY_ID));
    ValueList list;
    std::vector<const MmsValue*> values;
    auto add = [&](MmsValue* v) { values.push_back(list.add(v)); };
    add(MmsValue_newVisibleString(rcb.rptId.c_str()));
    add(bitsFromMask(10, opt));
    if (opt & RPT_OPT_SEQ_NUM)
        add(MmsValue_newUnsignedFromUint32(rcb.sqNum));
    if (opt & RPT_OPT_TIME_STAMP) {
        MmsValue* t = MmsValue_newBinaryTime(false);
        MmsValue_setBinaryTime(t, entry.timeMs);
        add(t);
    }
    if (opt & RPT_OPT_DATA_SET)
        add(MmsValue_newVisibleString(rcb.dataSet->mmsReference().c_str()));
    if (opt & RPT_OPT_BUFFER_OVERFLOW)
        add(MmsValue_newBoolean(entry.overflow));
    if (opt & RPT_OPT_ENTRY_ID) {
        uint8_t idBytes[8];
        for (int i = 0; i < 8; ++i)
            idBytes[i] = static_cast<uint8_t>(entry.id >> (56 - 8 * i));
        MmsValue* id = MmsValue_newOctetString(8, 8);
        MmsValue_setOctetString(id, idBytes, 8);
        add(id);
    }
    if (opt & RPT_OPT_CONF_REV)
        add(MmsValue_newUnsignedFromUint32(rcb.confRev));
    size_t n = entry.values.size();
    MmsValue* inclusion = MmsValue_newBitString(static_cast<int>(n));
    for (size_t i = 0; i < n; ++i)
        MmsValue_setBitStringBit(inclusion, static_cast<int>(i), entry.values[i] != nullptr);
    add(inclusion);
    if (opt & RPT_OPT_DATA_REFERENCE)
        for (size_t i = 0; i < n; ++i)
            if (entry.values[i]) {
                const DataSetMember& m = rcb.dataSet->members[i];
                add(MmsValue_newVisibleString((m.domain + "/" + m.itemWithSteps()).c_str()));
            }
    for (size_t i = 0; i < n; ++i)
        if (entry.values[i])
            values.push_back(entry.values[i]);
    if (opt & RPT_OPT_REASON_FOR_INCLUSION)
        for (size_t i = 0; i < n; ++i)
            if (entry.values[i])
                add(bitsFromMask(6, entry.reasons[i]));
    bool sent = rcb.owner->sendInformationReport("RPT", values);
    if (sent) {
        _reportsSent.fetch_add(1);
        rcb.sqNum = (rcb.sqNum + 1) & (buffered ? 0xffffu : 0xffu);
        MmsValue* sq = MmsValue_newUnsignedFromUint32(rcb.sqNum);
        _setAttribute(rcb, "SqNum", sq);
        MmsValue_delete(sq);
    }
    return sent;
}

void ReportEngine::_run() {
    runWorker("sim_reports", _mutex, _running, _wake, [this](Clock::time_point now, Clock::time_point& next) {
        for (auto& rcbPtr : _rcbs) {
            Rcb& rcb = *rcbPtr;
            if (rcb.hasPending) {
                if (rcb.pendingDeadline <= now)
                    _flushPending(rcb);
                else
                    next = std::min(next, rcb.pendingDeadline);
            }
            if (rcb.enabled && (rcb.trgOps & TRG_OPT_INTEGRITY) && rcb.intgPd > 0) {
                if (rcb.nextIntegrity <= now) {
                    _reportAll(rcb, TRG_OPT_INTEGRITY);
                    rcb.nextIntegrity = now + std::chrono::milliseconds(rcb.intgPd);
                }
                next = std::min(next, rcb.nextIntegrity);
            }
        }
    });
}

} // namespace iecx::sim
