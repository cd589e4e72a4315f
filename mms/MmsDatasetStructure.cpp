// MmsDatasetHelper: data set structures of a device, from its directory and type descriptions.
#include "mms/MmsDatasetHelper.h"

#include "mms/MmsPathHelper.h"

#include "linked_list.h"

namespace VorIec61850 {

namespace {

constexpr int kMaxDepth = 32;

// The client's MMS type codes and tMmsTypeEnum number their types alike.
tMmsTypeEnum mmsTypeOf(MmsVariableSpecification* typeDesc) {
    const int type = static_cast<int>(MmsVariableSpecification_getType(typeDesc));
    if (type < 0 || type > static_cast<int>(tMmsTypeEnum::DATA_ACCESS_ERROR))
        return tMmsTypeEnum::BOOLEAN;
    return static_cast<tMmsTypeEnum>(type);
}

void addTypeComponents(FCDAElement& parent, MmsVariableSpecification* typeDesc, tFCEnum fc, int depth) {
    if (depth > kMaxDepth || MmsVariableSpecification_getType(typeDesc) != MMS_STRUCTURE)
        return;
    const int size = MmsVariableSpecification_getSize(typeDesc);
    for (int k = 0; k < size; ++k) {
        MmsVariableSpecification* child = MmsVariableSpecification_getChildSpecificationByIndex(typeDesc, k);
        if (child == nullptr)
            continue;
        const char* name = MmsVariableSpecification_getName(child);
        auto element = std::make_unique<FCDAElement>(name ? name : "", fc, mmsTypeOf(child), nullptr);
        addTypeComponents(*element, child, fc, depth + 1);
        parent.addChild(std::move(element));
    }
}

} // namespace

std::unique_ptr<FCDAElement> MmsDatasetHelper::createDatasetStructure(const std::vector<std::string>& members,
                                                                      const TypeLookup& typeOf) {
    auto root = std::make_unique<FCDAElement>();
    for (const std::string& reference : members) {
        const std::string path = MmsPathHelper::getPathWithoutFC(reference);
        const tFCEnum fc = MmsPathHelper::getPathFC(reference);
        auto member = std::make_unique<FCDAElement>(path, fc, tMmsTypeEnum::BOOLEAN, nullptr);
        MmsVariableSpecification* typeDesc =
            typeOf ? typeOf(path, MmsPathHelper::getPathConstraint(reference)) : nullptr;
        if (typeDesc != nullptr) {
            member->setDataType(mmsTypeOf(typeDesc));
            addTypeComponents(*member, typeDesc, fc, 0);
            MmsVariableSpecification_destroy(typeDesc);
        }
        root->addChild(std::move(member));
    }
    return root;
}

std::unique_ptr<FCDAElement> MmsDatasetHelper::createDatasetStructure(IedConnection connection,
                                                                      const std::string& dataSetReference,
                                                                      IedClientError* error) {
    LinkedList directory =
        IedConnection_getDataSetDirectory(connection, error, dataSetReference.c_str(), nullptr);
    if (directory == nullptr || *error != IED_ERROR_OK) {
        if (directory)
            LinkedList_destroy(directory);
        if (*error == IED_ERROR_OK)
            *error = IED_ERROR_OBJECT_DOES_NOT_EXIST;
        return nullptr;
    }
    std::vector<std::string> members;
    for (LinkedList e = LinkedList_getNext(directory); e != nullptr; e = LinkedList_getNext(e))
        if (const char* text = static_cast<const char*>(LinkedList_getData(e)))
            members.emplace_back(text);
    LinkedList_destroy(directory);
    return createDatasetStructure(
        members, [connection](const std::string& reference, FunctionalConstraint fc) {
            IedClientError typeError = IED_ERROR_OK;
            return IedConnection_getVariableSpecification(connection, &typeError, reference.c_str(), fc);
        });
}

} // namespace VorIec61850
