#include "models/SourceFileModel.h"

#include <exception>
#include <iostream>

namespace VorIec61850 {

SourceFileModel::SourceFileModel() : parser(std::make_unique<xmlpp::DomParser>()) {
    _unlockCollection();
    auto unit =
        std::make_unique<VorTree::StringUnit>("FileName", "FileName", VorTree::LocalString::Empty(), "");
    add(unit.get());
    fileName = unit.release();
    transferProtocol->signalValueChanged.connect(
        sigc::mem_fun(*this, &SourceFileModel::_onTransferProtocolChanged));
    device->signalValueChanged.connect(sigc::mem_fun(*this, &SourceFileModel::_onDeviceChanged));
    element->signalValueChanged.connect(sigc::mem_fun(*this, &SourceFileModel::_onElementChanged));
    _lockContainer();
}

SourceFileModel::~SourceFileModel() {
    // The extractor points into the parser's document: it goes first.
    extractor.reset();
}

bool SourceFileModel::_hasDocument() const {
    return parser && parser->get_document() != nullptr;
}

int SourceFileModel::_protocol() const {
    return static_cast<int>(transferProtocol->getEnumValue());
}

void SourceFileModel::onAddFile(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    fileName->setData(slash == std::string::npos ? path : path.substr(slash + 1));
    try {
        // The file is parsed into a fresh parser so that a file that cannot be parsed leaves the
        // previous document, extractor and access points in place.
        auto fresh = std::make_unique<xmlpp::DomParser>();
        fresh->set_substitute_entities(true);
        fresh->parse_file(path);
        if (!fresh->get_document()) {
            return;
        }
        deviceLimiter->clear();
        elementLimiter->clear();
        connectedAPs.clear();
        extractor.reset();
        parser = std::move(fresh);
        extractor = std::make_unique<DataExtractor>(parser.get());
        connectedAPs = extractor->getConnectedApCollection();
        _showDevices();
    } catch (const std::exception& e) {
        std::cerr << "Error parsing SCL file: " << e.what() << std::endl;
    }
}

void SourceFileModel::setFilterTypes(const std::vector<tMmsTypeEnum>& types) {
    filterTypes = types;
}

void SourceFileModel::setTransferProtocol(const TransferProtocolEnum& protocol) {
    transferProtocol->setEnumData(protocol);
}

void SourceFileModel::_onTransferProtocolChanged() {
    if (!_selecting)
        _showDevices();
}

void SourceFileModel::_onDeviceChanged() {
    if (!_selecting)
        _showElements();
}

void SourceFileModel::_onElementChanged() {
    if (!_selecting)
        _showElement();
}

template <typename U> void SourceFileModel::_selectFirst(U* unit) {
    // Selecting is quiet: the caller shows the result once, whether or not the selected id
    // changed, so every choice clears and fills the tree exactly once.
    _selecting = true;
    const auto& limiter = unit->getLimiter();
    unit->setData(limiter->empty() ? std::string() : limiter->front()->getId());
    _selecting = false;
}

void SourceFileModel::_showDevices() {
    deviceLimiter->clear();
    const int protocol = _protocol();
    for (std::size_t i = 0; _hasDocument() && i < connectedAPs.size(); ++i) {
        const tConnectedAP& ap = connectedAPs[i];
        bool listed = false;
        switch (protocol) {
        case 0:
            listed = !ap.reports.empty();
            break;
        case 1:
            listed = !ap.gse.empty();
            break;
        case 2:
            listed = !ap.smv.empty();
            break;
        default:
            break;
        }
        if (listed) {
            deviceLimiter->addItem(ap.iedName, ap.iedName, static_cast<int>(i));
        }
    }
    // The first listed device is the chosen one: its position in the file need not be 0.
    _selectFirst(device);
    _showElements();
}

void SourceFileModel::_showElements() {
    elementLimiter->clear();
    const auto deviceIndex = static_cast<std::size_t>(device->getEnumValue());
    if (device->getSelectedItem() && deviceIndex < connectedAPs.size()) {
        const tConnectedAP& ap = connectedAPs[deviceIndex];
        switch (_protocol()) {
        case 0:
            for (std::size_t i = 0; i < ap.reports.size(); ++i) {
                elementLimiter->addItem(ap.reports[i].second, ap.reports[i].second, static_cast<int>(i));
            }
            break;
        case 1:
            for (std::size_t i = 0; i < ap.gse.size(); ++i) {
                elementLimiter->addItem(ap.gse[i].cbName, ap.gse[i].cbName, static_cast<int>(i));
            }
            break;
        case 2:
            for (std::size_t i = 0; i < ap.smv.size(); ++i) {
                elementLimiter->addItem(ap.smv[i].cbName, ap.smv[i].cbName, static_cast<int>(i));
            }
            break;
        default:
            break;
        }
    }
    _selectFirst(element);
    _showElement();
}

void SourceFileModel::_showElement() {
    const int protocol = _protocol();
    const auto deviceIndex = static_cast<std::size_t>(device->getEnumValue());
    const auto elementIndex = static_cast<std::size_t>(element->getEnumValue());

    tConnectedAP ap;
    std::vector<tFCDA> fcdas;
    if (device->getSelectedItem() && deviceIndex < connectedAPs.size()) {
        ap = connectedAPs[deviceIndex];
        if (protocol == 1 && elementIndex < ap.gse.size()) {
            tGSEControl& control = *ap.gse[elementIndex].gseControl;
            fcdas = control.dataSet->fcdas;
            control.setControlBlockReference(&ap, elementIndex);
        } else if (protocol == 2 && elementIndex < ap.smv.size()) {
            fcdas = ap.smv[elementIndex].svControl->dataSet->fcdas;
        }
    }
    if (fcdas.empty()) {
        signalClearParams.emit();
        signalClearTree.emit();
        return;
    }

    signalClearTree.emit();
    const std::string top = ap.iedName + fcdas.front().ldInst;
    for (const tFCDA& fcda : _filterByType(fcdas, filterTypes)) {
        const std::string node = fcda.prefix + fcda.lnClass + fcda.lnInst + "." + fcda.doName;
        if (!fcda.daName.empty()) {
            signalAddNode.emit({top, node + "." + fcda.daName + _toFcWithBrackets(fcda.fc)}, fcda.unit);
        } else {
            for (const tDA& da : fcda.das) {
                signalAddNode.emit({top, node, da.name + _toFcWithBrackets(da.fc)}, fcda.unit);
            }
        }
    }
    signalSetParams.emit(ap, static_cast<unsigned long long>(protocol),
                         static_cast<unsigned long long>(elementIndex));
}

void SourceFileModel::sendData(const DataList& data) {
    if (!transferProtocol->getSelectedItem()) {
        return;
    }
    const int protocol = _protocol();
    if (connectedAPs.empty() || (protocol != 1 && protocol != 2)) {
        return;
    }
    const auto deviceIndex = static_cast<std::size_t>(device->getEnumValue());
    const auto elementIndex = static_cast<std::size_t>(element->getEnumValue());
    if (deviceIndex >= connectedAPs.size()) {
        return;
    }
    const tConnectedAP& ap = connectedAPs[deviceIndex];
    // The stored entry goes out as read from the file (without the control block reference
    // that only the parameters' copy carries).
    if (protocol == 1 && elementIndex < ap.gse.size()) {
        signalSendGoose.emit(ap.gse[elementIndex], data);
    } else if (protocol == 2 && elementIndex < ap.smv.size()) {
        signalSendSv.emit(ap.smv[elementIndex], data);
    }
}

std::vector<tFCDA> SourceFileModel::_filterByType(const std::vector<tFCDA>& fcdas,
                                                  const std::vector<tMmsTypeEnum>& types) {
    std::vector<tFCDA> result;
    for (const tFCDA& fcda : fcdas) {
        for (tMmsTypeEnum type : types) {
            if (!fcda.daName.empty()) {
                if (fcda.mmsType == type) {
                    result.push_back(fcda);
                }
                continue;
            }
            // A data object appears once per type, with the attributes of that type only.
            tFCDA copy = fcda;
            copy.das.clear();
            for (const tDA& da : fcda.das) {
                if (da.mmsType == type) {
                    copy.das.push_back(da);
                }
            }
            if (!copy.das.empty()) {
                result.push_back(std::move(copy));
            }
        }
    }
    return result;
}

std::string SourceFileModel::_toFcWithBrackets(tFCEnum fc) {
    if (fc == tFCEnum::NONE) {
        return std::string();
    }
    return "[" + toString(fc) + "]";
}

} // namespace VorIec61850
