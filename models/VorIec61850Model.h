#pragma once
#include "host/NonCopyable.h"

#include <sigc++/sigc++.h>

#include <memory>
#include <string>

namespace VorIec61850 {

class GeneralSettingsModel;
class ParamsModel;
class TreeModel;

// The extension's root, created and kept by the host: the general settings (with both data
// sources), the parameters and the data tree, created in this order and kept for the root's
// whole life. The host connects the sources' signals to the tree and the parameters (or lets
// AcquisitionWorkflow do it).
class VorIec61850Model : Vor::NonCopyable {
public:
    VorIec61850Model();
    ~VorIec61850Model();

    // The host's own signal; the extension neither connects nor emits it.
    sigc::signal<void> signal;

    GeneralSettingsModel* getSettingsModel() const { return settings.get(); }
    ParamsModel* getParamsModel() const { return params.get(); }
    TreeModel* getTreeModel() const { return tree.get(); }
    // "iecx".
    std::string getExtension() const;

private:
    // Declared in creation order; destroyed in reverse.
    std::unique_ptr<GeneralSettingsModel> settings;
    std::unique_ptr<ParamsModel> params;
    std::unique_ptr<TreeModel> tree;
};

} // namespace VorIec61850
