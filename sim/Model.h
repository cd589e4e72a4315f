#pragma once
// The data model of a simulated IED in its MMS form: domains (IED name + LD inst), logical
// nodes as named variables whose components are grouped by functional constraint
// ("LLN0$ST$Mod$stVal"), data sets as named variable lists ("LLN0$Events") and the control
// block structures (RP, BR, GO) that the report and GOOSE engines serve, and the Sampled Values
// control blocks that the SV publisher streams.
//
// Every value lives in exactly one node of the tree. The model's mutex guards all values; the
// tree shape never changes after loading.
#include "host/NonCopyable.h"
#include "mms_common.h"
#include "mms_value.h"
#include "stack/src/mms/AlternateAccess.h"
#include "stack/src/mms/VariableTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace iecx::sim {

// Trigger conditions of a data attribute, numbered like the report TrgOps bits.
enum TriggerBits : uint8_t { kTrgDchg = 1, kTrgQchg = 2, kTrgDupd = 4 };

class Domain;

class ModelNode : Vor::NonCopyable {
public:
    enum class Kind { LogicalNode, FcGroup, DataObject, Attribute };

    ModelNode(Kind kind, std::string name);
    ~ModelNode();

    Kind kind;
    std::string name;
    ModelNode* parent = nullptr;
    std::vector<std::unique_ptr<ModelNode>> children;
    Domain* domain = nullptr; // set on logical nodes only; see owningDomain()

    // Value holders (basic attributes and arrays) carry a value and have no children.
    MmsValue* value = nullptr;
    // Type of this node. A structure's element pointers point to the children's type descriptions;
    // an array's type description is a complete tree owned by this node.
    MmsVariableSpecification* typeDesc = nullptr;
    std::string fc;       // functional constraint of the group the node is in (empty above it)
    std::string bType;    // SCL basic type of a value holder
    uint8_t triggers = 0; // TriggerBits of the data attribute the node belongs to

    bool isValueHolder() const { return value != nullptr; }
    ModelNode* child(const std::string& childName) const;
    ModelNode* addChild(std::unique_ptr<ModelNode> node);
    const ModelNode* logicalNode() const;
    Domain* owningDomain() const;
    // Name within the domain: "LLN0$ST$Mod$stVal".
    std::string itemId() const;
    // Object reference: "IEDLD0/LLN0.Mod.stVal" (no FC).
    std::string objectReference() const;
    // All value holders at or below this node, in model order.
    void collectLeaves(std::vector<ModelNode*>& out);
    // Builds the structure type description of this node from its children (bottom up).
    void finishDesc();
};

// A member of a data set: an FCDA resolved to a node (null when the model lacks it). A member
// inside an array (an FCDA with an index) is the array's node and the steps to the part.
struct DataSetMember {
    std::string domain; // MMS domain of the member
    std::string item;   // MMS item id, "GGIO1$ST$Ind1$stVal"; of the array for an array element
    std::string fc;
    ModelNode* node = nullptr;
    std::string index;            // the FCDA's ix: the element of the array on the path
    stack::mms::AccessPath steps; // element and components within the array: (2), "mag"
    // "GGIO1$MX$Harm$har(2)$mag"
    std::string itemWithSteps() const { return item + stack::mms::formatAccessPath(steps, '$'); }
};

struct DataSet {
    Domain* domain = nullptr;
    std::string name;   // name as in the SCL file: "Events"
    std::string itemId; // named variable list name: "LLN0$Events"
    std::vector<DataSetMember> members;
    // "IEDLD0/LLN0$Events", the form carried in DatSet attributes and reports.
    std::string mmsReference() const;
};

struct ReportControlDef {
    std::string name; // instance name: "brcbEvents01"
    bool buffered = false;
    std::string rptId;
    DataSet* dataSet = nullptr;
    uint32_t confRev = 0;
    uint32_t bufTime = 0;
    uint32_t intgPd = 0;
    uint8_t trgOps = 0;        // TRG_OPT_* bits of iec61850_common.h
    uint16_t optFlds = 0;      // RPT_OPT_* bits of iec61850_common.h
    ModelNode* node = nullptr; // the "LLN0$BR$brcbEvents01" structure
};

struct GooseControlDef {
    std::string name;
    std::string goId;
    DataSet* dataSet = nullptr;
    uint32_t confRev = 0;
    bool fixedOffs = false;
    uint8_t dstAddress[6] = {0x01, 0x0c, 0xcd, 0x01, 0x00, 0x00};
    uint16_t appId = 0;
    uint16_t vlanId = 0;
    uint8_t vlanPriority = 4;
    uint32_t minTime = 10;     // ms
    uint32_t maxTime = 10000;  // ms
    ModelNode* node = nullptr; // the "LLN0$GO$gcb01" structure
    // "IEDLD0/LLN0$GO$gcb01"
    std::string reference() const;
};

// A Sampled Values control block with the SMV address of the file's communication section.
struct SvControlDef {
    std::string name;      // "MSVCB01"
    std::string reference; // "IEDMU/LLN0$MS$MSVCB01" (US for a unicast block)
    std::string smvId;     // svID on the wire; the reference when the file gives none
    DataSet* dataSet = nullptr;
    uint32_t confRev = 0;
    uint16_t smpRate = 80;
    uint8_t smpMod = 0; // 0 samples per nominal period, 1 samples per second, 2 seconds per sample
    uint16_t nofAsdu = 1;
    bool multicast = true;
    // SmvOpts: which optional ASDU fields go on the wire.
    bool refreshTime = false;
    bool sampleSynchronized = true;
    bool sampleRate = false;
    bool dataSetOpt = false;
    uint8_t dstAddress[6] = {0x01, 0x0c, 0xcd, 0x04, 0x00, 0x00};
    uint16_t appId = 0x4000;
    uint16_t vlanId = 0;
    uint8_t vlanPriority = 4;
};

class Domain {
public:
    std::string name; // IED name + LD inst (or the LD's ldName)
    std::string inst;
    std::vector<std::unique_ptr<ModelNode>> logicalNodes;
    std::vector<std::unique_ptr<DataSet>> dataSets;
    std::vector<ReportControlDef> reports;
    std::vector<GooseControlDef> gooses;
    std::vector<SvControlDef> svs;

    ModelNode* logicalNode(const std::string& name) const;
    DataSet* dataSet(const std::string& itemId) const; // "LLN0$Events"
    // Every named variable of the domain in model order: each logical node followed by its
    // FC groups and everything below them down to basic attributes and arrays.
    std::vector<std::string> variableNames() const;
    std::vector<std::string> dataSetNames() const;
};

// One changed leaf: which node and why (TriggerBits).
struct ValueChange {
    ModelNode* node;
    uint8_t reason;
};

class Model {
public:
    // Loads the named IED (the first IED when iedName is empty) of a CID/ICD/SCD file. Throws
    // std::runtime_error with a readable message for unreadable files or unknown IEDs.
    static std::unique_ptr<Model> load(const std::string& file, const std::string& iedName = "");

    Model();
    ~Model();

    const std::string& iedName() const { return _iedName; }
    const std::vector<std::unique_ptr<Domain>>& domains() const { return _domains; }
    Domain* domain(const std::string& name) const;

    // Node of an MMS name: domain and "GGIO1$MX$AnIn1$mag$f".
    ModelNode* find(const std::string& domain, const std::string& itemId) const;
    // Node of an object reference "LD/LN.DO.DA" with an optional "[FC]"; LD is the domain name
    // or the LD inst. '$' separators are accepted as well. Without FC the first FC group that
    // has the path wins. An array element ("LD/GGIO1.Harm.har(2).mag.f") resolves to the array
    // with the steps to the part in `steps` (null: such references are not accepted).
    ModelNode* findReference(const std::string& reference, stack::mms::AccessPath* steps = nullptr) const;
    // A data set member's node for an MMS name whose path may run into an array: the array's
    // node, with `index` and the names below it as steps. Null when the path does not resolve.
    ModelNode* findMember(const std::string& domain, const std::string& itemId, const std::string& index,
                          stack::mms::AccessPath& steps) const;

    // The guard of every value in the tree.
    std::mutex& mutex() const { return _mutex; }

    // A new copy of the node's value (structures assembled from their components); the caller
    // deletes it. Takes the model lock.
    MmsValue* read(const ModelNode* node) const;
    // Same, for callers that already hold the lock.
    MmsValue* readLocked(const ModelNode* node) const;
    // The part of the node's value that `steps` select (the whole value without steps); null
    // when the steps do not fit.
    MmsValue* readLocked(const ModelNode* node, const stack::mms::AccessPath& steps) const;
    MmsValue* readLocked(const DataSetMember& member) const { return readLocked(member.node, member.steps); }

    // Copies value into the node (a structure component by component; types must match).
    // Changes are announced to the listeners after the lock is released. false when the types
    // do not match.
    bool setValue(ModelNode* node, const MmsValue* value);
    // Sets the part of a node's value that `steps` select (an array element or below).
    bool setValue(ModelNode* node, const stack::mms::AccessPath& steps, const MmsValue* value);
    // Same with the lock held by the caller; changes are appended to `changes` and the caller
    // announces them with notify() after unlocking.
    bool setValueLocked(ModelNode* node, const MmsValue* value, std::vector<ValueChange>& changes);
    void notify(const std::vector<ValueChange>& changes);

    using ChangeListener = std::function<void(const std::vector<ValueChange>&)>;
    // Listeners run on the thread that changed the value, without the model lock.
    void addChangeListener(ChangeListener listener);

    // Number of basic attributes (value holders, arrays counted once) in the model.
    size_t attributeCount() const;

    // Used by the loader.
    std::string _iedName;
    std::vector<std::unique_ptr<Domain>> _domains;

private:
    mutable std::mutex _mutex;
    std::mutex _listenerMutex;
    std::vector<ChangeListener> _listeners;
};

} // namespace iecx::sim
