#include "mms/FunctionalConDA.h"

namespace VorIec61850 {

FunctionalConDA::FunctionalConDA(const FunctionalConDA& other)
    : VorTree::Node(other), reference(other.reference), ldName(other.ldName), lnName(other.lnName),
      doName(other.doName), daName(other.daName), dataType(other.dataType), count(other.count),
      flag(other.flag), fc(other.fc) {}

FunctionalConDA& FunctionalConDA::operator=(const FunctionalConDA& other) {
    if (this != &other) {
        VorTree::Node::operator=(other);
        reference = other.reference;
        ldName = other.ldName;
        lnName = other.lnName;
        doName = other.doName;
        daName = other.daName;
        dataType = other.dataType;
        count = other.count;
        flag = other.flag;
        fc = other.fc;
    }
    return *this;
}

} // namespace VorIec61850
