#pragma once
// All acquisition targets.
#include "acquisition/GooseIn.h"
#include "acquisition/MmsPollingTarget.h"
#include "acquisition/MmsReportTarget.h"
#include "acquisition/SvIn.h"
