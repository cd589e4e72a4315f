#pragma once
#include "host/NonCopyable.h"
#include "scl/SclTypes.h"

#include <libxml++/libxml++.h>
#include <libxml/tree.h>

#include <memory>
#include <string>
#include <vector>

namespace VorIec61850 {

class SclQueries;

// Reads the communication side of a parsed SCL document (CID, ICD, SCD): every sub-network,
// every connected access point that publishes GOOSE or Sampled Values, and for each GSE / SMV
// address block the IED's control block with its data set, each FCDA resolved through the data
// type templates to an MMS type.
//
// Conversion errors leave the constructor as standard exceptions whose messages are the
// conversion names ("stoi", "stod", "stoul").
class DataExtractor : Vor::NonCopyable {
public:
    // How node lookups are answered. Both give the same records: Indexed answers from maps built
    // once per parent node (fast on large substation files), XPath runs each query text.
    enum class Lookup { Indexed, XPath };

    // A null parser, or one without a document, gives an empty extractor. The parser must
    // outlive the extractor.
    explicit DataExtractor(const xmlpp::DomParser* parser, Lookup lookup = Lookup::Indexed);
    ~DataExtractor();

    std::vector<tSubNetwork> getSubNetworkCollection() const { return subNetworks; }
    // The connected access points of all sub-networks, sub-network by sub-network.
    std::vector<tConnectedAP> getConnectedApCollection() const;

private:
    std::vector<tSubNetwork> subNetworks;
    const xmlpp::DomParser* _parser = nullptr;
    xmlpp::Node::PrefixNsMap namespaces;
    xmlNode* iedNode = nullptr;
    xmlNode* templatesNode = nullptr;
    std::unique_ptr<SclQueries> _queries;

    void _fillCollections(Lookup lookup);
    void _fillGseCollection(std::vector<tGSE>& gse, const std::vector<xmlNode*>& elements);
    void _fillSmvCollection(std::vector<tSMV>& smv, const std::vector<xmlNode*>& elements);
    void _fillControlBlockData(tControlBlock& block, xmlNode* element);
    void _fillGseControl(tGSEControl& control, xmlNode* element);
    void _fillSvControl(tSampledValueControl& control, xmlNode* element);
    void _fillDataSet(tDataSet& dataSet, xmlNode* element);
    // The data set a control block element names, from the same LN0.
    void _fillControlDataSet(tControl& control, xmlNode* element);
    std::vector<tFCDA> _getFcdaCollection(const std::vector<xmlNode*>& elements);
    void _getFcdaAttributes(tFCDA& fcda, xmlNode* element);
    std::vector<tDA> _fillDaCollection(const std::vector<xmlNode*>& elements);
    void _fillDaNameBType(std::string& name, tBasicTypeEnum& bType, xmlNode* element);
    void _resolveAttributeType(tFCDA& fcda, xmlNode* doType);
    void _resolveUnit(tFCDA& fcda, xmlNode* doType, const std::string& fcText);
    void _resolveComponents(tFCDA& fcda, xmlNode* lnType);
    std::vector<tFCDAComponent> _dataObjectComponents(xmlNode* doType, tFCEnum fc, int depth);
    bool _attributeComponent(xmlNode* attribute, tFCEnum fc, int depth, tFCDAComponent& component);

    static std::string _getAttributeValue(const xmlNode* node, const char* name);
    static std::vector<std::string> _getAttributeValues(const xmlNode* node,
                                                        const std::vector<const char*>& names);
    static std::string _getContent(const xmlNode* node);
    static void _printAttributes(const xmlNode* node);

    static tGSEControlTypeEnum _gseControlTypeFromString(const std::string& text);
    static bool _boolFromString(const std::string& text);
    static tValKindEnum _valKindFromString(const std::string& text);
    static tSmpMod _tSmpModFromString(const std::string& text);
    static tMmsTypeEnum _getRelevantMmsType(tBasicTypeEnum bType);
};

} // namespace VorIec61850
