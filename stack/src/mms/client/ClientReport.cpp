// Report handler registry and decoding of IEC 61850 reports carried in MMS information reports
// (variable list "RPT"): optional fields, inclusion bit string, data references, values and
// reason codes. Values of a report's data set are kept per handler and updated in place, so
// pointers handed out stay valid from report to report.
#include "stack/src/mms/client/HandleFields.h"
#include "stack/src/mms/client/IedConnectionInternal.h"

#include "stack/src/value/mms_value_internal.h"

#include <cstring>

using namespace stack::mms;

struct sClientReport {
    std::string rcbReference;
    std::string rptId;
    std::string dataSetName;
    MmsValue* dataSetValues = nullptr;
    std::vector<ReasonForInclusion> reasons;
    std::vector<std::string> dataReferences;
    bool hasTimestamp = false;
    uint64_t timestamp = 0;
    bool hasSeqNum = false;
    uint16_t seqNum = 0;
    bool hasDataSetName = false;
    bool hasReasonForInclusion = false;
    bool hasConfRev = false;
    uint32_t confRev = 0;
    bool hasBufOvfl = false;
    bool bufOvfl = false;
    bool hasDataReference = false;
    bool hasSubSeqNum = false;
    uint16_t subSeqNum = 0;
    bool moreSegmentsFollow = false;
    MmsValue* entryId = nullptr;
    // Members replaced by a report of another data set size or member type. A handler may still
    // hold pointers to them (values handed out are updated in place, never freed under the
    // receiver), so they live as long as the report.
    std::vector<MmsValue*> retired;

    void retire(MmsValue* value) {
        if (value != nullptr)
            retired.push_back(value);
    }
    ~sClientReport() {
        MmsValue_deleteIfNotNull(dataSetValues);
        MmsValue_deleteIfNotNull(entryId);
        for (MmsValue* v : retired)
            MmsValue_delete(v);
    }
};

namespace {

void destroyReport(sClientReport* r) {
    delete r;
}

// Bits of OptFlds in a report.
enum OptBit {
    OptSeqNum = 1,
    OptTimeOfEntry = 2,
    OptReasonCode = 3,
    OptDataSet = 4,
    OptDataReference = 5,
    OptBufferOverflow = 6,
    OptEntryId = 7,
    OptConfRev = 8,
    OptSegmentation = 9,
};

bool bit(const MmsValue* bs, int n) {
    return n < bs->bitSize && MmsValue_getBitStringBit(bs, n);
}

bool isType(const MmsValue* v, MmsType t) {
    return v != nullptr && v->type == t;
}

// Decodes `values` into `report`; false for a report that does not have the expected layout.
// Consumed values are taken out of the vector (set to null).
bool decodeReport(sClientReport& report, std::vector<MmsValue*>& values) {
    size_t i = 0;
    auto take = [&](MmsType t) -> MmsValue* {
        if (i >= values.size() || !isType(values[i], t))
            return nullptr;
        return values[i++];
    };
    MmsValue* rptId = take(MMS_VISIBLE_STRING);
    MmsValue* opt = take(MMS_BIT_STRING);
    if (rptId == nullptr || opt == nullptr)
        return false;
    report.rptId = rptId->text;
    report.hasSeqNum = bit(opt, OptSeqNum);
    report.hasTimestamp = bit(opt, OptTimeOfEntry);
    report.hasReasonForInclusion = bit(opt, OptReasonCode);
    report.hasDataSetName = bit(opt, OptDataSet);
    report.hasDataReference = bit(opt, OptDataReference);
    report.hasBufOvfl = bit(opt, OptBufferOverflow);
    report.hasConfRev = bit(opt, OptConfRev);
    report.hasSubSeqNum = bit(opt, OptSegmentation);
    MmsValue* v;
    if (report.hasSeqNum) {
        if ((v = take(MMS_UNSIGNED)) == nullptr)
            return false;
        report.seqNum = static_cast<uint16_t>(MmsValue_toUint32(v));
    }
    if (report.hasTimestamp) {
        if ((v = take(MMS_BINARY_TIME)) == nullptr)
            return false;
        report.timestamp = MmsValue_getBinaryTimeAsUtcMs(v);
    }
    if (report.hasDataSetName) {
        if ((v = take(MMS_VISIBLE_STRING)) == nullptr)
            return false;
        report.dataSetName = v->text;
    }
    if (report.hasBufOvfl) {
        if ((v = take(MMS_BOOLEAN)) == nullptr)
            return false;
        report.bufOvfl = v->boolean;
    }
    MmsValue_deleteIfNotNull(report.entryId);
    report.entryId = nullptr;
    if (bit(opt, OptEntryId)) {
        if ((v = take(MMS_OCTET_STRING)) == nullptr)
            return false;
        report.entryId = MmsValue_clone(v);
    }
    if (report.hasConfRev) {
        if ((v = take(MMS_UNSIGNED)) == nullptr)
            return false;
        report.confRev = MmsValue_toUint32(v);
    }
    if (report.hasSubSeqNum) {
        if ((v = take(MMS_UNSIGNED)) == nullptr)
            return false;
        report.subSeqNum = static_cast<uint16_t>(MmsValue_toUint32(v));
        if ((v = take(MMS_BOOLEAN)) == nullptr)
            return false;
        report.moreSegmentsFollow = v->boolean;
    } else {
        report.subSeqNum = 0;
        report.moreSegmentsFollow = false;
    }
    MmsValue* inclusion = take(MMS_BIT_STRING);
    if (inclusion == nullptr)
        return false;
    int size = inclusion->bitSize;
    std::vector<int> included;
    for (int k = 0; k < size; ++k)
        if (MmsValue_getBitStringBit(inclusion, k))
            included.push_back(k);
    size_t n = included.size();
    size_t expected = n * (1 + (report.hasDataReference ? 1 : 0) + (report.hasReasonForInclusion ? 1 : 0));
    if (values.size() - i != expected)
        return false;

    if (report.dataSetValues == nullptr)
        report.dataSetValues = MmsValue_createEmptyArray(size);
    std::vector<MmsValue*>& members = report.dataSetValues->components;
    // Another size keeps the array and the members that remain; those beyond the new size retire.
    for (size_t k = static_cast<size_t>(size); k < members.size(); ++k)
        report.retire(members[k]);
    members.resize(static_cast<size_t>(size), nullptr);
    report.reasons.assign(static_cast<size_t>(size), IEC61850_REASON_NOT_INCLUDED);
    report.dataReferences.assign(static_cast<size_t>(size), std::string());
    if (report.hasDataReference) {
        for (size_t k = 0; k < n; ++k) {
            if ((v = take(MMS_VISIBLE_STRING)) == nullptr)
                return false;
            report.dataReferences[static_cast<size_t>(included[k])] = v->text;
        }
    }
    size_t valueStart = i;
    i += n;
    if (report.hasReasonForInclusion) {
        for (size_t k = 0; k < n; ++k) {
            if ((v = take(MMS_BIT_STRING)) == nullptr)
                return false;
            ReasonForInclusion r = 0;
            for (int b = 1; b <= 5; ++b)
                if (bit(v, b))
                    r |= 1 << (b - 1);
            report.reasons[static_cast<size_t>(included[k])] = r;
        }
    } else {
        for (size_t k = 0; k < n; ++k)
            report.reasons[static_cast<size_t>(included[k])] = IEC61850_REASON_UNKNOWN;
    }
    for (size_t k = 0; k < n; ++k) {
        MmsValue*& slot = members[static_cast<size_t>(included[k])];
        MmsValue* fresh = values[valueStart + k];
        if (slot != nullptr && MmsValue_update(slot, fresh))
            continue; // updated in place; `fresh` is deleted with the rest
        report.retire(slot);
        slot = fresh;
        values[valueStart + k] = nullptr;
    }
    return true;
}

std::string normalized(const std::string& reference) {
    return dotsToDollars(reference);
}

} // namespace

void sIedConnection::onReport(VariableAccess& access, std::vector<MmsValue*>& values) {
    if (!access.isListName) {
        onControlReport(access, values);
        return;
    }
    if (access.listName.scope != ObjectName::Scope::Vmd || access.listName.item != "RPT")
        return;
    if (values.empty() || !isType(values[0], MMS_VISIBLE_STRING))
        return;
    const std::string& rptId = values[0]->text;
    std::lock_guard<std::recursive_mutex> lock(reportMutex);
    std::shared_ptr<ReportSubscription> match;
    for (const auto& s : reports) {
        if (!s->rptId.empty() ? s->rptId == rptId : normalized(s->rcbReference) == normalized(rptId)) {
            match = s;
            break;
        }
    }
    if (!match || match->handler == nullptr)
        return;
    if (!decodeReport(*match->report, values))
        return;
    // The registry stays locked while the handler runs, so that an uninstall from another
    // thread waits for it; the handler itself may install or uninstall (recursive lock, and
    // `match` keeps its subscription alive).
    match->handler(match->parameter, match->report.get());
}

extern "C" {

void IedConnection_installReportHandler(IedConnection self, const char* rcbReference, const char* rptId,
                                        ReportCallbackFunction handler, void* handlerParameter) try {
    if (self == nullptr || rcbReference == nullptr)
        return;
    auto sub = std::make_shared<ReportSubscription>();
    sub->rcbReference = rcbReference;
    sub->rptId = rptId != nullptr ? rptId : "";
    sub->handler = handler;
    sub->parameter = handlerParameter;
    sub->report =
        std::unique_ptr<sClientReport, void (*)(sClientReport*)>(new sClientReport(), destroyReport);
    sub->report->rcbReference = rcbReference;
    std::lock_guard<std::recursive_mutex> lock(self->reportMutex);
    for (auto& s : self->reports) {
        if (s->rcbReference == sub->rcbReference) {
            s = sub;
            return;
        }
    }
    self->reports.push_back(sub);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IedConnection_uninstallReportHandler(IedConnection self, const char* rcbReference) try {
    if (self == nullptr || rcbReference == nullptr)
        return;
    std::lock_guard<std::recursive_mutex> lock(self->reportMutex);
    for (auto it = self->reports.begin(); it != self->reports.end(); ++it) {
        if ((*it)->rcbReference == rcbReference) {
            self->reports.erase(it);
            return;
        }
    }
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

const char* ClientReport_getDataSetName(ClientReport self) {
    return textOf(self, &sClientReport::dataSetName);
}
MmsValue* ClientReport_getDataSetValues(ClientReport self) {
    return fieldOf(self, &sClientReport::dataSetValues);
}
char* ClientReport_getRcbReference(ClientReport self) try {
    if (self == nullptr)
        return nullptr;
    return const_cast<char*>(self->rcbReference.c_str());
} catch (...) {
    return nullptr;
}
char* ClientReport_getRptId(ClientReport self) try {
    if (self == nullptr)
        return nullptr;
    return const_cast<char*>(self->rptId.c_str());
} catch (...) {
    return nullptr;
}

ReasonForInclusion ClientReport_getReasonForInclusion(ClientReport self, int elementIndex) {
    if (self == nullptr)
        return IEC61850_REASON_NOT_INCLUDED;
    if (elementIndex < 0 || static_cast<size_t>(elementIndex) >= self->reasons.size())
        return IEC61850_REASON_NOT_INCLUDED;
    return self->reasons[static_cast<size_t>(elementIndex)];
}

MmsValue* ClientReport_getEntryId(ClientReport self) {
    return fieldOf(self, &sClientReport::entryId);
}
bool ClientReport_hasTimestamp(ClientReport self) {
    return fieldOf(self, &sClientReport::hasTimestamp);
}
uint64_t ClientReport_getTimestamp(ClientReport self) {
    return fieldOf(self, &sClientReport::timestamp);
}
bool ClientReport_hasSeqNum(ClientReport self) {
    return fieldOf(self, &sClientReport::hasSeqNum);
}
uint16_t ClientReport_getSeqNum(ClientReport self) {
    return fieldOf(self, &sClientReport::seqNum);
}
bool ClientReport_hasDataSetName(ClientReport self) {
    return fieldOf(self, &sClientReport::hasDataSetName);
}
bool ClientReport_hasReasonForInclusion(ClientReport self) {
    return fieldOf(self, &sClientReport::hasReasonForInclusion);
}
bool ClientReport_hasConfRev(ClientReport self) {
    return fieldOf(self, &sClientReport::hasConfRev);
}
uint32_t ClientReport_getConfRev(ClientReport self) {
    return fieldOf(self, &sClientReport::confRev);
}
bool ClientReport_hasBufOvfl(ClientReport self) {
    return fieldOf(self, &sClientReport::hasBufOvfl);
}
bool ClientReport_getBufOvfl(ClientReport self) {
    return fieldOf(self, &sClientReport::bufOvfl);
}
bool ClientReport_hasDataReference(ClientReport self) {
    return fieldOf(self, &sClientReport::hasDataReference);
}

const char* ClientReport_getDataReference(ClientReport self, int elementIndex) try {
    if (self == nullptr || !self->hasDataReference || elementIndex < 0 ||
        static_cast<size_t>(elementIndex) >= self->dataReferences.size() ||
        self->dataReferences[static_cast<size_t>(elementIndex)].empty())
        return nullptr;
    return self->dataReferences[static_cast<size_t>(elementIndex)].c_str();
} catch (...) {
    return nullptr;
}

bool ClientReport_hasSubSeqNum(ClientReport self) {
    return fieldOf(self, &sClientReport::hasSubSeqNum);
}
uint16_t ClientReport_getSubSeqNum(ClientReport self) {
    return fieldOf(self, &sClientReport::subSeqNum);
}
bool ClientReport_getMoreSeqmentsFollow(ClientReport self) {
    return fieldOf(self, &sClientReport::moreSegmentsFollow);
}

char* ReasonForInclusion_getValueAsString(ReasonForInclusion reasonCode) try {
    switch (reasonCode) {
    case IEC61850_REASON_NOT_INCLUDED:
        return const_cast<char*>("not-included");
    case IEC61850_REASON_DATA_CHANGE:
        return const_cast<char*>("data-change");
    case IEC61850_REASON_QUALITY_CHANGE:
        return const_cast<char*>("quality-change");
    case IEC61850_REASON_DATA_UPDATE:
        return const_cast<char*>("data-update");
    case IEC61850_REASON_INTEGRITY:
        return const_cast<char*>("integrity");
    case IEC61850_REASON_GI:
        return const_cast<char*>("GI");
    case IEC61850_REASON_UNKNOWN:
        return const_cast<char*>("unknown");
    default:
        return const_cast<char*>("unknown");
    }
} catch (...) {
    return nullptr;
}

} // extern "C"
