#pragma once
#include "mms/FCDAElement.h"
#include "mms/MmsPath.h"
#include "scl/SclTypes.h"

#include "iec61850_client.h"
#include "mms_type_spec.h"
#include "mms_value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace VorIec61850 {

// Relates object paths to the members of a data set held as an FCDAElement tree whose root's
// children are the members, one per member as it travels on the wire: a member that is a
// structure (a data object, or a structured attribute) holds its components as children,
// recursively, each named relative to its parent.
//
// Paths are matched member first, then component by component. A path may carry the IED name
// glued before the logical device instance ("IED1LD0/...") where the members do not, or the
// other way round, and a member may be relative ("Mod.stVal[ST]"); the functional constraints
// of path and member must agree (a member without one accepts any).
class MmsDatasetHelper {
public:
    // Positions leading to a value inside the data set's values: the member index, then the
    // component index at each level below it. Empty when the path is not in the data set.
    using IndexPath = std::vector<int32_t>;

    // One child of the root per FCDA, carrying the FCDA's whole element path, FC and MMS type;
    // a structured member holds its components (from the FCDA's type description) as nested
    // children.
    static std::unique_ptr<FCDAElement> createDatasetStructure(const tDataSet* dataSet);

    // The type description of a member reference (without FC) under an FC, as a new
    // type description the caller destroys; null when the device has no such variable.
    using TypeLookup =
        std::function<MmsVariableSpecification*(const std::string& reference, FunctionalConstraint fc)>;
    // The same structure for a data set of a device: one child of the root per member reference
    // ("LD/LN.DO[.DA][FC]", as the device's data set directory lists them), with its components
    // named after the device's type description. A member whose type cannot be had becomes a
    // basic member without components.
    static std::unique_ptr<FCDAElement> createDatasetStructure(const std::vector<std::string>& members,
                                                               const TypeLookup& typeOf);
    // The structure of a data set ("LD/LN.name") read from the device over an open connection;
    // null with error set when its directory cannot be read.
    static std::unique_ptr<FCDAElement> createDatasetStructure(IedConnection connection,
                                                               const std::string& dataSetReference,
                                                               IedClientError* error);

    // true when path names the record: equal to its full path with FC, or ending with it at a
    // segment boundary ('.' before it, or the suffix holding the LD part, so that an IED name
    // glued before the LD instance is accepted).
    static bool isPathAssociatedDatasetRecord(const FCDAElement& record, const std::string& path);

    // Where the value named by path lies in the data set (see IndexPath).
    static IndexPath getPathIndexPath(const FCDAElement& dataSet, const std::string& path);
    // getPathIndexPath for each path, in order.
    static std::vector<IndexPath> getDataAssociatedIndexPaths(const FCDAElement& dataSet,
                                                              const std::vector<MmsPath>& paths);
    // The element an index path leads to; null when it leads nowhere.
    static const FCDAElement* getElementAt(const FCDAElement& dataSet, const IndexPath& indexPath);
    // The value an index path leads to inside the values of a whole data set (a structure or
    // array of the members); null when there is no such element. Not a copy.
    static MmsValue* getValueAt(MmsValue* dataSetValues, const IndexPath& indexPath);

    // Index of the member that holds the value named by path, or -1.
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

    // The time stamp of the record's data object, or null when the data set carries none: a
    // "t" (or "T") component of the record itself (a data object member), else the nearest "t"
    // among the siblings of the record or of its ancestors, else a member of the data set that
    // names the "t" of the record's data object (or of an enclosing data object) by its whole
    // path. A time stamp record is its own time.
    static const FCDAElement* getAssociatedTime(const FCDAElement& record);

    // The time path (full path with FC) of the value named by path; empty when the value or its
    // time is not in the data set.
    static std::string getAssociatedTimePath(const FCDAElement& dataSet, const std::string& path);

    // Position of the record among its parent's children of the same data type; -1 without a
    // parent or when the record is not among them.
    static int32_t getSiblingIndexOfSameType(const FCDAElement& record);
};

} // namespace VorIec61850
