#include "acquisition/TargetsTimePair.h"

#include "mms/MmsDatasetHelper.h"

namespace VorIec61850 {

std::vector<MmsPath>
TimePair::expand(const std::vector<MmsPath>& paths,
                 const std::function<std::string(const std::string& path)>& findTimePath) {
    std::vector<MmsPath> expanded;
    expanded.reserve(paths.size() * 2);
    for (const MmsPath& path : paths) {
        expanded.push_back(path);
        expanded.emplace_back(findTimePath ? findTimePath(path.path) : std::string(), nullptr);
    }
    return expanded;
}

std::string TimePair::findInDataset(const FCDAElement& dataSet, const std::string& path) {
    const FCDAElement* record = MmsDatasetHelper::getPathAssociatedFCDARecord(dataSet, path);
    const FCDAElement* time = record ? MmsDatasetHelper::getAssociatedTime(*record) : nullptr;
    return time ? time->getFullPathWithFC() : std::string();
}

std::shared_ptr<MmsValueElement> TimePair::makeElement(MmsValue* value, const MmsValue* time) {
    return std::make_shared<MmsValueElement>(value, time ? MmsValue_getUtcTimeInMs(time) : 0);
}

void TimePair::refresh(MmsValueElementList& list, const std::vector<MmsValue*>& values) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        MmsValue* value = 2 * i < values.size() ? values[2 * i] : nullptr;
        if (!value) {
            list[i].reset();
            continue;
        }
        const MmsValue* time = 2 * i + 1 < values.size() ? values[2 * i + 1] : nullptr;
        list[i] = makeElement(value, time);
    }
}

} // namespace VorIec61850
