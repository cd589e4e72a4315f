#include "models/Choices.h"

template class VorTree::EnumClassUnit<VorIec61850::DataSource>;
template class VorTree::EnumClassUnit<VorIec61850::TransferProtocol>;
template class VorTree::EnumClassUnit<VorIec61850::Device>;
template class VorTree::EnumClassUnit<VorIec61850::Element>;
