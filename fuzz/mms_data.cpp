// Bytes as a list of MMS Data, the codec behind reads, writes, reports and GOOSE allData: decoding
// into new values, re-encoding and decoding again to the same bytes, all-or-nothing updates in
// place (of a value of the decoded shape and of a fixed one), access results, printing.
#include "mms_value.h"
#include "stack/src/mms/MmsData.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace stack;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy so that any read past the end is caught.
    std::vector<uint8_t> bytes(data, data + size);
    const int count = mms::countDataList(bytes.data(), bytes.size());
    MmsValue* list = mms::decodeDataList(bytes.data(), bytes.size());
    if (list) {
        if (static_cast<int>(MmsValue_getArraySize(list)) != count)
            std::abort();
        ber::Writer w;
        for (uint32_t i = 0; i < MmsValue_getArraySize(list); ++i)
            if (!mms::encodeData(w, MmsValue_getElement(list, static_cast<int>(i))))
                std::abort();
        // What we wrote is canonical: it decodes and encodes to itself.
        MmsValue* again = mms::decodeDataList(w.bytes().data(), w.size());
        if (!again || !MmsValue_equals(list, again))
            std::abort();
        ber::Writer w2;
        for (uint32_t i = 0; i < MmsValue_getArraySize(again); ++i)
            mms::encodeData(w2, MmsValue_getElement(again, static_cast<int>(i)));
        if (w2.bytes() != w.bytes())
            std::abort();
        if (!mms::updateDataList(again, bytes.data(), bytes.size()))
            std::abort();
        MmsValue_delete(again);
        char text[512];
        MmsValue_printToBuffer(list, text, sizeof text);
    }
    MmsValue_delete(list);

    // A value of a fixed shape either takes the whole list or stays as it was.
    MmsValue* fixed = MmsValue_createEmptyArray(2);
    MmsValue_setElement(fixed, 0, MmsValue_newBoolean(true));
    MmsValue_setElement(fixed, 1, MmsValue_newBitString(13));
    MmsValue* before = MmsValue_clone(fixed);
    if (!mms::updateDataList(fixed, bytes.data(), bytes.size()) && !MmsValue_equals(fixed, before))
        std::abort();
    MmsValue_delete(before);
    MmsValue_delete(fixed);

    ber::Tlv t;
    if (ber::decodeSingle(bytes.data(), bytes.size(), t))
        MmsValue_delete(mms::decodeAccessResult(t));
    return 0;
}
