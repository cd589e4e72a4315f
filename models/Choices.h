#pragma once
#include "host/tree/Enum.h"

namespace VorIec61850 {

// Int-valued enumerations that type the choice units of the model nodes. Device and Element
// carry run-time positions, so they name no enumerators: any int converts to them.
enum class DataSource : int { IedDevice = 0, SclFile = 1 };
enum class TransferProtocol : int { MmsReports = 0, Goose = 1, SampledValues = 2 };
using TransferProtocolEnum = TransferProtocol;
enum class Device : int {};
enum class Element : int {};

using DataSourceUnit = VorTree::EnumClassUnit<DataSource>;
using TransferProtocolUnit = VorTree::EnumClassUnit<TransferProtocol>;
using DeviceUnit = VorTree::EnumClassUnit<Device>;
using ElementUnit = VorTree::EnumClassUnit<Element>;

} // namespace VorIec61850

// The choice units are compiled once, in models/Choices.cpp.
extern template class VorTree::EnumClassUnit<VorIec61850::DataSource>;
extern template class VorTree::EnumClassUnit<VorIec61850::TransferProtocol>;
extern template class VorTree::EnumClassUnit<VorIec61850::Device>;
extern template class VorTree::EnumClassUnit<VorIec61850::Element>;
