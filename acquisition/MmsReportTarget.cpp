#include "acquisition/MmsReportTarget.h"

#include "host/StringHelper.h"

namespace VorIec61850 {

std::ostringstream& MmsReportPath::operator>>(std::ostringstream& stream) const {
    if (!host.empty())
        stream << host << '|';
    stream << rcbReference;
    return stream;
}

std::istringstream& MmsReportPath::operator<<(std::istringstream& stream) {
    const std::vector<std::string> pieces = Vor::StringHelper::split(stream.str(), '|');
    host.clear();
    rcbReference.clear();
    if (!pieces.empty())
        rcbReference = pieces.back();
    if (pieces.size() >= 2)
        host = pieces[pieces.size() - 2];
    return stream;
}

std::string MmsReportPath::toString() const {
    std::ostringstream stream;
    *this >> stream;
    return stream.str();
}

MmsReportPath MmsReportPath::fromString(const std::string& text) {
    std::istringstream stream(text);
    MmsReportPath path;
    path << stream;
    return path;
}

} // namespace VorIec61850
