#pragma once
#include "host/tree/Node.h"
#include "scl/SclEnums.h"

#include <cstdint>
#include <string>

namespace VorIec61850 {

// A functionally constrained data attribute found under a data set member: a plain tree node
// (no id, no texts) whose children are the attributes below it. The explorer fills the four
// names and the FC of the leaves; the other fields keep their defaults.
// A copy has the same fields but neither parent nor children.
class FunctionalConDA : public VorTree::Node {
public:
    FunctionalConDA() = default;
    FunctionalConDA(const FunctionalConDA& other);
    FunctionalConDA& operator=(const FunctionalConDA& other);
    ~FunctionalConDA() override = default;

    std::string reference;
    std::string ldName;
    std::string lnName;
    std::string doName;
    std::string daName;
    std::string dataType;
    std::int32_t count = 0;
    bool flag = false;
    tFCEnum fc = static_cast<tFCEnum>(0);
};

} // namespace VorIec61850
