#pragma once
#include "scl/SclEnums.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// Plain value records of the parts of an SCL document this library reads and writes.
// Nested control blocks and data sets are owned through unique pointers that the default
// constructor always allocates and that copying deep-copies.
namespace VorIec61850 {

struct tBaseElement {
    // Reserved texts (SCL Text, Private and foreign content); neither read nor written.
    std::string text;
    std::string privateText;
    std::string any;
};

struct tNaming : tBaseElement {
    std::string name;
    std::string desc;
};

struct tIDNaming : tBaseElement {
    std::string id;
    std::string desc;
};

// One P element of an Address. Exactly one of value, macAddress and ipAddress is meaningful.
class tP {
public:
    std::string type;
    uint16_t value = 0;
    std::array<uint8_t, 6> macAddress{};
    std::array<uint8_t, 4> ipAddress{};

    tP() = default;
    // A numeric parameter (any integer type, truncated to 16 bits).
    template <typename T, typename = std::enable_if_t<std::is_integral<T>::value>>
    tP(const std::string& type_, T value_) : type(type_), value(static_cast<uint16_t>(value_)) {}
    // A MAC address given as six bytes.
    tP(const std::string& type_, const uint8_t* mac);
    // A parameter given as SCL text: text with '-' or ':' is a MAC address, text with '.' an
    // IPv4 address, anything else a hexadecimal number (std::invalid_argument / std::out_of_range
    // "stoul" when it is not one). Malformed addresses throw std::invalid_argument.
    tP(const std::string& type_, const std::string& text);
    tP(const std::string& type_, const char* text) : tP(type_, std::string(text)) {}

    const std::string& getType() const { return type; }
    uint16_t getValue() const { return value; }
    // Hexadecimal byte pairs joined by '-'.
    std::string getMacAddress() const;
    // Dotted decimal.
    std::string getIpAddress() const;
};

// An SCL GSE or SMV element of a connected access point.
struct tControlBlock {
    std::string desc;
    std::string ldInst;
    std::string cbName;
    std::vector<tP> address;

    // Lookups by P type; the first matching entry answers, no match gives "" or 0.
    std::string getMacAddress() const; // "MAC-Address"
    uint16_t getAppId() const;         // "APPID"
    uint16_t getVlanId() const;        // "VLAN-ID"
    uint16_t getVlanPriority() const;  // "VLAN-PRIORITY"

private:
    const tP* _find(const char* type) const;
};

// One value of a data attribute (SCL Val).
struct tVal {
    int32_t sGroup = 0;
    bool hasSGroup = false;
    std::string value;
};

// Common part of DA and BDA.
struct tAbstractDataAttribute {
    std::string desc;
    std::string name;
    std::string sAddr;
    tMmsTypeEnum mmsType = tMmsTypeEnum::BOOLEAN;
    // The SCL basic type itself; the SV CID writer writes it as bType.
    tBasicTypeEnum bType = tBasicTypeEnum::BOOLEAN;
    tValKindEnum valKind = tValKindEnum::Set;
    std::string type; // referenced DAType or EnumType id, empty for a basic attribute
    std::string count = "0";
    std::vector<tVal> vals;
};

struct tDA : tAbstractDataAttribute {
    tFCEnum fc = tFCEnum::NONE;
    bool dchg = false;
    bool qchg = false;
    bool dupd = false;
};

struct tBDA : tAbstractDataAttribute {};

// One component of a structured data set member as the IED lays it out on the wire: an
// attribute, a sub-data object or a member of a structured attribute type, in type order, with
// its own components when it is itself a structure.
struct tFCDAComponent {
    std::string name;
    tFCEnum fc = tFCEnum::NONE;
    tMmsTypeEnum mmsType = tMmsTypeEnum::BOOLEAN;
    std::vector<tFCDAComponent> components;
};

// One FCDA of a data set, resolved to its MMS type.
struct tFCDA {
    std::string prefix;
    std::string ldInst;
    std::string lnClass;
    std::string lnInst;
    std::string doName;
    std::string daName;
    tMmsTypeEnum mmsType = tMmsTypeEnum::BOOLEAN;
    int reserved1 = 0;
    int reserved2 = 0;
    tFCEnum fc = tFCEnum::NONE;
    // The attributes a data-object-level FCDA (empty daName) stands for.
    std::vector<tDA> das;
    // SI unit of the data object, empty when none.
    std::string unit;
    // The components of the member's value when it is a structure (a data object, or a
    // structured attribute), in wire order; empty for a basic value.
    std::vector<tFCDAComponent> components;
};

struct tDataSet {
    std::string desc;
    std::string name;
    std::vector<tFCDA> fcdas;
};

// Common part of control blocks; owns its data set.
struct tControl {
    std::string desc;
    std::string name;
    std::string datSet;
    std::unique_ptr<tDataSet> dataSet;

    tControl() : dataSet(std::make_unique<tDataSet>()) {}
    tControl(const tControl& other);
    tControl& operator=(const tControl& other);
    tControl(tControl&&) noexcept = default;
    tControl& operator=(tControl&&) noexcept = default;
    ~tControl() = default;
};

// One IEDName (subscriber) entry of a control block.
struct tControlWithIEDNameIEDName {
    std::string value;
    std::string apRef;
    std::string ldInst;
    std::string prefix;
    std::string lnClass;
    std::string lnInst;
};

struct tConnectedAP;

struct tGSEControl : tControl {
    std::vector<tControlWithIEDNameIEDName> iedNames;
    int32_t confRev = 0;
    std::string appID;
    bool fixedOffs = false;
    bool reservedFlag = true;
    std::string reservedText;
    tGSEControlTypeEnum type = tGSEControlTypeEnum::GOOSE;
    std::string reference;

    // reference = ap->iedName + gse[index].ldInst + "/LLN0$GO$" + gse[index].gseControl->name.
    // An index past the end of the list leaves reference unchanged.
    void setControlBlockReference(const tConnectedAP* ap, std::size_t index);
    const std::string& getControlBlockReference() const { return reference; }
};

struct tSampledValueControlSmvOpts {
    bool refreshTime = false;
    bool sampleSynchronized = true;
    bool reserved = false;
    bool sampleRate = false;
    bool dataSet = false;
    bool security = false;
};

struct tSampledValueControl : tControl {
    std::vector<tControlWithIEDNameIEDName> iedNames;
    int32_t confRev = 0;
    bool reservedFlag = false;
    bool multicast = true;
    std::string smvID;
    int32_t smpRate = 0;
    int32_t nofASDU = 0;
    tSmpMod smpMod = tSmpMod::SmpPerPeriod;
    tSampledValueControlSmvOpts smvOpts;
};

// A duration in milliseconds (MinTime / MaxTime); only value is used.
struct tDurationInMilliSec {
    int multiplierCode = 0;
    int unitCode = 3;
    int reservedCode1 = 0;
    int reservedCode2 = 1;
    double value = 0;
};

struct tGSE : tControlBlock {
    std::unique_ptr<tGSEControl> gseControl;
    tDurationInMilliSec minTime;
    tDurationInMilliSec maxTime;

    tGSE() : gseControl(std::make_unique<tGSEControl>()) {}
    tGSE(const tGSE& other);
    tGSE& operator=(const tGSE& other);
    tGSE(tGSE&&) noexcept = default;
    tGSE& operator=(tGSE&&) noexcept = default;
    ~tGSE() = default;
};

struct tSMV : tControlBlock {
    std::string reservedText;
    std::unique_ptr<tSampledValueControl> svControl;

    tSMV() : svControl(std::make_unique<tSampledValueControl>()) {}
    tSMV(const tSMV& other);
    tSMV& operator=(const tSMV& other);
    tSMV(tSMV&&) noexcept = default;
    tSMV& operator=(tSMV&&) noexcept = default;
    ~tSMV() = default;
};

struct tConnectedAP {
    std::string desc;
    std::string iedName;
    std::string apName;
    std::vector<tP> address;
    std::vector<tGSE> gse;
    std::vector<tSMV> smv;
    // Report entries: (reference, display name). The SCL reader leaves the list empty.
    std::vector<std::pair<std::string, std::string>> reports;
};

struct tSubNetwork : tNaming {
    std::string type = "8-MMS";
    std::string reservedText;
    int reservedCode = 3;
    std::vector<tConnectedAP> connectedAPs;
};

// ---- IED side -------------------------------------------------------------------------------

struct tServiceWithMax {
    unsigned max = 0;
};

struct tServiceForConfDataSet {
    unsigned max = 0;
    unsigned maxAttributes = 0;
    bool modify = true;
};

struct tServices {
    tServiceForConfDataSet confDataSet;
    tServiceWithMax goose;
    tServiceWithMax smvsc;
};

struct tAuthentication {
    bool none = true;
    bool password = false;
    bool weak = false;
    bool strong = false;
    bool certificate = false;
};

// Common part of logical nodes.
struct tAnyLN {
    std::string desc;
    std::vector<tDataSet> dataSets;
    std::string lnType;
};

struct tLN : tAnyLN {
    std::string prefix;
    tLNClassEnum lnClass = tLNClassEnum::LPHD;
    std::string inst;
};

struct tLN0 : tAnyLN {
    std::vector<tGSEControl> gseControls;
    std::vector<tSampledValueControl> sampledValueControls;
    tLNClassEnum lnClass = tLNClassEnum::LLN0;
    std::string inst;
};

struct tLDevice {
    std::string desc;
    tLN0 ln0;
    std::vector<tLN> lns;
    std::string inst;
};

struct tServer {
    std::string desc;
    tAuthentication authentication;
    std::vector<tLDevice> lDevices;
};

struct tAccessPoint {
    std::string desc;
    std::string name;
    tServer server;
};

struct tIED {
    std::string desc;
    std::string name;
    std::string type;
    std::string manufacturer;
    std::string configVersion;
    std::string originalSclVersion;
    std::string originalSclRevision;
    std::string engRight;
    std::string owner;
    tServices services;
    std::vector<tAccessPoint> accessPoints;
};

// ---- Data type templates ----------------------------------------------------------------------

struct tDO {
    std::string desc;
    std::string name;
    std::string type;
    std::string accessControl;
    bool transient = false;
};

struct tLNodeType : tIDNaming {
    std::string iedType;
    std::string lnClass;
    std::vector<tDO> dos;
};

struct tDOType : tIDNaming {
    std::string iedType;
    tCDCEnum cdc = tCDCEnum::SPS;
    std::vector<tDA> das;
};

struct tDAType : tIDNaming {
    std::string iedType;
    std::vector<tBDA> bdas;
};

struct tEnumVal {
    int32_t ord = 0;
    std::string value;
};

struct tEnumType : tIDNaming {
    std::vector<tEnumVal> enumVals;
};

} // namespace VorIec61850
