#pragma once
#include "scl/SclTypes.h"

#include "iec61850_common.h"

#include <string>

namespace VorIec61850 {

// Takes object path texts apart. An object path is "LD/LN.DO.DA" optionally followed by the
// functional constraint in brackets, e.g. "LD0/MMXU1.PhV.phsA.cVal.mag.f[MX]".
class MmsPathHelper {
public:
    // Text before the last '.'; empty when there is none.
    static std::string getParentNodePath(const std::string& path);
    // The path without its "[FC]" suffix; unchanged when it has none.
    static std::string getPathWithoutFC(const std::string& path);
    // The FC text between the last '[' and the final ']'; empty when there is none.
    static std::string getPathFCstring(const std::string& path);
    // The FC of the path; NONE when it has none or an unknown one.
    static tFCEnum getPathFC(const std::string& path);
    // The FC of the path as the client services take it; FunctionalConstraint_fromString's
    // answer for a missing or unknown one.
    static FunctionalConstraint getPathConstraint(const std::string& path);

private:
    static bool _hasFC(const std::string& path);
};

} // namespace VorIec61850
