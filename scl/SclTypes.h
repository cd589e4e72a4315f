#pragma once
// SCL record types and enumerations.
#include "scl/SclEnums.h"
#include "scl/SclRecords.h"
