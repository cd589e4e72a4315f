#include "mms/MmsDatasetHelper.h"

#include "mms/MmsPathHelper.h"

namespace VorIec61850 {

std::unique_ptr<FCDAElement> MmsDatasetHelper::createDatasetStructure(const tDataSet* dataSet) {
    auto root = std::make_unique<FCDAElement>();
    if (!dataSet)
        return root;
    for (const tFCDA& fcda : dataSet->fcdas) {
        const std::string elementPath =
            fcda.ldInst + "/" + fcda.prefix + fcda.lnClass + fcda.lnInst + "." + fcda.doName;
        if (!fcda.daName.empty()) {
            root->addChild(std::make_unique<FCDAElement>(elementPath + "." + fcda.daName, fcda.fc,
                                                         fcda.mmsType, nullptr));
            continue;
        }
        for (const tDA& da : fcda.das)
            root->addChild(
                std::make_unique<FCDAElement>(elementPath + "." + da.name, da.fc, da.mmsType, nullptr));
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

int32_t MmsDatasetHelper::getPathIndexInDataset(const FCDAElement& dataSet, const std::string& path) {
    const auto& members = dataSet.getChildren();
    for (std::size_t i = 0; i < members.size(); ++i)
        if (isPathAssociatedDatasetRecord(*members[i], path))
            return static_cast<int32_t>(i);
    return -1;
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
    const std::string base = MmsPathHelper::getPathWithoutFC(path);
    const tFCEnum fc = MmsPathHelper::getPathFC(path);
    for (const auto& member : dataSet.getChildren()) {
        if (member->getFC() != fc && member->getFC() != tFCEnum::NONE)
            continue;
        const std::string& memberPath = member->getPath();
        const std::size_t p = base.find(memberPath);
        if (p == std::string::npos)
            continue;
        const std::size_t end = p + memberPath.size();
        const bool startsAtSegment = p == 0 || base[p - 1] == '.';
        const bool endsAtSegment = end == base.size() || base[end] == '.';
        if (startsAtSegment && endsAtSegment)
            return dataSet.findElement(path.substr(p));
    }
    return nullptr;
}

const FCDAElement* MmsDatasetHelper::getAssociatedTime(const FCDAElement& record) {
    for (const FCDAElement* level = record.getParent(); level; level = level->getParent())
        for (const auto& child : level->getChildren())
            if (child->getPath() == "t" || child->getPath() == "T")
                return child.get();
    return nullptr;
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
