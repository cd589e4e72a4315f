#include "models/GeneralSettingsModel.h"

#include "models/SourceDeviceModel.h"
#include "models/SourceFileModel.h"

namespace VorIec61850 {

namespace {
const char* const kDeviceItem = "Устройство IED";
const char* const kFileItem = "Файл SCL";
} // namespace

GeneralSettingsModel::GeneralSettingsModel()
    : VorTree::UnitableContainer("IEC61850"), limiter(std::make_shared<VorTree::EnumLimiter>()) {
    _unlockCollection();
    limiter->addItem(kDeviceItem, kDeviceItem, static_cast<int>(DataSource::IedDevice));
    limiter->addItem(kFileItem, kFileItem, static_cast<int>(DataSource::SclFile));

    auto unit =
        std::make_unique<DataSourceUnit>("DataSource", "DataSource", VorTree::LocalString::Empty(), limiter);
    add(unit.get()); // a refusal throws and the unit is destroyed here
    dataSource = unit.release();
    // The default is selected before the slot is connected, so it notifies nobody.
    dataSource->setEnumData(DataSource::SclFile);

    auto file = std::make_unique<SourceFileModel>();
    add(file.get());
    fileModel = file.release();
    auto device = std::make_unique<SourceDeviceModel>();
    add(device.get());
    deviceModel = device.release();

    dataSource->signalValueChanged.connect(sigc::mem_fun(*this, &GeneralSettingsModel::_onDataSourceChanged));
    _lockContainer();
}

GeneralSettingsModel::~GeneralSettingsModel() = default;

DataSource GeneralSettingsModel::getDataSource() const {
    return dataSource->getEnumValue();
}

void GeneralSettingsModel::_onDataSourceChanged() {
    signalDataSourceChanged.emit(static_cast<int>(getDataSource()));
}

} // namespace VorIec61850
