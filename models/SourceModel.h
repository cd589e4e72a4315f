#pragma once
#include "host/NonCopyable.h"
#include "host/tree/Enum.h"
#include "host/tree/Unit.h"
#include "models/Choices.h"
#include "scl/SclTypes.h"

#include <sigc++/sigc++.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace VorIec61850 {

// A data source of the settings: the choices of transfer protocol, device and element, and the
// signals through which a source tells the data tree and the parameters what to show and hands
// on the user's selection. The file and device sources fill the device and element lists their
// own way.
class SourceModel : public VorTree::UnitableContainer, Vor::NonCopyable {
public:
    using DataList = std::vector<std::pair<std::string, std::string>>;

    SourceModel();
    ~SourceModel() override;

    // One leaf of the data tree: node names from the top down, and the leaf's unit text.
    sigc::signal<void, std::vector<std::string>, std::string> signalAddNode;
    sigc::signal<void> signalClearTree;
    // The access point, the protocol and the position of the chosen element.
    sigc::signal<void, tConnectedAP, unsigned long long, unsigned long long> signalSetParams;
    sigc::signal<void> signalClearParams;
    sigc::signal<void, tGSE, DataList> signalSendGoose;
    sigc::signal<void, tSMV, DataList> signalSendSv;

    // Hands on the current GOOSE or Sampled Values selection with the checked data.
    virtual void sendData(const DataList& data) = 0;
    virtual void setTransferProtocol(const TransferProtocolEnum& protocol) = 0;

    TransferProtocolUnit* getTransferProtocolUnit() const { return transferProtocol; }
    DeviceUnit* getDeviceUnit() const { return device; }
    ElementUnit* getElementUnit() const { return element; }

protected:
    TransferProtocolUnit* transferProtocol = nullptr;
    DeviceUnit* device = nullptr;
    ElementUnit* element = nullptr;
    std::shared_ptr<VorTree::EnumLimiter> protocolLimiter;
    std::shared_ptr<VorTree::EnumLimiter> deviceLimiter;
    std::shared_ptr<VorTree::EnumLimiter> elementLimiter;

private:
    template <typename U> U* _addChoice(const char* id, const std::shared_ptr<VorTree::EnumLimiter>& limiter);
};

} // namespace VorIec61850
