#pragma once
// Writes the CID file that describes the test set's own Sampled Values publication: one IED
// "KAVEN61850" with the logical device "MU" whose LLN0 holds one data set (one member per
// published channel) and one sampled value control block, the SMV address, and the data type
// templates. The writer first fills SCL records, then serialises them.
#include "cid/Publications.h"
#include "scl/SclTypes.h"

#include <string>
#include <vector>

namespace xmlpp {
class Element;
}

namespace VorIec61850 {

class SvToCid {
public:
    static constexpr const char* kDefaultFileName = "SV.cid";
    static constexpr const char* kIedName = "KAVEN61850";
    static constexpr const char* kLdInst = "MU";
    static constexpr const char* kCbName = "MSVCB01";
    static constexpr const char* kDataSetName = "PhsMeas01";
    // The access point's IPv4 address; the publication itself is layer 2 only.
    static constexpr const char* kDefaultIpAddress = "192.168.1.100";

    SvToCid() = default;

    // Fills the records and writes the document to `path`, or to the cache directory's "SV.cid"
    // when `path` is empty. Missing parent directories are created. Exceptions of the XML
    // library, of the file stream and of the MAC text conversion reach the caller.
    void saveToCid(const SvOut& out, const std::string& path);

    // With true, saveToCid writes a document that validates against the IEC 61850-6 edition 2
    // schema (see CidOutput::makeSchemaValid); the default writes the established form.
    void setSchemaValid(bool schemaValid) { _schemaValid = schemaValid; }

    // The path saveToCid writes for a given path argument.
    static std::string targetPath(const std::string& path);

    // Refills the template lists and appends one sub-network and one IED built from `out`.
    void fillSclData(const SvOut& out);

    // The data set member that one channel path gives (public for tests and tools).
    static tFCDA channelToFcda(const std::string& mmsPath);

    const std::vector<tSubNetwork>& getSubNetworks() const { return subNetworks; }
    const std::vector<tIED>& getIeds() const { return ieds; }
    const std::vector<tLNodeType>& getLNodeTypes() const { return lNodeTypes; }
    const std::vector<tDOType>& getDoTypes() const { return doTypes; }
    const std::vector<tDAType>& getDaTypes() const { return daTypes; }
    const std::vector<tEnumType>& getEnumTypes() const { return enumTypes; }

private:
    bool _schemaValid = false;
    std::string sclVersion = "2007";
    std::string sclRevision = "B";
    std::string headerId;
    std::string headerVersion = "1.0";
    std::string headerRevision = "12";
    int nameStructure = 0; // index into the name-structure table, whose only entry is "IEDName"
    std::vector<tSubNetwork> subNetworks;
    std::string communicationDesc;
    std::vector<tIED> ieds;
    std::vector<tLNodeType> lNodeTypes;
    std::vector<tDOType> doTypes;
    std::vector<tDAType> daTypes;
    std::vector<tEnumType> enumTypes;

    // Serialisation, each step appending to the element it is given.
    void _setScl(xmlpp::Element* scl);
    void _addHeader(xmlpp::Element* scl);
    void _addCommunication(xmlpp::Element* scl);
    void _addSubNetwork(xmlpp::Element* communication, const tSubNetwork& subNetwork);
    void _setConnectedAp(xmlpp::Element* subNetwork, const tConnectedAP& connectedAp);
    void _setConnectedApP(xmlpp::Element* connectedAp, const std::vector<tP>& address);
    void _addSmv(xmlpp::Element* connectedAp, const tSMV& smv);
    void _setSmvP(xmlpp::Element* smv, const std::vector<tP>& address);
    void _addIEDs(xmlpp::Element* scl);
    void _setIed(xmlpp::Element* scl, const tIED& ied);
    void _setConfDataSet(xmlpp::Element* services, const tServices& limits);
    void _setAccessPoint(xmlpp::Element* ied, const tAccessPoint& accessPoint);
    void _setServer(xmlpp::Element* accessPoint, const tServer& server);
    void _setAuthentication(xmlpp::Element* server, const tAuthentication& authentication);
    void _setLDevice(xmlpp::Element* server, const tLDevice& lDevice);
    void _setLn0(xmlpp::Element* lDevice, const tLN0& ln0);
    void _addDataSet(xmlpp::Element* ln0, const tDataSet& dataSet);
    void _addFcda(xmlpp::Element* dataSet, const tFCDA& fcda);
    void _setSmvControl(xmlpp::Element* ln0, const tSampledValueControl& control);
    void _setSmvOpts(xmlpp::Element* control, const tSampledValueControlSmvOpts& options);
    void _addLn(xmlpp::Element* lDevice, const tLN& ln);
    void _addDataTypeTemplates(xmlpp::Element* scl);
    void _setLNodeType(xmlpp::Element* templates, const tLNodeType& type);
    void _setDoType(xmlpp::Element* templates, const tDOType& type);
    void _setDaType(xmlpp::Element* templates, const tDAType& type);
    void _setEnumType(xmlpp::Element* templates, const tEnumType& type);

    // Template fillers.
    void _setLNodeTypeData();
    void _setDOTypeData();
    void _setDATypeData();
    void _setEnumTypeData();
};

} // namespace VorIec61850
