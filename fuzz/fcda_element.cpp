// Feeds arbitrary text to the FCDA XML reader. A text that parses must survive a round trip
// through its own XML form unchanged, and searching the tree must not fail.
#include "mms/FCDAElement.h"
#include "mms/MmsDatasetHelper.h"

#include <libxml++/libxml++.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using VorIec61850::FCDAElement;
using VorIec61850::MmsDatasetHelper;

namespace {

void walk(const FCDAElement& root, const FCDAElement& element, int depth) {
    if (depth > 64)
        return;
    (void)MmsDatasetHelper::getAssociatedTime(element);
    (void)MmsDatasetHelper::getSiblingIndexOfSameType(element);
    const std::string full = element.getFullPathWithFC();
    (void)root.findElement(full);
    (void)MmsDatasetHelper::getPathAssociatedFCDARecord(root, full);
    (void)MmsDatasetHelper::getPathIndexInDataset(root, "IED" + full);
    for (const auto& child : element.getChildren())
        walk(root, *child, depth + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<FCDAElement> tree;
    try {
        tree = FCDAElement::deserialize(text);
    } catch (const xmlpp::exception&) {
        return 0;
    }
    if (!tree)
        return 0;
    walk(*tree, *tree, 0);
    const std::string once = tree->serializeToString();
    std::unique_ptr<FCDAElement> again = FCDAElement::deserialize(once);
    if (!again || again->serializeToString() != once)
        std::abort();
    return 0;
}
