#pragma once
#include "mms/FCDAElement.h"
#include "mms/MmsPath.h"
#include "scl/SclTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace VorIec61850 {

// Relates object paths to the members of a data set held as an FCDAElement tree whose root's
// children are the members.
class MmsDatasetHelper {
public:
    // A flat tree: one child of the root per member (data-object members expanded into their
    // attributes), each carrying its whole element path, FC and MMS type.
    static std::unique_ptr<FCDAElement> createDatasetStructure(const tDataSet* dataSet);

    // true when path names the record: equal to its full path with FC, or ending with it at a
    // segment boundary ('.' before it, or the suffix holding the LD part, so that an IED name
    // glued before the LD instance is accepted).
    static bool isPathAssociatedDatasetRecord(const FCDAElement& record, const std::string& path);

    // Index of the first member associated with path, or -1.
    static int32_t getPathIndexInDataset(const FCDAElement& dataSet, const std::string& path);

    // getPathIndexInDataset for each path, in order.
    static std::vector<int32_t> getDataAssociatedIndexes(const FCDAElement& dataSet,
                                                         const std::vector<MmsPath>& paths);

    // true when at least one path is in the data set.
    static bool isExistsAnyPathInDataset(const FCDAElement& dataSet, const std::vector<MmsPath>& paths);

    // The element of the data set that holds the value named by path (a member or an element
    // inside one), or null.
    static const FCDAElement* getPathAssociatedFCDARecord(const FCDAElement& dataSet,
                                                          const std::string& path);

    // The nearest "t" or "T" element among the siblings of the record or of its ancestors, or
    // null.
    static const FCDAElement* getAssociatedTime(const FCDAElement& record);

    // Position of the record among its parent's children of the same data type; -1 without a
    // parent or when the record is not among them.
    static int32_t getSiblingIndexOfSameType(const FCDAElement& record);
};

} // namespace VorIec61850
