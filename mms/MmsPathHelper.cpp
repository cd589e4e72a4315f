#include "mms/MmsPathHelper.h"

namespace VorIec61850 {

std::string MmsPathHelper::getParentNodePath(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(0, dot);
}

bool MmsPathHelper::_hasFC(const std::string& path) {
    return !path.empty() && path.back() == ']' && path.find('[') != std::string::npos;
}

std::string MmsPathHelper::getPathWithoutFC(const std::string& path) {
    return _hasFC(path) ? path.substr(0, path.rfind('[')) : path;
}

std::string MmsPathHelper::getPathFCstring(const std::string& path) {
    if (!_hasFC(path))
        return {};
    const auto open = path.rfind('[');
    return path.substr(open + 1, path.size() - open - 2);
}

tFCEnum MmsPathHelper::getPathFC(const std::string& path) {
    return fcFromString(getPathFCstring(path));
}

FunctionalConstraint MmsPathHelper::getPathConstraint(const std::string& path) {
    return FunctionalConstraint_fromString(getPathFCstring(path).c_str());
}

} // namespace VorIec61850
