#include "cid/Descriptors.h"

#include "host/NetAddr.h"

#include <cstdio>
#include <cstring>

namespace VorIec61850 {

// GoSvAddress

GoSvAddress::GoSvAddress(const uint8_t* mac, uint16_t vlanId, uint8_t vlanPriority, uint16_t appId) {
    load(mac, vlanId, vlanPriority, appId);
}

GoSvAddress::GoSvAddress(const GoSvAddress& other)
    : VorTree::UnitableContainer(other), vlanId(other.vlanId), vlanPriority(other.vlanPriority),
      appId(other.appId) {
    if (other.physicalAddress) {
        physicalAddress = std::make_unique<uint8_t[]>(6);
        std::memcpy(physicalAddress.get(), other.physicalAddress.get(), 6);
    }
}

GoSvAddress& GoSvAddress::operator=(const GoSvAddress& other) {
    if (this != &other) {
        VorTree::UnitableContainer::operator=(other);
        std::unique_ptr<uint8_t[]> copy;
        if (other.physicalAddress) {
            copy = std::make_unique<uint8_t[]>(6);
            std::memcpy(copy.get(), other.physicalAddress.get(), 6);
        }
        physicalAddress = std::move(copy);
        vlanId = other.vlanId;
        vlanPriority = other.vlanPriority;
        appId = other.appId;
    }
    return *this;
}

GoSvAddress::~GoSvAddress() = default;

void GoSvAddress::load(const uint8_t* mac, uint16_t vlanId_, uint8_t vlanPriority_, uint16_t appId_) {
    setPhysicalAddress(mac);
    setVlanId(vlanId_);
    setVlanPriority(vlanPriority_);
    setAppId(appId_);
}

void GoSvAddress::setPhysicalAddress(const uint8_t* mac) {
    auto buffer = std::make_unique<uint8_t[]>(6);
    std::memcpy(buffer.get(), mac, 6);
    physicalAddress = std::move(buffer); // frees the previous buffer
    const std::string text = Vor::Net::NetAddr(physicalAddress.get(), 6, ':').to_string(':');
    std::printf("MAC: %s\n", text.c_str());
}

void GoSvAddress::setPhysicalAddress(const std::string& text) {
    if (text.size() != 12)
        return;
    uint8_t mac[6];
    for (std::size_t i = 0; i < 6; ++i) {
        // std::stoi raises invalid_argument / out_of_range with the text "stoi".
        mac[i] = static_cast<uint8_t>(std::stoi(text.substr(2 * i, 2), nullptr, 16));
    }
    setPhysicalAddress(mac);
}

void GoSvAddress::setVlanId(uint16_t value) {
    vlanId = value;
    std::printf("VlanID: %d\n", static_cast<int>(vlanId));
}

void GoSvAddress::setVlanPriority(uint8_t value) {
    vlanPriority = value;
    std::printf("VlanPriority: %d\n", static_cast<int>(vlanPriority));
}

void GoSvAddress::setAppId(uint16_t value) {
    appId = value;
    std::printf("AppID: %d\n", static_cast<int>(appId));
}

std::array<uint8_t, 6> GoSvAddress::getPhysicalAddress() const {
    std::array<uint8_t, 6> mac{};
    if (physicalAddress)
        std::memcpy(mac.data(), physicalAddress.get(), 6);
    return mac;
}

// ControlBlock

ControlBlock::~ControlBlock() = default;

void ControlBlock::setldInst(const std::string& value) {
    ldInst = value;
}

void ControlBlock::setCbName(const std::string& value) {
    std::printf("cbName: %s\n", value.c_str());
    cbName = value;
}

void ControlBlock::setGoSvAddress(const uint8_t* mac, uint16_t vlanId, uint8_t vlanPriority, uint16_t appId) {
    address.load(mac, vlanId, vlanPriority, appId);
}

// DataSet, Control, GooseControl

void DataSet::setName(const std::string& value) {
    name = value;
    std::printf("DataSet name: %s\n", name.c_str());
}

Control::Control() : dataSet(std::make_unique<DataSet>()) {}
Control::~Control() = default;

void Control::setCbName(const std::string& value) {
    cbName = value;
}

void Control::setCbDataSetName(const std::string& value) {
    cbDataSetName = value;
    std::printf("DataSet: %s\n", cbDataSetName.c_str());
}

void GooseControlWithIEDName::setConfRev(unsigned value) {
    confRev = value;
    std::printf("confRev: %i\n", static_cast<int>(confRev));
}

void GooseControl::setAppId(const std::string& value) {
    appId = value;
    std::printf("appID: %s\n", appId.c_str());
}

void GooseControl::setIsFixedOffs(bool value) {
    isFixedOffs = value;
    std::printf("fixedOffset: %s\n", isFixedOffs ? "true" : "false");
}

void GooseControl::setIsRoutable(bool value) {
    isRoutable = value;
}

// Goose

Goose::Goose() : gooseControl(std::make_unique<GooseControl>()) {}
Goose::~Goose() = default;

void Goose::setMinTime(double value) {
    std::printf("minTime: %f\n", value);
    minTime = value;
}

void Goose::setMaxTime(double value) {
    std::printf("maxTime: %f\n", value);
    maxTime = value;
}

} // namespace VorIec61850
