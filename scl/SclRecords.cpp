#include "scl/SclRecords.h"

#include "host/NetAddr.h"

#include <stdexcept>

namespace VorIec61850 {

tP::tP(const std::string& type_, const uint8_t* mac) : type(type_) {
    if (mac != nullptr)
        for (std::size_t i = 0; i < macAddress.size(); ++i)
            macAddress[i] = mac[i];
}

tP::tP(const std::string& type_, const std::string& text) : type(type_) {
    if (text.find('-') != std::string::npos || text.find(':') != std::string::npos) {
        const Vor::Net::NetAddr mac(text, 6, ':');
        for (std::size_t i = 0; i < macAddress.size(); ++i)
            macAddress[i] = mac.bytes()[i];
    } else if (text.find('.') != std::string::npos) {
        const Vor::Net::NetAddr ip(text, 4, '.');
        for (std::size_t i = 0; i < ipAddress.size(); ++i)
            ipAddress[i] = ip.bytes()[i];
    } else {
        // std::stoul raises invalid_argument / out_of_range with the text "stoul".
        value = static_cast<uint16_t>(std::stoul(text, nullptr, 16));
    }
}

std::string tP::getMacAddress() const {
    return Vor::Net::NetAddr(macAddress.data(), macAddress.size(), '-').to_string('-');
}

std::string tP::getIpAddress() const {
    return Vor::Net::NetAddr(ipAddress.data(), ipAddress.size(), '.').to_string('.');
}

const tP* tControlBlock::_find(const char* key) const {
    for (const auto& p : address)
        if (p.type == key)
            return &p;
    return nullptr;
}

std::string tControlBlock::getMacAddress() const {
    const tP* p = _find("MAC-Address");
    return p ? p->getMacAddress() : std::string();
}

uint16_t tControlBlock::getAppId() const {
    const tP* p = _find("APPID");
    return p ? p->getValue() : 0;
}

uint16_t tControlBlock::getVlanId() const {
    const tP* p = _find("VLAN-ID");
    return p ? p->getValue() : 0;
}

uint16_t tControlBlock::getVlanPriority() const {
    const tP* p = _find("VLAN-PRIORITY");
    return p ? p->getValue() : 0;
}

namespace {
template <typename T> std::unique_ptr<T> deepCopy(const std::unique_ptr<T>& p) {
    return p ? std::make_unique<T>(*p) : nullptr;
}
} // namespace

tControl::tControl(const tControl& other)
    : desc(other.desc), name(other.name), datSet(other.datSet), dataSet(deepCopy(other.dataSet)) {}

tControl& tControl::operator=(const tControl& other) {
    if (this != &other) {
        desc = other.desc;
        name = other.name;
        datSet = other.datSet;
        dataSet = deepCopy(other.dataSet);
    }
    return *this;
}

void tGSEControl::setControlBlockReference(const tConnectedAP* ap, std::size_t index) {
    if (ap == nullptr || index >= ap->gse.size())
        return;
    const tGSE& entry = ap->gse[index];
    reference = ap->iedName + entry.ldInst + "/LLN0$GO$" + (entry.gseControl ? entry.gseControl->name : "");
}

tGSE::tGSE(const tGSE& other)
    : tControlBlock(other), gseControl(deepCopy(other.gseControl)), minTime(other.minTime),
      maxTime(other.maxTime) {}

tGSE& tGSE::operator=(const tGSE& other) {
    if (this != &other) {
        tControlBlock::operator=(other);
        gseControl = deepCopy(other.gseControl);
        minTime = other.minTime;
        maxTime = other.maxTime;
    }
    return *this;
}

tSMV::tSMV(const tSMV& other)
    : tControlBlock(other), reservedText(other.reservedText), svControl(deepCopy(other.svControl)) {}

tSMV& tSMV::operator=(const tSMV& other) {
    if (this != &other) {
        tControlBlock::operator=(other);
        reservedText = other.reservedText;
        svControl = deepCopy(other.svControl);
    }
    return *this;
}

} // namespace VorIec61850
