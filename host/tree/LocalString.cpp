#include "host/tree/LocalString.h"

namespace VorTree {

const LocalString& LocalString::Empty() {
    static const LocalString empty;
    return empty;
}

} // namespace VorTree
