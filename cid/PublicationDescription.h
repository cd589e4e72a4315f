#pragma once
// Fills a GooseOut or SvOut from "key = value" settings: the lines of a small description file
// or command-line options of the same names. Every function returns an error text, empty on
// success, so that a tool can tell the user exactly which setting is wrong.
//
// GOOSE keys: mac, appid, vlan-id, vlan-priority, dataset, ld-ref, gocb-ref, conf-rev, min-time,
// max-time, fcda (repeatable). SV keys: mac, appid, vlan-id, vlan-priority, channel (repeatable).
// Numbers are decimal, or hexadecimal with a 0x prefix.
#include "cid/Publications.h"

#include <functional>
#include <string>

namespace VorIec61850 {
namespace PublicationDescription {

// A number in [0, max]: decimal, or hexadecimal with 0x/0X. False on anything else.
bool parseNumber(const std::string& text, uint64_t max, uint64_t& value);

// A MAC address: six hexadecimal byte pairs joined by '-' or ':'.
bool isMacAddress(const std::string& text);

// One data set member of a GOOSE publication as an FCDA line. Accepted forms:
//   <FCDA path="LD0/GGIO1.SPCSO1.stVal" fc="ST" dataType="BOOLEAN"/>   (taken as it stands)
//   LD0/GGIO1.SPCSO1.stVal[ST] BOOLEAN                                 (object path and data type)
// The line must name a logical device, a logical node of a known class, a data object and an
// attribute.
std::string fcdaLine(const std::string& value, std::string& line);

// One SV channel path; the IED name "KAVEN61850" of the written document is put before the
// logical device when the path does not start with it. Form: LD/LN.DO.DA[FC].
std::string channelPath(const std::string& value, std::string& path);

std::string applyGooseSetting(GooseOut& out, const std::string& key, const std::string& value);
std::string applySvSetting(SvOut& out, const std::string& key, const std::string& value);

// Reads a description text: one "key = value" per line; blank lines and lines starting with
// '#' are ignored. Each setting goes to `apply`; an error names its line number.
std::string parseDescription(const std::string& text,
                             const std::function<std::string(const std::string&, const std::string&)>& apply);

// Reads a whole description file into `out`. The error names the file when it cannot be read,
// or the line of the first wrong setting.
std::string readGooseDescriptionFile(const std::string& path, GooseOut& out);
std::string readSvDescriptionFile(const std::string& path, SvOut& out);

// Checks that a GOOSE publication names its control block, logical device and data set.
std::string checkGooseOut(const GooseOut& out);

} // namespace PublicationDescription
} // namespace VorIec61850
