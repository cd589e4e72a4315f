#include "acquisition/TargetsTimePair.h"

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

std::shared_ptr<MmsValueElement> TimePair::makeElement(const MmsValue* value, const MmsValue* time) {
    return MmsValueElement::createOwned(value ? MmsValue_clone(value) : nullptr,
                                        time ? MmsValue_getUtcTimeInMs(time) : 0);
}

void TimePair::refresh(MmsValueElementList& list, const std::vector<MmsValue*>& values) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        const MmsValue* value = 2 * i < values.size() ? values[2 * i] : nullptr;
        if (!value)
            continue;
        const MmsValue* time = 2 * i + 1 < values.size() ? values[2 * i + 1] : nullptr;
        // A retransmission brings the same value and time: the element the host may hold stays.
        const MmsValueElement* held = list[i].get();
        if (held && held->getValue() &&
            (!time || MmsValue_getUtcTimeInMs(time) == held->getUnixTimestamp()) &&
            MmsValue_equals(held->getValue(), value))
            continue;
        std::shared_ptr<MmsValueElement> element = makeElement(value, time);
        if (!time && list[i])
            element->unixTimestamp = list[i]->getUnixTimestamp();
        list[i] = std::move(element);
    }
}

} // namespace VorIec61850
