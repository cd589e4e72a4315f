#include "mms/MmsConnect.h"

namespace VorIec61850 {

IedConnection connectIed(const std::string& host, int port, uint32_t timeoutMs, IedClientError* error) {
    *error = IED_ERROR_OK;
    IedConnection connection = IedConnection_create();
    if (connection == nullptr) {
        *error = IED_ERROR_UNKNOWN;
        return nullptr;
    }
    IedConnection_setConnectTimeout(connection, timeoutMs);
    IedConnection_connect(connection, error, host.c_str(), port);
    if (*error == IED_ERROR_OK)
        return connection;
    IedConnection_destroy(connection);
    return nullptr;
}

} // namespace VorIec61850
