// Uses a few public headers of the installed library and prints what they give.
#include "acquisition/Messages.h"
#include "mms_value.h"
#include "scl/DataExtractor.h"
#include "sim/SimulatedIed.h"

#include <cstdio>

int main() {
    MmsValue* value = MmsValue_newBoolean(true);
    std::printf("%s %d\n", lng::Iec61850::get("Viewer"), MmsValue_getBoolean(value) ? 1 : 0);
    MmsValue_delete(value);
    VorIec61850::DataExtractor empty(nullptr);
    iecx::sim::SimulatedIed ied; // the simulated IED's facade is public
    return empty.getConnectedApCollection().empty() && !ied.isLoaded() ? 0 : 1;
}
