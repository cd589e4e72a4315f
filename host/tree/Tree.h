#pragma once
// The property-tree framework in one include: nodes, units, choice units, notifying collections.
#include "host/tree/Enum.h"
#include "host/tree/LocalString.h"
#include "host/tree/Node.h"
#include "host/tree/NodeTypedCollection.h"
#include "host/tree/NotifyCollection.h"
#include "host/tree/TreeLanguage.h"
#include "host/tree/Unit.h"
