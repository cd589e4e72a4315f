#pragma once
// Descriptors of one GOOSE control block read from an IED (address, control block, data set,
// settings) and the test set's own publications. Every setter of the control block descriptors
// writes one fixed diagnostic line to standard output, so that a run can be traced on the console.
#include "cid/Publications.h"
#include "host/NonCopyable.h"
#include "host/tree/Unit.h"
#include "mms/FunctionalConDA.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace VorIec61850 {

// Ethernet address parameters of a GOOSE or SV control block.
class GoSvAddress : public VorTree::UnitableContainer {
public:
    GoSvAddress() = default;
    GoSvAddress(const uint8_t* mac, uint16_t vlanId, uint8_t vlanPriority, uint16_t appId);
    GoSvAddress(const GoSvAddress& other);
    GoSvAddress& operator=(const GoSvAddress& other);
    ~GoSvAddress() override;

    // setPhysicalAddress, setVlanId, setVlanPriority, setAppId in this order.
    void load(const uint8_t* mac, uint16_t vlanId, uint8_t vlanPriority, uint16_t appId);

    // Copies six bytes into a new buffer and prints "MAC: xx:xx:xx:xx:xx:xx".
    void setPhysicalAddress(const uint8_t* mac);
    // Twelve hexadecimal digits without separators; other lengths are ignored. A pair without
    // hexadecimal digit throws std::invalid_argument("stoi"); nothing is stored then.
    void setPhysicalAddress(const std::string& text);
    void setVlanId(uint16_t vlanId);
    void setVlanPriority(uint8_t vlanPriority);
    void setAppId(uint16_t appId);

    // The MAC set last (all zero if none was ever set).
    std::array<uint8_t, 6> getPhysicalAddress() const;
    bool hasPhysicalAddress() const { return physicalAddress != nullptr; }
    uint16_t getVlatId() const { return vlanId; }
    uint8_t getVlanPriority() const { return vlanPriority; }
    uint16_t getAppId() const { return appId; }

private:
    std::unique_ptr<uint8_t[]> physicalAddress;
    uint16_t vlanId = 0;
    uint8_t vlanPriority = 0;
    uint16_t appId = 0;
};

// A control block of a logical device.
class ControlBlock : public VorTree::UnitableContainer {
public:
    ControlBlock() = default;
    ~ControlBlock() override;

    void setldInst(const std::string& ldInst);
    // Prints "cbName: <name>" before storing it.
    void setCbName(const std::string& cbName);
    void setGoSvAddress(const uint8_t* mac, uint16_t vlanId, uint8_t vlanPriority, uint16_t appId);

    const std::string& getLdInst() const { return ldInst; }
    const std::string& getCbName() const { return cbName; }
    const GoSvAddress& getAddress() const { return address; }
    GoSvAddress& getAddress() { return address; }

protected:
    std::string ldInst;
    std::string cbName;
    GoSvAddress address;
};

// The members of a control block's data set.
class DataSet {
public:
    // Stores, then prints "DataSet name: <name>".
    void setName(const std::string& name);
    const std::string& getName() const { return name; }
    std::vector<FunctionalConDA>& getMembers() { return members; }
    const std::vector<FunctionalConDA>& getMembers() const { return members; }

private:
    std::string name;
    std::vector<FunctionalConDA> members;
};

// The settings common to control blocks; owns its data set.
class Control : Vor::NonCopyable {
public:
    Control();
    virtual ~Control();

    void setCbName(const std::string& cbName);
    // Stores, then prints "DataSet: <name>".
    void setCbDataSetName(const std::string& cbDataSetName);
    DataSet* getDataSet() const { return dataSet.get(); }
    const std::string& getCbName() const { return cbName; }
    const std::string& getCbDataSetName() const { return cbDataSetName; }

protected:
    std::string cbName;
    std::string cbDataSetName; // the part of the data set reference after its first '$'
    std::unique_ptr<DataSet> dataSet;
};

class GooseControlWithIEDName : public Control {
public:
    // Stores, then prints "confRev: <n>".
    void setConfRev(unsigned confRev);
    uint32_t getConfRev() const { return confRev; }

protected:
    uint32_t confRev = 0;
};

class GooseControl : public GooseControlWithIEDName {
public:
    // The GOOSE identifier (goID); stores, then prints "appID: <id>".
    void setAppId(const std::string& appId);
    // Stores, then prints "fixedOffset: true|false".
    void setIsFixedOffs(bool isFixedOffs);
    void setIsRoutable(bool isRoutable);

    const std::string& getAppId() const { return appId; }
    bool getIsFixedOffs() const { return isFixedOffs; }
    bool getIsRoutable() const { return isRoutable; }

private:
    std::string appId;
    bool isFixedOffs = false;
    bool isRoutable = false;
};

// A GOOSE control block of an IED; owns its settings.
class Goose : public ControlBlock, Vor::NonCopyable {
public:
    Goose();
    ~Goose() override;

    GooseControl* getGooseControl() const { return gooseControl.get(); }
    // Each prints "minTime: %f" / "maxTime: %f", then stores (milliseconds).
    void setMinTime(double minTime);
    void setMaxTime(double maxTime);
    double getMinTime() const { return minTime; }
    double getMaxTime() const { return maxTime; }

private:
    std::unique_ptr<GooseControl> gooseControl;
    double minTime = 0;
    double maxTime = 0;
};

} // namespace VorIec61850
