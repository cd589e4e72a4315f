// Bytes from a server into every client-side decoder, layer by layer: TPKT framing, COTP
// (CC/DT/DR with reassembly), session (AC/DT/FN/DN/AB), presentation (CPA, user data), ACSE
// (AARE), MMS PDUs (initiate response, confirmed responses of every service, errors, rejects,
// information reports) and the IEC 61850 report decoding of a connection's report handler.
#include "iec61850_client.h"
#include "mms_type_spec.h"
#include "IsoStream.h"
#include "mms_value.h"
#include "stack/src/mms/MmsListServices.h"
#include "stack/src/mms/MmsPdu.h"
#include "stack/src/mms/client/IedConnectionInternal.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace stack;

namespace {

void onReport(void*, ClientReport report) {
    MmsValue* values = ClientReport_getDataSetValues(report);
    char text[256];
    MmsValue_printToBuffer(values, text, sizeof text);
    for (int i = 0; i < 4; ++i)
        (void)ClientReport_getReasonForInclusion(report, i);
    (void)ClientReport_getTimestamp(report);
    (void)ClientReport_getDataReference(report, 0);
}

IedConnection reportSink() {
    static IedConnection con = [] {
        IedConnection c = IedConnection_create();
        IedConnection_installReportHandler(c, "LD0/LLN0.RP.urcb01", nullptr, onReport, nullptr);
        IedConnection_installReportHandler(c, "LD0/LLN0.BR.brcb01", "", onReport, nullptr);
        return c;
    }();
    return con;
}

void decodeMms(const uint8_t* p, size_t n) {
    mms::Pdu pdu;
    if (!mms::parsePdu(p, n, pdu))
        return;
    switch (pdu.kind) {
    case mms::PduKind::InitiateResponse:
    case mms::PduKind::InitiateRequest: {
        mms::InitiateParams params;
        mms::decodeInitiate(pdu, params);
        break;
    }
    case mms::PduKind::ConfirmedResponse: {
        std::vector<std::string> names;
        bool more;
        mms::decodeGetNameListResponse(pdu.service, names, more);
        std::vector<MmsValue*> values;
        if (mms::decodeReadResponse(pdu.service, values))
            for (MmsValue* v : values)
                MmsValue_delete(v);
        std::vector<MmsDataAccessError> results;
        mms::decodeWriteResponse(pdu.service, results);
        MmsVariableSpecification_destroy(mms::decodeGetVariableAccessAttributesResponse(pdu.service));
        std::vector<mms::ObjectName> members;
        bool deletable;
        mms::decodeGetNamedVariableListAttributesResponse(pdu.service, members, deletable);
        mms::ServerIdentity id;
        mms::decodeIdentifyResponse(pdu.service, id);
        uint32_t matched, deleted;
        mms::decodeDeleteNamedVariableListResponse(pdu.service, matched, deleted);
        break;
    }
    case mms::PduKind::ConfirmedError:
        (void)mms::decodeConfirmedError(pdu);
        break;
    case mms::PduKind::Reject:
        (void)mms::decodeReject(pdu);
        break;
    case mms::PduKind::Unconfirmed: {
        mms::VariableAccess access;
        std::vector<MmsValue*> values;
        if (mms::decodeInformationReport(pdu.service, access, values)) {
            reportSink()->onReport(access, values);
            for (MmsValue* v : values)
                MmsValue_delete(v);
        }
        break;
    }
    default:
        break;
    }
}

void decodeSpdu(const iso::Spdu& spdu) {
    iso::Bytes data;
    if (spdu.type == iso::SpduAccept) {
        iso::Bytes aare;
        bool accepted;
        if (iso::decodeCpaPpdu(spdu.userData, spdu.userDataLength, aare) &&
            iso::decodeAare(aare.data, aare.length, accepted, data))
            decodeMms(data.data, data.length);
    } else if (userDataOf(spdu, data)) {
        if (spdu.type == iso::SpduDataTransfer)
            decodeMms(data.data, data.length);
        else
            (void)iso::acseApduType(data.data, data.length);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    forEachSpdu(data, size, decodeSpdu);
    decodeMms(data, size);
    return 0;
}
