#pragma once
#include "mms/MmsPath.h"

#include <sstream>
#include <string>
#include <vector>

namespace VorIec61850 {

// The address of one report control block: the IED (TCP port 102) and the block's reference.
// Its text form is "host|rcbReference", or the reference alone when the host is empty.
class MmsReportPath {
public:
    MmsReportPath() = default;
    MmsReportPath(const std::string& host, const std::string& rcbReference)
        : host(host), rcbReference(rcbReference) {}

    // Writes the text form into the stream (the direction is reversed on purpose: the path is
    // the source, the stream the target).
    std::ostringstream& operator>>(std::ostringstream& stream) const;
    // Reads the text form from the whole content of the stream's buffer, not only its unread
    // part: the last '|'-separated piece is the reference, the piece before it the host.
    std::istringstream& operator<<(std::istringstream& stream);

    // The text form as a string, and back.
    std::string toString() const;
    static MmsReportPath fromString(const std::string& text);

    bool operator==(const MmsReportPath& other) const {
        return host == other.host && rcbReference == other.rcbReference;
    }

    std::string host;
    std::string rcbReference;
};

// What to receive by MMS reports: wanted attributes of the report's data set and the report
// control block.
class MmsReportTarget {
public:
    MmsReportTarget() = default;
    MmsReportTarget(const std::string& host, const std::string& rcbReference) : report(host, rcbReference) {}

    MmsReportPath& Report() { return report; }
    const MmsReportPath& Report() const { return report; }

    // Object paths with FC, each a data set member or an attribute inside one.
    std::vector<MmsPath> paths;
    MmsReportPath report;
};

} // namespace VorIec61850
