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

    // Time path of a data set member: the time element associated with the member's record,
    // with its FC; empty when the record or its time element is missing.
    static std::string findInDataset(const FCDAElement& dataSet, const std::string& path);

    // A new element of the value and, when there is a time value, its UTC time in milliseconds
    // (0 otherwise).
    static std::shared_ptr<MmsValueElement> makeElement(MmsValue* value, const MmsValue* time);

    // Replaces each entry i of list with a new element of values[2i] and values[2i+1], or with
    // an empty entry when values[2i] is null. Pointers beyond the end of values count as null.
    static void refresh(MmsValueElementList& list, const std::vector<MmsValue*>& values);
};

} // namespace VorIec61850
