#pragma once
#include "iec61850_client.h"

#include <cstdint>
#include <string>

namespace VorIec61850 {

// IED connections go to TCP port 102 unless the host text carries its own ":port".
constexpr int kMmsPort = 102;

// A connection to the IED at host, opened within timeoutMs. Null when it fails, with *error set
// to the client error (the handle is then destroyed); *error is IED_ERROR_OK otherwise.
IedConnection connectIed(const std::string& host, int port, uint32_t timeoutMs, IedClientError* error);

} // namespace VorIec61850
