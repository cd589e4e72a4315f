#pragma once
// GOOSE frames (IEC 61850-8-1): parsing without copying, and encoding for publishers, tests,
// fuzzing and benchmarks.
//
// IECGoosePdu ::= [APPLICATION 1] SEQUENCE {
//   gocbRef [0] VisibleString, timeAllowedtoLive [1] INTEGER, datSet [2] VisibleString,
//   goID [3] VisibleString OPTIONAL, t [4] UtcTime, stNum [5] INTEGER, sqNum [6] INTEGER,
//   simulation [7] BOOLEAN, confRev [8] INTEGER, ndsCom [9] BOOLEAN,
//   numDatSetEntries [10] INTEGER, allData [11] SEQUENCE OF Data, ... }
#include "goose_subscriber.h"
#include "linked_list.h"
#include "stack/src/ethernet/LinkFrame.h"

#include <string>
#include <vector>

namespace stack {
namespace goose {

struct Span {
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool equals(const char* text, size_t length) const {
        return size == length && (length == 0 || std::char_traits<char>::compare(
                                                     reinterpret_cast<const char*>(data), text, length) == 0);
    }
};

// The state fields of a GOOSE PDU between the references and the data set: what a publisher
// sends, a frame carries and a subscriber keeps of the last message.
struct GooseState {
    uint32_t timeAllowedToLive = 0;
    uint8_t t[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    uint32_t stNum = 0;
    uint32_t sqNum = 0;
    bool simulation = false;
    uint32_t confRev = 0;
    bool ndsCom = false;
};

// A parsed GOOSE frame; spans point into the frame.
struct GooseMessage : GooseState {
    eth::LinkFrame link;
    Span gocbRef;
    Span datSet;
    Span goId;
    bool hasGoId = false;
    uint32_t numDatSetEntries = 0;
    bool hasNumDatSetEntries = false;
    Span allData; // contents of allData: the Data elements one after the other
};

// Parses the link header and the PDU fields (not the values of allData, which are decoded
// for the subscribers that want them). false, with `error` set, for a frame that is not a
// well-formed GOOSE frame: it must be dropped. gocbRef and allData are required; other fields
// keep their defaults when absent; unknown fields are skipped.
bool parseGooseFrame(const uint8_t* frame, size_t size, const eth::VlanTag* removedTag, GooseMessage& out,
                     GooseParseError* error = nullptr);

// Everything a publisher puts into one frame.
struct GooseFrameParams : GooseState {
    eth::LinkParams link;
    std::string gocbRef;
    std::string datSet;
    std::string goId; // omitted when empty
};

// Encodes a complete frame (no Ethernet padding) into `out` (replaced). `values` are the data
// set members in order. false when a value cannot be encoded or the frame is too long.
bool encodeGooseFrame(const GooseFrameParams& params, const MmsValue* const* values, size_t count,
                      std::vector<uint8_t>& out);
// Same with the members of a LinkedList (libiec61850 style, dummy head).
bool encodeGooseFrame(const GooseFrameParams& params, LinkedList dataSet, std::vector<uint8_t>& out);

// The 8 bytes of an IEC 61850 UTC time for a time in milliseconds since the epoch (time quality
// 0x0A: no leap second known, clock fine, 10 bits of fraction accuracy).
void utcTimeFromMs(uint64_t ms, uint8_t out[8]);
uint64_t utcTimeToMs(const uint8_t t[8]);
// The system clock in milliseconds since the epoch.
uint64_t nowMs();

} // namespace goose
} // namespace stack
