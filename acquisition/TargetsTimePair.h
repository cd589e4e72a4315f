#pragma once
// The time pair rule shared by the pools: every wanted path gets a companion path naming the
// time stamp ("t") of the same data object; the pools work on the expanded list (value 0,
// time 0, value 1, time 1, ...) and deliver entry i built from the values of paths 2i and 2i+1.
#include "mms/FCDAElement.h"
#include "mms/MmsPath.h"
#include "mms/MmsValueElement.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace VorIec61850 {

class TimePair {
public:
    // The expanded list: each path followed by its time path (empty when none was found),
    // which carries no channel.
    static std::vector<MmsPath>
    expand(const std::vector<MmsPath>& paths,
           const std::function<std::string(const std::string& path)>& findTimePath);

    // A new element owning a copy of value and, when there is a time value, its UTC time in
    // milliseconds (0 otherwise).
    static std::shared_ptr<MmsValueElement> makeElement(const MmsValue* value, const MmsValue* time);

    // For each entry i of list with a value values[2i]: a new element of copies of values[2i]
    // and values[2i+1]; where the time is missing from this message the entry's previous time
    // stays. Entries without a value in values keep their element. Pointers beyond the end of
    // values count as null.
    static void refresh(MmsValueElementList& list, const std::vector<MmsValue*>& values);
};

} // namespace VorIec61850
