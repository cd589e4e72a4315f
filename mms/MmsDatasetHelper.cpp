#include "mms/MmsDatasetHelper.h"

#include "mms/MmsPathHelper.h"

namespace VorIec61850 {

namespace {

bool isTimeName(const std::string& name) {
    return name == "t" || name == "T";
}

bool fcAccepts(tFCEnum elementFc, tFCEnum pathFc) {
    return elementFc == pathFc || elementFc == tFCEnum::NONE;
}

// true when text[at] ends a segment (end of text or a '.').
bool segmentEnds(const std::string& text, std::size_t at) {
    return at == text.size() || text[at] == '.';
}

// true when one LD text is the other with an IED name (or a "X." scope) written before it.
bool sameLogicalDevice(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    const std::string& longer = a.size() > b.size() ? a : b;
    const std::string& shorter = a.size() > b.size() ? b : a;
    return !shorter.empty() && longer.compare(longer.size() - shorter.size(), shorter.size(), shorter) == 0;
}

// The end of the part of an object path (without FC) that a member's element path covers, or
// npos. exact: only the member's own text at the start of the path; otherwise a glued IED name
// on either side, or a relative member starting after a '.'.
std::size_t memberEnd(const std::string& path, const std::string& member, bool exact) {
    if (member.empty())
        return std::string::npos;
    if (exact)
        return path.compare(0, member.size(), member) == 0 && segmentEnds(path, member.size())
                   ? member.size()
                   : std::string::npos;
    const std::size_t memberSlash = member.find('/');
    const std::size_t pathSlash = path.find('/');
    if (memberSlash != std::string::npos) {
        if (pathSlash == std::string::npos)
            return std::string::npos;
        const std::size_t rest = member.size() - memberSlash;
        if (path.compare(pathSlash, rest, member, memberSlash, rest) != 0 ||
            !segmentEnds(path, pathSlash + rest))
            return std::string::npos;
        return sameLogicalDevice(path.substr(0, pathSlash), member.substr(0, memberSlash))
                   ? pathSlash + rest
                   : std::string::npos;
    }
    for (std::size_t p = path.find(member); p != std::string::npos; p = path.find(member, p + 1))
        if (p > 0 && path[p - 1] == '.' && segmentEnds(path, p + member.size()))
            return p + member.size();
    return std::string::npos;
}

// Follows the rest of a path (".a.b" or empty) down the components of an element.
bool descend(const FCDAElement& element, const std::string& rest, tFCEnum fc,
             MmsDatasetHelper::IndexPath& out) {
    if (rest.empty())
        return true;
    const std::string names = rest.substr(1);
    const auto& children = element.getChildren();
    for (std::size_t k = 0; k < children.size(); ++k) {
        const FCDAElement& child = *children[k];
        const std::string& name = child.getPath();
        if (name.empty() || names.compare(0, name.size(), name) != 0 || !segmentEnds(names, name.size()))
            continue;
        if (fc != tFCEnum::NONE && !fcAccepts(child.getFC(), fc))
            continue;
        out.push_back(static_cast<int32_t>(k));
        if (descend(child, names.substr(name.size()), fc, out))
            return true;
        out.pop_back();
    }
    return false;
}

const FCDAElement* rootOf(const FCDAElement& element) {
    const FCDAElement* root = &element;
    while (root->getParent())
        root = root->getParent();
    return root;
}

// The FC that governs an element: its own, or that of its nearest ancestor that has one.
tFCEnum effectiveFc(const FCDAElement& element) {
    for (const FCDAElement* e = &element; e; e = e->getParent())
        if (e->getFC() != tFCEnum::NONE)
            return e->getFC();
    return tFCEnum::NONE;
}

std::string withFc(const std::string& path, tFCEnum fc) {
    return fc == tFCEnum::NONE ? path : path + "[" + toString(fc) + "]";
}

void addComponents(FCDAElement& parent, const std::vector<tFCDAComponent>& components) {
    for (const tFCDAComponent& component : components) {
        auto child = std::make_unique<FCDAElement>(component.name, component.fc, component.mmsType, nullptr);
        addComponents(*child, component.components);
        parent.addChild(std::move(child));
    }
}

// A child of parent named name, created as a structure of the given FC when missing.
FCDAElement& structureChild(FCDAElement& parent, const std::string& name, tFCEnum fc) {
    for (const auto& child : parent.getChildren())
        if (child->getPath() == name)
            return *child;
    parent.addChild(std::make_unique<FCDAElement>(name, fc, tMmsTypeEnum::STRUCTURE, nullptr));
    return *parent.getChildren().back();
}

// Attribute records without a type description: a dotted name ("mag.f") becomes nested
// structures.
void addAttributes(FCDAElement& member, const std::vector<tDA>& das) {
    for (const tDA& da : das) {
        FCDAElement* parent = &member;
        std::string name = da.name;
        for (std::size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.')) {
            parent = &structureChild(*parent, name.substr(0, dot), da.fc);
            name = name.substr(dot + 1);
        }
        parent->addChild(std::make_unique<FCDAElement>(name, da.fc, da.mmsType, nullptr));
    }
}

} // namespace

std::unique_ptr<FCDAElement> MmsDatasetHelper::createDatasetStructure(const tDataSet* dataSet) {
    auto root = std::make_unique<FCDAElement>();
    if (!dataSet)
        return root;
    for (const tFCDA& fcda : dataSet->fcdas) {
        std::string path = fcda.ldInst + "/" + fcda.prefix + fcda.lnClass + fcda.lnInst + "." + fcda.doName;
        if (!fcda.daName.empty())
            path += "." + fcda.daName;
        const bool structured = !fcda.components.empty() || (fcda.daName.empty() && !fcda.das.empty());
        auto member = std::make_unique<FCDAElement>(
            path, fcda.fc, structured ? tMmsTypeEnum::STRUCTURE : fcda.mmsType, nullptr);
        if (!fcda.components.empty())
            addComponents(*member, fcda.components);
        else if (fcda.daName.empty())
            addAttributes(*member, fcda.das);
        root->addChild(std::move(member));
    }
    return root;
}

bool MmsDatasetHelper::isPathAssociatedDatasetRecord(const FCDAElement& record, const std::string& path) {
    const std::string full = record.getFullPathWithFC();
    if (path == full)
        return true;
    if (path.size() < full.size() || path.compare(path.size() - full.size(), full.size(), full) != 0)
        return false;
    // The suffix starts right after position i: it must begin at a segment boundary, or hold
    // the whole logical-device part (an IED name glued before the LD instance).
    const std::size_t suffixStart = path.size() - full.size();
    if (suffixStart == 0)
        return false;
    const std::size_t i = suffixStart - 1;
    return path[i] == '.' || path.find('/', i) != std::string::npos;
}

MmsDatasetHelper::IndexPath MmsDatasetHelper::getPathIndexPath(const FCDAElement& dataSet,
                                                               const std::string& path) {
    const std::string base = MmsPathHelper::getPathWithoutFC(path);
    const tFCEnum fc = MmsPathHelper::getPathFC(path);
    const auto& members = dataSet.getChildren();
    // A member written exactly as in the path wins over one that matches with a glued name.
    for (bool exact : {true, false}) {
        for (std::size_t j = 0; j < members.size(); ++j) {
            const FCDAElement& member = *members[j];
            if (!fcAccepts(member.getFC(), fc))
                continue;
            const std::size_t end = memberEnd(base, member.getPath(), exact);
            if (end == std::string::npos)
                continue;
            IndexPath indexPath{static_cast<int32_t>(j)};
            if (descend(member, base.substr(end), fc, indexPath))
                return indexPath;
        }
    }
    return {};
}

std::vector<MmsDatasetHelper::IndexPath>
MmsDatasetHelper::getDataAssociatedIndexPaths(const FCDAElement& dataSet, const std::vector<MmsPath>& paths) {
    std::vector<IndexPath> indexPaths;
    indexPaths.reserve(paths.size());
    for (const MmsPath& path : paths)
        indexPaths.push_back(path.path.empty() ? IndexPath() : getPathIndexPath(dataSet, path.path));
    return indexPaths;
}

const FCDAElement* MmsDatasetHelper::getElementAt(const FCDAElement& dataSet, const IndexPath& indexPath) {
    if (indexPath.empty())
        return nullptr;
    const FCDAElement* element = &dataSet;
    for (int32_t position : indexPath) {
        const auto& children = element->getChildren();
        if (position < 0 || static_cast<std::size_t>(position) >= children.size())
            return nullptr;
        element = children[static_cast<std::size_t>(position)].get();
    }
    return element;
}

MmsValue* MmsDatasetHelper::getValueAt(MmsValue* dataSetValues, const IndexPath& indexPath) {
    if (indexPath.empty())
        return nullptr;
    MmsValue* value = dataSetValues;
    for (int32_t position : indexPath) {
        if (value == nullptr)
            return nullptr;
        const MmsType type = MmsValue_getType(value);
        if ((type != MMS_STRUCTURE && type != MMS_ARRAY) || position < 0 ||
            static_cast<uint32_t>(position) >= MmsValue_getArraySize(value))
            return nullptr;
        value = MmsValue_getElement(value, position);
    }
    return value;
}

int32_t MmsDatasetHelper::getPathIndexInDataset(const FCDAElement& dataSet, const std::string& path) {
    const IndexPath indexPath = getPathIndexPath(dataSet, path);
    return indexPath.empty() ? -1 : indexPath.front();
}

std::vector<int32_t> MmsDatasetHelper::getDataAssociatedIndexes(const FCDAElement& dataSet,
                                                                const std::vector<MmsPath>& paths) {
    std::vector<int32_t> indexes;
    indexes.reserve(paths.size());
    for (const MmsPath& path : paths)
        indexes.push_back(getPathIndexInDataset(dataSet, path.path));
    return indexes;
}

bool MmsDatasetHelper::isExistsAnyPathInDataset(const FCDAElement& dataSet,
                                                const std::vector<MmsPath>& paths) {
    for (const MmsPath& path : paths)
        if (getPathIndexInDataset(dataSet, path.path) != -1)
            return true;
    return false;
}

const FCDAElement* MmsDatasetHelper::getPathAssociatedFCDARecord(const FCDAElement& dataSet,
                                                                 const std::string& path) {
    return getElementAt(dataSet, getPathIndexPath(dataSet, path));
}

const FCDAElement* MmsDatasetHelper::getAssociatedTime(const FCDAElement& record) {
    // A data object member carries its own time stamp.
    for (const auto& child : record.getChildren())
        if (isTimeName(child->getPath()))
            return child.get();
    for (const FCDAElement* level = record.getParent(); level; level = level->getParent())
        for (const auto& child : level->getChildren())
            if (isTimeName(child->getPath()))
                return child.get();
    // Members with whole paths: the "t" of the record's data object is a member of its own.
    const FCDAElement* root = rootOf(record);
    const tFCEnum fc = effectiveFc(record);
    const std::string full = record.getFullPath();
    const std::size_t slash = full.find('/');
    // The shortest data object path is "LD/LN.DO".
    const std::size_t shortest = full.find('.', slash == std::string::npos ? 0 : slash);
    if (shortest == std::string::npos)
        return nullptr;
    for (std::size_t end = full.size(); end != std::string::npos && end > shortest;
         end = full.rfind('.', end - 1)) {
        for (const char* name : {".t", ".T"}) {
            const FCDAElement* time =
                getElementAt(*root, getPathIndexPath(*root, withFc(full.substr(0, end) + name, fc)));
            if (time)
                return time;
        }
    }
    return nullptr;
}

std::string MmsDatasetHelper::getAssociatedTimePath(const FCDAElement& dataSet, const std::string& path) {
    const FCDAElement* record = getPathAssociatedFCDARecord(dataSet, path);
    const FCDAElement* time = record ? getAssociatedTime(*record) : nullptr;
    return time ? time->getFullPathWithFC() : std::string();
}

int32_t MmsDatasetHelper::getSiblingIndexOfSameType(const FCDAElement& record) {
    const FCDAElement* parent = record.getParent();
    if (!parent)
        return -1;
    int32_t index = 0;
    for (const auto& child : parent->getChildren()) {
        if (child.get() == &record)
            return index;
        if (child->getDataType() == record.getDataType())
            ++index;
    }
    return -1;
}

} // namespace VorIec61850
