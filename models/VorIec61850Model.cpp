#include "models/VorIec61850Model.h"

#include "models/GeneralSettingsModel.h"
#include "models/ParamsModel.h"
#include "models/TreeModel.h"

namespace VorIec61850 {

VorIec61850Model::VorIec61850Model()
    : settings(std::make_unique<GeneralSettingsModel>()), params(std::make_unique<ParamsModel>()),
      tree(std::make_unique<TreeModel>()) {}

VorIec61850Model::~VorIec61850Model() = default;

std::string VorIec61850Model::getExtension() const {
    return "iecx";
}

} // namespace VorIec61850
