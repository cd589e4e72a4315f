#pragma once
#include "models/SourceModel.h"
#include "scl/DataExtractor.h"

#include <libxml++/libxml++.h>

#include <memory>
#include <string>
#include <vector>

namespace VorIec61850 {

// The data source that reads the communication section of an SCL file (CID, ICD, SCD). The
// devices are the file's connected access points that publish in the chosen protocol, the
// elements their GOOSE or Sampled Values control blocks; the data tree shows the members of the
// chosen control block's data set whose MMS type is in the type filter.
class SourceFileModel : public SourceModel {
public:
    SourceFileModel();
    ~SourceFileModel() override;

    // Reads an SCL file and rebuilds the choices, the tree and the parameters. A file that
    // cannot be read is reported on standard error; the call itself never throws.
    void onAddFile(const std::string& path);
    // MMS types shown in the tree from the next element change on (default BOOLEAN, INTEGER).
    void setFilterTypes(const std::vector<tMmsTypeEnum>& types);
    void setTransferProtocol(const TransferProtocolEnum& protocol) override;
    void sendData(const DataList& data) override;

    VorTree::StringUnit* getFileNameUnit() const { return fileName; }
    const std::vector<tConnectedAP>& getConnectedAps() const { return connectedAPs; }
    const std::vector<tMmsTypeEnum>& getFilterTypes() const { return filterTypes; }

private:
    void _onTransferProtocolChanged();
    void _onDeviceChanged();
    void _onElementChanged();
    // The chain behind the three choices: list the devices of the protocol, the elements of the
    // device, and show the element (tree, then parameters). Each step selects the first item of
    // its list and runs the next step once.
    void _showDevices();
    void _showElements();
    void _showElement();
    template <typename U> void _selectFirst(U* unit);
    // The protocol of the selected item; 0 when nothing is selected.
    int _protocol() const;
    bool _hasDocument() const;

    static std::vector<tFCDA> _filterByType(const std::vector<tFCDA>& fcdas,
                                            const std::vector<tMmsTypeEnum>& types);
    static std::string _toFcWithBrackets(tFCEnum fc);

    VorTree::StringUnit* fileName = nullptr;
    // Set while a step selects an item, so that the choice's own signal does not redraw.
    bool _selecting = false;
    // The parsed document; held for the extractor, which points into it.
    std::unique_ptr<xmlpp::DomParser> parser;
    std::unique_ptr<DataExtractor> extractor;
    std::vector<tConnectedAP> connectedAPs;
    std::vector<tMmsTypeEnum> filterTypes{tMmsTypeEnum::BOOLEAN, tMmsTypeEnum::INTEGER};
};

} // namespace VorIec61850
