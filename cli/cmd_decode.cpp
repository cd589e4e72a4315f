// iecx decode: the frame-field decoders applied to one frame, given as hex bytes or taken from a
// PCAP file: Ethernet and VLAN header, GOOSE/SV header, every BER field with its offset, time
// stamps and bit strings decoded, and a PRP trailer.
#include "capture/Asn1Decoders.h"
#include "capture/PcapReader.h"
#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "cli/ValueText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>
#include <string>
#include <vector>

namespace {

using namespace iecx::cli;
using Bytes = std::vector<unsigned char>;

const char* kDescription =
    "Decodes one frame field by field, each with its offset: destination and source MAC, VLAN tag,\n"
    "EtherType; for GOOSE and Sampled Values the APPID, length and reserved words and then every BER\n"
    "field (identifier and length octets, contents; UtcTime values to the nanosecond, bit strings bit\n"
    "by bit, texts); a PRP trailer at the end. The frame is HEX (bytes in hexadecimal, blanks, ':'\n"
    "and '-' allowed) or frame N (from 1) of a PCAP file.\n"
    "Example: iecx decode --pcap capture.pcap --frame 3";

constexpr int kMaxDepth = 32;

bool parseHex(const std::string& text, Bytes& out) {
    std::string digits;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ':' || c == '-')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        digits += c;
    }
    if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    if (digits.empty() || digits.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return true;
}

// Frame `number` (from 1) of a PCAP file.
bool readPcapFrame(const std::string& path, uint64_t number, Bytes& frame, std::string& error) {
    VorIec61850::PcapReader reader;
    if (!reader.open(path)) {
        error = reader.error();
        return false;
    }
    while (reader.count() + 1 < number)
        if (!reader.skip())
            break;
    VorIec61850::PcapRecord record;
    if (reader.count() + 1 == number && reader.next(record)) {
        frame = std::move(record.bytes);
        return true;
    }
    error = !reader.error().empty() ? reader.error()
                                    : "'" + path + "' has " + std::to_string(reader.count()) +
                                          " frames, no frame " + std::to_string(number);
    return false;
}

class Decoder {
public:
    Decoder(const Bytes& frame, bool json) : _data(frame), _json(json) {}

    void run() {
        size_t end = _data.size();
        // A PRP trailer: sequence number, LAN and size, then the suffix 0x88FB.
        if (end >= 20 && _data[end - 2] == 0x88 && _data[end - 1] == 0xFB) {
            end -= 6;
            _trailer = true;
        }
        if (end < 14) {
            field(0, "frame", "only " + std::to_string(end) + " bytes, no Ethernet header");
            return;
        }
        field(0, "destination", mac(0));
        field(6, "source", mac(6));
        size_t at = 12;
        uint16_t etherType = word(at);
        if (etherType == 0x8100 && end >= 18) {
            const uint16_t tci = word(at + 2);
            field(at, "VLAN",
                  "priority " + std::to_string(tci >> 13) + ", id " + std::to_string(tci & 0x0FFF));
            at += 4;
            etherType = word(at);
        }
        char type[16];
        std::snprintf(type, sizeof type, "0x%04X", etherType);
        field(at, "EtherType", std::string(type) + name(etherType));
        at += 2;
        if ((etherType == 0x88B8 || etherType == 0x88BA || etherType == 0x88B9) && end >= at + 8) {
            char appId[16];
            std::snprintf(appId, sizeof appId, "0x%04X", word(at));
            field(at, "APPID", appId);
            const uint16_t length = word(at + 2);
            field(at + 2, "Length", std::to_string(length));
            field(at + 4, "Reserved1", std::to_string(word(at + 4)));
            field(at + 6, "Reserved2", std::to_string(word(at + 6)));
            // Length counts from the APPID to the end of the PDU.
            const size_t pduEnd = std::min(end, length >= 8 ? at + length : end);
            ber(at + 8, pduEnd, 0);
        } else if (at < end) {
            field(at, "payload", hex(at, end));
        }
        if (_trailer)
            field(
                _data.size() - 6, "PRP",
                VorIec61850::ASN1::PRP(_data, static_cast<int>(_data.size() - 6)).to_string() +
                    ", sequence " +
                    std::to_string(
                        VorIec61850::ASN1::PRP(_data, static_cast<int>(_data.size() - 6)).SequenceNumber()));
    }

    const Json& fields() const { return _fields; }

private:
    // BER fields from `at` to `end`, nested ones indented.
    void ber(size_t at, size_t end, int depth) {
        while (at < end) {
            const VorIec61850::ASN1::OctetsIdentifier id(_data, at);
            const size_t lengthAt = at + static_cast<size_t>(id.size);
            if (lengthAt >= end) {
                field(at, indent(depth) + "field", "cut short after " + id.to_string());
                return;
            }
            const size_t lengthOctets = (_data[lengthAt] & 0x80) ? 1 + (_data[lengthAt] & 0x7F) : 1;
            if (lengthAt + lengthOctets > end) {
                field(at, indent(depth) + "field", id.to_string() + ", length octets cut short");
                return;
            }
            const VorIec61850::ASN1::OctetsLength length(_data, static_cast<int>(lengthAt));
            const size_t content = lengthAt + length.size;
            const bool fits = content + length.length <= end;
            field(at, indent(depth) + "field",
                  id.to_string() + "; " + length.to_string() + (fits ? "" : " (cut short)"));
            const size_t contentEnd = fits ? content + length.length : end;
            if (id.isComplex && depth < kMaxDepth)
                ber(content, contentEnd, depth + 1);
            else if (contentEnd > content)
                field(content, indent(depth + 1) + "contents", contents(id, content, contentEnd));
            if (!fits)
                return;
            at = contentEnd;
        }
    }

    // Contents as the MMS data tags (context-specific, primitive) define them; hex otherwise.
    std::string contents(const VorIec61850::ASN1::OctetsIdentifier& id, size_t at, size_t end) {
        const size_t size = end - at;
        if (id.tagClass == 2 && id.tag == 17 && size == 8) { // utc-time
            const VorIec61850::ASN1::UtcTime time(_data, static_cast<int>(at));
            const int64_t ticks = time.Ticks100Nanoseconds();
            return "UtcTime " +
                   nanosecondsText(static_cast<uint64_t>(ticks / 10000000),
                                   static_cast<uint32_t>(ticks % 10000000) * 100u) +
                   ", quality 0x" + hex(end - 1, end);
        }
        if (id.tagClass == 2 && id.tag == 4 && size >= 1) { // bit-string: padding count, then bits
            const VorIec61850::ASN1::BitString bits(static_cast<int>((size - 1) * 8 - _data[at]),
                                                    Bytes(_data.begin() + at + 1, _data.begin() + end));
            std::string text;
            const auto all = bits.getBytes();
            for (int i = 0; i < bits.bitCount() && i < static_cast<int>(all.size()); ++i)
                text += all[i] ? '1' : '0';
            return "BitString " + text + " (" + bits.to_string() + ")";
        }
        bool printable = true;
        for (size_t i = at; i < end; ++i)
            printable = printable && _data[i] >= 0x20 && _data[i] < 0x7F;
        if (printable && size > 1)
            return "\"" + std::string(_data.begin() + at, _data.begin() + end) + "\"";
        return hex(at, end);
    }

    void field(size_t offset, const std::string& label, const std::string& text) {
        if (_json) {
            size_t start = label.find_first_not_of(' ');
            _fields.push_back({{"offset", offset},
                               {"depth", start / 2},
                               {"field", label.substr(start == std::string::npos ? 0 : start)},
                               {"text", text}});
            return;
        }
        std::printf("%5zu  %-14s %s\n", offset, label.c_str(), printableText(text).c_str());
    }

    static std::string indent(int depth) { return std::string(static_cast<size_t>(depth) * 2, ' '); }
    uint16_t word(size_t at) const { return static_cast<uint16_t>((_data[at] << 8) | _data[at + 1]); }
    std::string mac(size_t at) const {
        char text[32];
        std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", _data[at], _data[at + 1],
                      _data[at + 2], _data[at + 3], _data[at + 4], _data[at + 5]);
        return text;
    }
    std::string hex(size_t at, size_t end) const {
        return VorIec61850::ASN1::BitString(0, Bytes(_data.begin() + at, _data.begin() + end)).to_string();
    }
    static std::string name(uint16_t etherType) {
        switch (etherType) {
        case 0x88B8:
            return " (GOOSE)";
        case 0x88BA:
            return " (Sampled Values)";
        case 0x88B9:
            return " (GSE management)";
        default:
            return "";
        }
    }

    const Bytes& _data;
    bool _json;
    bool _trailer = false;
    Json _fields = Json::array();
};

int run(const std::vector<std::string>& args) {
    auto app = newCommand("decode", kDescription);
    std::vector<std::string> hexParts;
    std::string pcap;
    uint64_t frameNumber = 0;
    bool json = false;
    app->add_option("HEX", hexParts, "the frame's bytes in hexadecimal");
    auto* pcapOption = app->add_option("--pcap", pcap, "PCAP file to take the frame from");
    addUnsigned(*app, "--frame", frameNumber, "frame number in the PCAP file, from 1", 1)->needs(pcapOption);
    pcapOption->excludes("HEX");
    app->add_flag("--json", json, "print the fields as one JSON document");
    if (int status = parseCommand(*app, args); status >= 0)
        return status;
    Bytes frame;
    if (!pcap.empty()) {
        std::string error;
        if (!readPcapFrame(pcap, frameNumber ? frameNumber : 1, frame, error))
            return fail("decode", error);
    } else {
        std::string text;
        for (const std::string& part : hexParts)
            text += part;
        if (hexParts.empty() || !parseHex(text, frame)) {
            std::fprintf(stderr,
                         "iecx decode: give the frame as hexadecimal bytes or with --pcap FILE --frame N\n");
            return kExitUsage;
        }
    }
    Decoder decoder(frame, json);
    decoder.run();
    if (json)
        printJson({{"length", frame.size()}, {"fields", decoder.fields()}});
    return kExitOk;
}

CommandRegistration registration("decode", "decode a frame field by field, from hex bytes or a PCAP file",
                                 run);

} // namespace
