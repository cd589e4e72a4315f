#pragma once
#include "host/NonCopyable.h"
#include "host/tree/Enum.h"
#include "host/tree/Unit.h"
#include "models/Choices.h"

#include <sigc++/sigc++.h>

#include <memory>

namespace VorIec61850 {

class SourceFileModel;
class SourceDeviceModel;

// The general settings node "IEC61850": the choice of data source (an IED on the network or an
// SCL file, "Файл SCL" by default) and the two source models that serve it, in display order.
class GeneralSettingsModel : public VorTree::UnitableContainer, Vor::NonCopyable {
public:
    GeneralSettingsModel();
    ~GeneralSettingsModel() override;

    // Emitted on every change of the data source with its int value (0 IED device, 1 SCL file).
    sigc::signal<void, int> signalDataSourceChanged;

    DataSourceUnit* getDataSourceUnit() const { return dataSource; }
    SourceFileModel* getFileModel() const { return fileModel; }
    SourceDeviceModel* getDeviceModel() const { return deviceModel; }
    // The selected data source; an empty or unknown selection reads as the IED device.
    DataSource getDataSource() const;

private:
    void _onDataSourceChanged();

    DataSourceUnit* dataSource = nullptr;
    SourceFileModel* fileModel = nullptr;
    SourceDeviceModel* deviceModel = nullptr;
    std::shared_ptr<VorTree::EnumLimiter> limiter;
};

} // namespace VorIec61850
