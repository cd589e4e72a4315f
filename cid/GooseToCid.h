#pragma once
// Writes the CID file that describes the test set's own GOOSE publication: one IED with one
// logical device whose LLN0 holds the published data set and the GSE control block, the logical
// nodes the members come from, the GSE address, and the data type templates.
#include "cid/GooseTemplates.h"
#include "cid/Publications.h"

#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace xmlpp {
class Element;
}

namespace VorIec61850 {

class GooseToCid {
public:
    // A logical node declared in the logical device.
    struct Ln {
        std::string desc;
        std::string lnType;
        std::string prefix;
        std::string lnClass;
        std::string inst;

        bool operator<(const Ln& other) const {
            return std::tie(desc, lnType, prefix, lnClass, inst) <
                   std::tie(other.desc, other.lnType, other.prefix, other.lnClass, other.inst);
        }
    };

    // One parsed FCDA line; all texts empty when the line does not parse.
    struct FcdaAttributes {
        std::string ldInst;
        std::string prefix;
        std::string lnClass;
        std::string lnInst;
        std::string doName;
        std::string daName;
        std::string fc;
        std::string dataType;
    };

    static constexpr const char* kDefaultFileName = "Goose.cid";

    GooseToCid();

    // Writes the document to `path`, or to the cache directory's "Goose.cid" when `path` is
    // empty. Missing parent directories are created. Exceptions of the XML library and of the
    // file stream reach the caller.
    void saveToCid(const GooseOut& out, const std::string& path);

    // With true, saveToCid writes a document that validates against the IEC 61850-6 edition 2
    // schema (see CidOutput::makeSchemaValid); the default writes the established form.
    void setSchemaValid(bool schemaValid) { _schemaValid = schemaValid; }

    // The path saveToCid writes for a given path argument.
    static std::string targetPath(const std::string& path);

    // Parses one FCDA line of GooseOut::fcdaList (public for tests and tools).
    FcdaAttributes parseFcdaString(const std::string& line) const { return _parseFcdaString(line); }

    const std::string& getIedName() const { return iedName; }
    const std::string& getLdInst() const { return ldInst; }
    const std::string& getGseControlName() const { return gseControlName; }
    const std::set<Ln>& getLnItems() const { return lnItems; }
    const std::set<LNodeTypeAttributes>& getLNodeTypeAttributes() const { return lNodeTypeAttributes; }
    const std::set<LNodeTypeItem>& getLNodeTypeItems() const { return lNodeTypeItems; }

private:
    bool _schemaValid = false;
    std::string iedName;
    std::string ldInst;
    std::string gseControlName;
    std::vector<std::string> lnClasses;
    std::set<Ln> lnItems;
    std::set<LNodeTypeAttributes> lNodeTypeAttributes;
    std::set<LNodeTypeItem> lNodeTypeItems;

    void _setSclNode(xmlpp::Element* scl, const GooseOut& out);
    void _setHeaderNode(xmlpp::Element* scl);
    void _setCommunicationNode(xmlpp::Element* scl, const GooseOut& out);
    void _setSubNetWork(xmlpp::Element* communication, const GooseOut& out);
    void _setConnectedAP(xmlpp::Element* subNetwork, const GooseOut& out);
    void _setGse(xmlpp::Element* connectedAp, const GooseOut& out);
    void _setIed(xmlpp::Element* scl, const GooseOut& out);
    void _setConfDataSet(xmlpp::Element* services);
    void _setGoose(xmlpp::Element* services);
    void _setSmvsc(xmlpp::Element* services);
    void _setAccessPoint(xmlpp::Element* ied, const GooseOut& out);
    void _setlDevice(xmlpp::Element* server, const GooseOut& out);
    void _setLnZero(xmlpp::Element* lDevice, const GooseOut& out);
    void _setDataSet(xmlpp::Element* lnZero, const GooseOut& out);
    void _setFcda(xmlpp::Element* dataSet, const GooseOut& out);
    void _setGseControl(xmlpp::Element* lnZero, const GooseOut& out);
    void _setLnItems(xmlpp::Element* lDevice);

    void _findIedLd(const std::string& ldReference, const std::string& goCbRef);
    void _findGseControlName(const std::string& goCbRef);
    FcdaAttributes _parseFcdaString(const std::string& line) const;
    void _addLnCollectionItem(const FcdaAttributes& fcda);
    void _initLnClassCollection();
};

} // namespace VorIec61850
