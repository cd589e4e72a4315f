#include "models/SourceDeviceModel.h"

#include <cstdio>
#include <memory>

namespace VorIec61850 {

namespace {

// Splits a data set member "LD/LN.DO[.DA][FC]" into an FCDA record.
tFCDA memberToFcda(const std::string& member, tFCEnum (*toEnum)(FunctionalConstraint)) {
    tFCDA fcda;
    const std::size_t open = member.find('[');
    const std::string reference = member.substr(0, open);
    if (open != std::string::npos) {
        std::string fc = member.substr(open + 1);
        fc = fc.substr(0, fc.find(']'));
        fcda.fc = toEnum(FunctionalConstraint_fromString(fc.c_str()));
    }
    const std::size_t slash = reference.find('/');
    fcda.ldInst = reference.substr(0, slash);
    const std::string rest = slash == std::string::npos ? std::string() : reference.substr(slash + 1);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = rest.find('.', start);
        parts.push_back(rest.substr(start, dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    fcda.lnClass = parts[0];
    if (parts.size() > 1)
        fcda.doName = parts[1];
    if (parts.size() == 3)
        fcda.daName = parts[2];
    return fcda;
}

// The data set name of a control block's data set reference: the text after the first '$'.
std::string dataSetName(const std::string& reference) {
    const std::size_t dollar = reference.find('$');
    if (dollar == std::string::npos)
        return std::string();
    const std::size_t next = reference.find('$', dollar + 1);
    return reference.substr(dollar + 1, next == std::string::npos ? std::string::npos : next - dollar - 1);
}

} // namespace

SourceDeviceModel::SourceDeviceModel() {
    transferProtocol->signalValueChanged.connect(
        sigc::mem_fun(*this, &SourceDeviceModel::_onTransferProtocolChanged));
    element->signalValueChanged.connect(sigc::mem_fun(*this, &SourceDeviceModel::_onElementChanged));
}

SourceDeviceModel::~SourceDeviceModel() {
    explorer.disconnect();
}

tFCEnum SourceDeviceModel::_functionalConToEnum(FunctionalConstraint fc) {
    return IecModelExplorer::functionalConToEnum(fc);
}

void SourceDeviceModel::onIpAddressChanged(const std::string& address) {
    iedAddress = address;
}

bool SourceDeviceModel::_connect() {
    return explorer.connect(iedAddress, port) == 0;
}

std::string SourceDeviceModel::getElementRcbReference() const {
    const auto index = static_cast<std::size_t>(element->getEnumValue());
    if (_protocol() != static_cast<int>(TransferProtocol::MmsReports) || index >= reportControlBlocks.size())
        return std::string();
    return reportControlBlocks[index].getRcbReference();
}

void SourceDeviceModel::setTransferProtocol(const TransferProtocolEnum& protocol) {
    transferProtocol->setEnumData(protocol);
}

void SourceDeviceModel::onButtonClicked() {
    if (!_connect())
        return;
    deviceLimiter->clear();
    elementLimiter->clear();
    reportControlBlocks.clear();
    gooseControlBlocks.clear();
    connectedAP.gse.clear();
    _fillCollections();
    _fillConnectedAp();
    device->setEnumData(static_cast<Device>(0));
    // The element list is rebuilt for the chosen protocol (the report blocks listed while
    // reading would name the wrong blocks under GOOSE), and the first element is shown.
    _onTransferProtocolChanged();
}

void SourceDeviceModel::_fillCollections() {
    for (const std::string& ld : explorer.getLogicalDevices()) {
        deviceLimiter->addItem(ld, ld, 0);
        for (const std::string& ln : explorer.getLogicalNodes(ld)) {
            const std::string node = ld + "/" + ln;
            for (const ReportControlBlock& rcb : explorer.getReportControlBlocks(node)) {
                reportControlBlocks.push_back(rcb);
                elementLimiter->addItem(rcb.name, rcb.name, static_cast<int>(reportControlBlocks.size() - 1));
            }
            for (const GooseControlBlock& gcb : explorer.getGooseControlBlocks(node))
                gooseControlBlocks.push_back(gcb);
        }
    }
}

void SourceDeviceModel::_fillConnectedAp() {
    if (!_connect())
        return;
    for (const std::string& ld : explorer.getLogicalDevices()) {
        for (const std::string& ln : explorer.getLogicalNodes(ld)) {
            const std::string node = ld + "/" + ln;
            for (const GooseControlBlock& gcb : explorer.getGooseControlBlocks(node)) {
                const std::string reference = node + "." + gcb.name;
                tGSE gse;
                // The logical device makes the block's reference whole ("LD/LLN0$GO$name"); an
                // empty one would show a reference no subscriber can match.
                gse.ldInst = ld;
                gse.cbName = gcb.name;
                gse.gseControl->name = gcb.name;
                ClientGooseControlBlock values = explorer.getGooseCBValues(reference);
                if (values) {
                    const PhyComAddress address = ClientGooseControlBlock_getDstAddress(values);
                    gse.address.emplace_back("VLAN-ID", address.vlanId);
                    gse.address.emplace_back("VLAN-PRIORITY", address.vlanPriority);
                    gse.address.emplace_back("MAC-Address", address.dstAddress);
                    gse.address.emplace_back("APPID", address.appId);
                    gse.minTime.value = ClientGooseControlBlock_getMinTime(values);
                    gse.maxTime.value = ClientGooseControlBlock_getMaxTime(values);
                    tGSEControl& control = *gse.gseControl;
                    control.confRev = static_cast<int32_t>(ClientGooseControlBlock_getConfRev(values));
                    control.fixedOffs = ClientGooseControlBlock_getFixedOffs(values);
                    const char* goId = ClientGooseControlBlock_getGoID(values);
                    control.appID = goId ? goId : "";
                    const char* dataSet = ClientGooseControlBlock_getDatSet(values);
                    const std::string dataSetReference = dataSet ? dataSet : "";
                    control.datSet = dataSetName(dataSetReference);
                    control.dataSet->name = control.datSet;
                    for (const std::string& member :
                         explorer.getDataSetVariables(explorer.getGooseDataSet(reference)))
                        control.dataSet->fcdas.push_back(memberToFcda(member, &_functionalConToEnum));
                    ClientGooseControlBlock_destroy(values);
                }
                // A block that cannot be read keeps its place, so that positions in the
                // element list and in this list stay the same.
                connectedAP.gse.push_back(std::move(gse));
            }
        }
    }
    explorer.disconnect();
}

void SourceDeviceModel::_onTransferProtocolChanged() {
    elementLimiter->clear();
    const int protocol = _protocol();
    if (protocol == static_cast<int>(TransferProtocol::MmsReports)) {
        for (std::size_t i = 0; i < reportControlBlocks.size(); ++i)
            elementLimiter->addItem(reportControlBlocks[i].name, reportControlBlocks[i].name,
                                    static_cast<int>(i));
    } else if (protocol == static_cast<int>(TransferProtocol::Goose)) {
        for (std::size_t i = 0; i < gooseControlBlocks.size(); ++i)
            elementLimiter->addItem(gooseControlBlocks[i].name, gooseControlBlocks[i].name,
                                    static_cast<int>(i));
        const auto index = static_cast<std::size_t>(element->getEnumValue());
        if (index < connectedAP.gse.size())
            connectedAP.gse[index].gseControl->setControlBlockReference(&connectedAP, index);
    }
    // The element's own signal shows the first element when the selection changes; when the
    // same item stays selected over the rebuilt list it is shown here.
    const std::string before = element->getValue();
    element->setEnumData(static_cast<Element>(0));
    if (element->getValue() == before)
        _onElementChanged();
}

void SourceDeviceModel::_onElementChanged() {
    elementDataSet.clear();
    elementMembers.clear();
    if (!_connect())
        return;
    signalClearParams.emit();
    signalClearTree.emit();
    const int protocol = _protocol();
    const auto index = static_cast<std::size_t>(element->getEnumValue());
    if (protocol == static_cast<int>(TransferProtocol::Goose) && index < gooseControlBlocks.size()) {
        const GooseControlBlock& gcb = gooseControlBlocks[index];
        elementDataSet = explorer.getGooseDataSet(gcb.lnReference + "." + gcb.name);
    } else if (protocol == static_cast<int>(TransferProtocol::MmsReports) &&
               index < reportControlBlocks.size()) {
        elementDataSet = explorer.getRcbDataSet(reportControlBlocks[index].getRcbReference());
    }
    if (!elementDataSet.empty())
        elementMembers = explorer.getDataSetVariables(elementDataSet);
    if (elementMembers.empty()) {
        explorer.disconnect();
        return;
    }
    _addMemberLeaves(elementMembers, {});
    signalSetParams.emit(connectedAP, static_cast<unsigned long long>(protocol),
                         static_cast<unsigned long long>(index));
    explorer.disconnect();
}

void SourceDeviceModel::_addMemberLeaves(const std::vector<std::string>& members,
                                         const std::vector<std::string>& prefix) {
    for (const std::string& member : members) {
        explorer.clearObjectPaths();
        explorer.setObjectPaths(member);
        // Each leaf carries its member's functional constraint, so that the object path the
        // host collects names one value (the same attribute exists under several FCs).
        const std::size_t open = member.find('[');
        const std::string fc = open == std::string::npos ? std::string() : member.substr(open);
        for (IecModelExplorer::TokenList path : explorer.getObjectPaths()) {
            if (!path.empty() && !fc.empty() && path.back().find('[') == std::string::npos)
                path.back() += fc;
            if (prefix.empty()) {
                signalAddNode.emit(path, "none");
                continue;
            }
            std::vector<std::string> names = prefix;
            names.insert(names.end(), path.begin() + (path.empty() ? 0 : 1), path.end());
            signalAddNode.emit(names, "none");
        }
    }
    // The expanded trees served only to list the leaves; keeping them would grow the node
    // list on every choice.
    explorer.clearObjectPaths();
    explorer.getNodes().getItems().clear();
}

void SourceDeviceModel::sendData(const DataList& data) {
    const int protocol = _protocol();
    const auto index = static_cast<std::size_t>(element->getEnumValue());
    if (protocol == static_cast<int>(TransferProtocol::Goose) && index < connectedAP.gse.size())
        signalSendGoose.emit(connectedAP.gse[index], data);
    else if (protocol == static_cast<int>(TransferProtocol::SampledValues) && index < connectedAP.smv.size())
        signalSendSv.emit(connectedAP.smv[index], data);
}

void SourceDeviceModel::_refillDevices() {
    deviceLimiter->clear();
    for (const std::string& ld : explorer.getLogicalDevices())
        deviceLimiter->addItem(ld, ld, 0);
}

void SourceDeviceModel::getGooseAddress() {
    if (!_connect())
        return;
    signalClearTree.emit();
    deviceLimiter->clear();
    for (const std::string& ld : explorer.getLogicalDevices()) {
        deviceLimiter->addItem(ld, ld, 0);
        for (const std::string& ln : explorer.getLogicalNodes(ld)) {
            const std::string node = ld + "/" + ln;
            for (const GooseControlBlock& gcb : explorer.getGooseControlBlocks(node)) {
                ClientGooseControlBlock values = explorer.getGooseCBValues(node + "." + gcb.name);
                if (!values)
                    continue;
                _unlockCollection();
                auto goose = std::make_unique<Goose>();
                add(goose.get());
                Goose* added = goose.release();
                gooses.push_back(added);
                const PhyComAddress address = ClientGooseControlBlock_getDstAddress(values);
                added->setGoSvAddress(address.dstAddress, address.vlanId, address.vlanPriority,
                                      address.appId);
                added->setCbName(gcb.name);
                added->setMinTime(ClientGooseControlBlock_getMinTime(values));
                added->setMaxTime(ClientGooseControlBlock_getMaxTime(values));
                GooseControl* control = added->getGooseControl();
                control->setConfRev(ClientGooseControlBlock_getConfRev(values));
                const char* goId = ClientGooseControlBlock_getGoID(values);
                control->setAppId(goId ? goId : "");
                control->setIsFixedOffs(ClientGooseControlBlock_getFixedOffs(values));
                const char* dataSet = ClientGooseControlBlock_getDatSet(values);
                const std::string dataSetReference = dataSet ? dataSet : "";
                std::printf("Data set reference: %s\n", dataSetReference.c_str());
                const std::size_t dollar = dataSetReference.find('$');
                if (dollar != std::string::npos) {
                    control->setCbDataSetName(dataSetReference.substr(dollar + 1));
                    control->getDataSet()->setName(dataSetReference.substr(dollar + 1));
                }
                _addMemberLeaves(explorer.getDataSetVariables(dataSetReference), {});
                _lockContainer();
                ClientGooseControlBlock_destroy(values);
            }
        }
    }
    device->setEnumData(static_cast<Device>(0));
    explorer.disconnect();
}

void SourceDeviceModel::_rebuildTree(
    const std::function<void(const std::string&, const std::string&)>& visit) {
    if (!_connect())
        return;
    signalClearTree.emit();
    _refillDevices();
    for (const std::string& ld : explorer.getLogicalDevices())
        for (const std::string& ln : explorer.getLogicalNodes(ld))
            visit(ld, ln);
    device->setEnumData(static_cast<Device>(0));
    explorer.disconnect();
}

void SourceDeviceModel::getReportTree() {
    _rebuildTree([this](const std::string& ld, const std::string& ln) {
        for (const ReportControlBlock& rcb : explorer.getReportControlBlocks(ld + "/" + ln)) {
            const std::string reference = rcb.getRcbReference();
            const std::string dataSet = explorer.getRcbDataSet(reference);
            _addMemberLeaves(explorer.getDataSetVariables(dataSet),
                             IecModelExplorer::parseObjectPath(reference));
        }
    });
}

void SourceDeviceModel::setDataObjectTree() {
    _rebuildTree([this](const std::string& ld, const std::string& ln) {
        for (const std::string& dataObject : explorer.getDataObjects(ld + "/" + ln)) {
            std::printf("%s/%s.%s\n", ld.c_str(), ln.c_str(), dataObject.c_str());
            signalAddNode.emit({ld, ln, dataObject}, "none");
        }
    });
}

} // namespace VorIec61850
