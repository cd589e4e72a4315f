#pragma once
// A small IED model served by the MMS server engine for the client tests: logical device
// "LD0" with LLN0 (Mod, a URCB, a BRCB, a GoCB, data set DS1) and GGIO1 (Ind1, AnIn1, and one
// attribute of every basic MMS type under GGIO1$ST$Types).
#include "mms_type_spec.h"
#include "mms_value.h"
#include "stack/src/mms/VariableTypes.h"
#include "stack/src/mms/server/MmsServer.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace mmstest {

using stack::mms::MmsServerConnection;
using stack::mms::MmsServerConnectionPtr;
using stack::mms::ObjectClass;
using stack::mms::ObjectName;

// One functionally constrained data object (or control block): its type and its value.
struct Node {
    std::string ln;
    std::string fc;
    std::string name;
    MmsVariableSpecification* spec = nullptr;
    MmsValue* value = nullptr;
};

class TestModel : public stack::mms::MmsServerHandler {
public:
    explicit TestModel(std::string ldName = "LD0");
    ~TestModel() override;

    bool getNameList(MmsServerConnection&, ObjectClass cls, const std::string& domain,
                     std::vector<std::string>& names) override;
    MmsValue* readVariable(MmsServerConnection&, const ObjectName& name) override;
    MmsDataAccessError writeVariable(MmsServerConnection&, const ObjectName& name,
                                     const MmsValue* value) override;
    const MmsVariableSpecification* getVariableAccessAttributes(MmsServerConnection&,
                                                                const ObjectName& name) override;
    bool getNamedVariableListAttributes(MmsServerConnection&, const ObjectName& list,
                                        std::vector<ObjectName>& members, bool& deletable) override;
    void connectionOpened(const MmsServerConnectionPtr& c) override;
    void connectionClosed(const MmsServerConnectionPtr& c) override;

    // The value at an MMS item path (a pointer into the model), or nullptr.
    MmsValue* find(const std::string& item);
    // Sends a report of URCB "urcb01" (data set DS1: Ind1.stVal, AnIn1) to every connection that
    // enabled it: sequence number, time of entry, data set name, reason codes, conf rev; only
    // members whose bit is set in `includedMask` are included, with reason `reasonBit`
    // (1 data change ... 5 GI).
    int sendUrcbReport(unsigned includedMask, int reasonBit);

    std::string ld;
    std::mutex mutex;
    std::vector<Node> nodes;
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
    std::atomic<int> reads{0};
    std::vector<MmsServerConnectionPtr> reportReceivers;
    std::vector<MmsServerConnectionPtr> openConnections;
    uint16_t sqNum = 0;

private:
    Node* nodeFor(const std::string& item, std::string& rest);
};

} // namespace mmstest
