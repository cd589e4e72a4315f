// Bytes from a client into every server-side request decoder: TPKT/COTP connection request and
// data, session connect, presentation CP, ACSE AARQ, MMS initiate and the confirmed requests the
// server serves (getNameList, read, write, getVariableAccessAttributes,
// getNamedVariableListAttributes, defineNamedVariableList, deleteNamedVariableList), with the
// response encoders fed from what was decoded.
#include "IsoStream.h"
#include "mms_value.h"
#include "stack/src/mms/MmsListServices.h"
#include "stack/src/mms/MmsPdu.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace stack;

namespace {

void decodeRequest(const uint8_t* p, size_t n) {
    mms::Pdu pdu;
    if (!mms::parsePdu(p, n, pdu))
        return;
    ber::Writer w;
    if (pdu.kind == mms::PduKind::InitiateRequest) {
        mms::InitiateParams params;
        if (mms::decodeInitiate(pdu, params))
            mms::encodeInitiateResponse(w, params);
        return;
    }
    if (pdu.kind != mms::PduKind::ConfirmedRequest)
        return;
    switch (pdu.service.tagNumber) {
    case mms::ServiceGetNameList: {
        mms::NameListRequest req;
        if (mms::decodeGetNameListRequest(pdu.service, req)) {
            std::vector<std::string> names = {req.domain, req.continueAfter};
            mms::encodeGetNameListResponse(w, pdu.invokeId, names, 0, names.size(), false);
        }
        break;
    }
    case mms::ServiceRead: {
        mms::VariableAccess access;
        mms::decodeReadRequest(pdu.service, access);
        break;
    }
    case mms::ServiceWrite: {
        mms::VariableAccess access;
        std::vector<MmsValue*> values;
        if (mms::decodeWriteRequest(pdu.service, access, values)) {
            std::vector<const MmsValue*> echo(values.begin(), values.end());
            mms::encodeReadResponse(w, pdu.invokeId, echo);
            for (MmsValue* v : values)
                MmsValue_delete(v);
        }
        break;
    }
    case mms::ServiceGetVariableAccessAttributes: {
        mms::ObjectName name;
        mms::decodeGetVariableAccessAttributesRequest(pdu.service, name);
        break;
    }
    case mms::ServiceGetNamedVariableListAttributes: {
        mms::ObjectName name;
        mms::decodeGetNamedVariableListAttributesRequest(pdu.service, name);
        break;
    }
    case mms::ServiceDefineNamedVariableList: {
        mms::ObjectName name;
        std::vector<mms::ObjectName> members;
        mms::decodeDefineNamedVariableListRequest(pdu.service, name, members);
        break;
    }
    case mms::ServiceDeleteNamedVariableList: {
        std::vector<mms::ObjectName> names;
        mms::decodeDeleteNamedVariableListRequest(pdu.service, names);
        break;
    }
    default:
        break;
    }
}

void decodeSpdu(const iso::Spdu& spdu) {
    iso::Bytes data;
    if (spdu.type == iso::SpduConnect) {
        iso::CpInfo cp;
        if (iso::decodeCpType(spdu.userData, spdu.userDataLength, cp) &&
            iso::decodeAarq(cp.userData.data, cp.userData.length, data)) {
            std::vector<uint8_t> out;
            iso::appendCpaPpdu(out, cp, data.data, data.length);
            decodeRequest(data.data, data.length);
        }
    } else if (spdu.type == iso::SpduDataTransfer && userDataOf(spdu, data)) {
        decodeRequest(data.data, data.length);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    forEachSpdu(data, size, decodeSpdu);
    decodeRequest(data, size);
    return 0;
}
