#include "cid/PublicationDescription.h"

#include "cid/GooseToCid.h"
#include "cid/SvToCid.h"
#include "scl/SclEnums.h"

#include <cctype>
#include <fstream>
#include <limits>
#include <sstream>

namespace VorIec61850 {
namespace PublicationDescription {

namespace {

std::string trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return {};
    const auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::string numberSetting(const std::string& key, const std::string& value, uint64_t max, uint64_t& target) {
    uint64_t number = 0;
    if (!parseNumber(value, max, number))
        return key + " wants a number from 0 to " + std::to_string(max) +
               " (decimal, or hexadecimal with 0x), not '" + value + "'";
    target = number;
    return {};
}

template <typename T>
std::string smallNumberSetting(const std::string& key, const std::string& value, uint64_t max, T& target) {
    uint64_t number = 0;
    std::string error = numberSetting(key, value, max, number);
    if (error.empty())
        target = static_cast<T>(number);
    return error;
}

std::string macSetting(const std::string& value, std::string& target) {
    if (!isMacAddress(value))
        return "mac wants six hexadecimal byte pairs joined by '-' or ':', not '" + value + "'";
    target = value;
    return {};
}

// The link-layer keys of both descriptions (mac, appid, vlan-id, vlan-priority): true when `key`
// is one of them, with `error` empty when the value was taken.
template <typename Out>
bool applyAddressSetting(Out& out, const std::string& key, const std::string& value, std::string& error) {
    if (key == "mac")
        error = macSetting(value, out.macAddress);
    else if (key == "appid")
        error = smallNumberSetting(key, value, 0xFFFF, out.appId);
    else if (key == "vlan-id")
        error = smallNumberSetting(key, value, 0xFFF, out.vlanId);
    else if (key == "vlan-priority")
        error = smallNumberSetting(key, value, 7, out.vlanPriority);
    else
        return false;
    return true;
}

} // namespace

bool parseNumber(const std::string& text, uint64_t max, uint64_t& value) {
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    if (start >= text.size())
        return false;
    uint64_t result = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
            digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        else
            return false;
        if (result > (std::numeric_limits<uint64_t>::max() - digit) / base)
            return false;
        result = result * base + digit;
    }
    if (result > max)
        return false;
    value = result;
    return true;
}

bool isMacAddress(const std::string& text) {
    if (text.size() != 17)
        return false;
    const char separator = text[2];
    if (separator != '-' && separator != ':')
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 3 == 2) {
            if (c != separator)
                return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

std::string fcdaLine(const std::string& value, std::string& line) {
    std::string candidate;
    if (!value.empty() && value[0] == '<') {
        candidate = value;
    } else {
        std::istringstream fields(value);
        std::string path, dataType, extra;
        fields >> path >> dataType;
        const auto open = path.rfind('[');
        if (path.empty() || dataType.empty() || (fields >> extra) || open == std::string::npos ||
            path.back() != ']' || path.find('"') != std::string::npos ||
            dataType.find('"') != std::string::npos)
            return "fcda wants 'LD/LN.DO.DA[FC] DATATYPE' or an FCDA element, not '" + value + "'";
        const std::string fc = path.substr(open + 1, path.size() - open - 2);
        candidate =
            "<FCDA path=\"" + path.substr(0, open) + "\" fc=\"" + fc + "\" dataType=\"" + dataType + "\"/>";
    }
    const GooseToCid parser;
    const auto parsed = parser.parseFcdaString(candidate);
    if (parsed.ldInst.empty())
        return "fcda '" + value +
               "' does not name a logical device, a logical node of a known class, a data object and an "
               "attribute";
    if (fcFromString(parsed.fc) == tFCEnum::NONE)
        return "fcda '" + value + "' has no known functional constraint";
    line = candidate;
    return {};
}

std::string channelPath(const std::string& value, std::string& path) {
    const std::string iedName = SvToCid::kIedName;
    const std::string full = value.compare(0, iedName.size(), iedName) == 0 ? value : iedName + value;
    const auto slash = full.find('/');
    const auto open = full.rfind('[');
    std::size_t dots = 0;
    for (char c : full)
        dots += c == '.' ? 1 : 0;
    if (slash == std::string::npos || slash == iedName.size() || open == std::string::npos ||
        full.back() != ']' || dots < 2 || full.find('.') < slash)
        return "channel wants 'LD/LN.DO.DA[FC]', for example MU/TCTR1.AmpSv.instMag.i[MX], not '" + value +
               "'";
    const std::string fc = full.substr(open + 1, full.size() - open - 2);
    if (fcFromString(fc) == tFCEnum::NONE)
        return "channel '" + value + "' has no known functional constraint";
    if (full.find('.') - slash - 1 <= 4)
        return "channel '" + value + "' has no logical node class and instance";
    path = full;
    return {};
}

std::string applyGooseSetting(GooseOut& out, const std::string& key, const std::string& value) {
    if (std::string error; applyAddressSetting(out, key, value, error))
        return error;
    if (key == "conf-rev")
        return numberSetting(key, value, 0xFFFFFFFF, out.confRev);
    if (key == "min-time")
        return numberSetting(key, value, 0xFFFFFFFF, out.minTime);
    if (key == "max-time")
        return numberSetting(key, value, 0xFFFFFFFF, out.maxTime);
    if (key == "dataset") {
        if (value.empty())
            return "dataset wants a name";
        out.dataSetName = value;
        return {};
    }
    if (key == "ld-ref") {
        if (value.find('/') == std::string::npos || value[0] == '/')
            return "ld-ref wants 'LD/...', the logical device before the first '/', not '" + value + "'";
        out.ldReference = value;
        return {};
    }
    if (key == "gocb-ref") {
        if (value.find('/') == std::string::npos || value.find('$') == std::string::npos ||
            value.back() == '$')
            return "gocb-ref wants 'IEDNAMELD/LLN0$GO$NAME', not '" + value + "'";
        out.goCbRef = value;
        return {};
    }
    if (key == "fcda") {
        std::string line;
        std::string error = fcdaLine(value, line);
        if (error.empty())
            out.fcdaList += (out.fcdaList.empty() ? "" : "\n") + line;
        return error;
    }
    return "unknown setting '" + key + "'";
}

std::string applySvSetting(SvOut& out, const std::string& key, const std::string& value) {
    if (std::string error; applyAddressSetting(out, key, value, error))
        return error;
    if (key == "channel") {
        std::string path;
        std::string error = channelPath(value, path);
        if (error.empty())
            out.channels.emplace_back(path, nullptr, 0.0, 0.0);
        return error;
    }
    return "unknown setting '" + key + "'";
}

std::string
parseDescription(const std::string& text,
                 const std::function<std::string(const std::string&, const std::string&)>& apply) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::string content = trim(line);
        if (content.empty() || content[0] == '#')
            continue;
        const auto equals = content.find('=');
        if (equals == std::string::npos)
            return "line " + std::to_string(number) + ": expected 'key = value'";
        const std::string key = trim(content.substr(0, equals));
        const std::string value = trim(content.substr(equals + 1));
        std::string error = apply(key, value);
        if (!error.empty())
            return "line " + std::to_string(number) + ": " + error;
    }
    return {};
}

namespace {

std::string
readDescriptionFile(const std::string& path,
                    const std::function<std::string(const std::string&, const std::string&)>& apply) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "cannot read description file '" + path + "'";
    std::ostringstream text;
    text << in.rdbuf();
    std::string error = parseDescription(text.str(), apply);
    return error.empty() ? error : path + ": " + error;
}

} // namespace

std::string readGooseDescriptionFile(const std::string& path, GooseOut& out) {
    return readDescriptionFile(path, [&out](const std::string& key, const std::string& value) {
        return applyGooseSetting(out, key, value);
    });
}

std::string readSvDescriptionFile(const std::string& path, SvOut& out) {
    return readDescriptionFile(path, [&out](const std::string& key, const std::string& value) {
        return applySvSetting(out, key, value);
    });
}

std::string checkGooseOut(const GooseOut& out) {
    if (out.goCbRef.empty())
        return "the control block reference (gocb-ref) is missing";
    if (out.ldReference.empty())
        return "the logical device reference (ld-ref) is missing";
    if (out.dataSetName.empty())
        return "the data set name (dataset) is missing";
    // The IED name is what stands before the logical device in the control block reference.
    const std::string ldInst = out.ldReference.substr(0, out.ldReference.find('/'));
    const std::string head = out.goCbRef.substr(0, out.goCbRef.find('/'));
    if (head.find(ldInst) == std::string::npos)
        return "gocb-ref '" + out.goCbRef + "' does not hold the logical device '" + ldInst +
               "' before its '/'";
    return {};
}

} // namespace PublicationDescription
} // namespace VorIec61850
