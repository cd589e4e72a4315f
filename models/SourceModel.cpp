#include "models/SourceModel.h"

namespace VorIec61850 {

SourceModel::SourceModel()
    : protocolLimiter(std::make_shared<VorTree::EnumLimiter>()),
      deviceLimiter(std::make_shared<VorTree::EnumLimiter>()),
      elementLimiter(std::make_shared<VorTree::EnumLimiter>()) {
    _unlockCollection();
    protocolLimiter->addItem("Отчеты (MMS)", "Отчеты (MMS)", static_cast<int>(TransferProtocol::MmsReports));
    protocolLimiter->addItem("События (GOOSE)", "События (GOOSE)", static_cast<int>(TransferProtocol::Goose));
    protocolLimiter->addItem("Поток (SMV)", "Поток (SMV)", static_cast<int>(TransferProtocol::SampledValues));
    // No protocol is selected: an empty choice reads as MMS reports.
    transferProtocol = _addChoice<TransferProtocolUnit>("TransferProtocol", protocolLimiter);
    device = _addChoice<DeviceUnit>("Device", deviceLimiter);
    element = _addChoice<ElementUnit>("Element", elementLimiter);
    _lockContainer();
}

SourceModel::~SourceModel() = default;

template <typename U>
U* SourceModel::_addChoice(const char* id, const std::shared_ptr<VorTree::EnumLimiter>& limiter) {
    auto unit = std::make_unique<U>(id, id, VorTree::LocalString::Empty(), limiter);
    add(unit.get()); // a refusal throws and the unit is destroyed here
    return unit.release();
}

} // namespace VorIec61850
