/*
 * MMS client connection: the MMS association underneath an IedConnection. Only the parts the
 * system uses are offered: raw message interception, time-outs and identify.
 */
#ifndef MMS_CLIENT_CONNECTION_H_
#define MMS_CLIENT_CONNECTION_H_

#include "libiec61850_common_api.h"
#include "linked_list.h"
#include "mms_common.h"
#include "mms_type_spec.h"
#include "mms_value.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sMmsConnection* MmsConnection;

/* Called for every MMS PDU sent (received == false) and received (received == true) on the
 * connection, without the headers of the layers below MMS. The buffer is only valid during the
 * call. Runs on the connection's receive thread, like report handlers; PDUs appear in the order
 * they were sent and received, including the initiate exchange of the connect. */
typedef void (*MmsRawMessageHandler)(void* parameter, uint8_t* message, int messageLength, bool received);

/* Installs (or, with NULL, removes) the raw message handler. */
LIB61850_API void MmsConnection_setRawMessageHandler(MmsConnection self, MmsRawMessageHandler handler,
                                                     void* parameter);

/* Time-out of each confirmed service, in milliseconds (default 5000). */
LIB61850_API void MmsConnection_setRequestTimeout(MmsConnection self, uint32_t timeoutInMs);

/* Time-out of the connection set-up, in milliseconds (default 10000). */
LIB61850_API void MmsConnection_setConnectTimeout(MmsConnection self, uint32_t timeoutInMs);

/* Negotiated maximum MMS PDU size of the open association (0 when not connected). */
LIB61850_API int MmsConnection_getLocalDetail(MmsConnection self);

typedef struct {
    char* vendorName;
    char* modelName;
    char* revision;
} MmsServerIdentity;

/* Identify service; the result is released with MmsServerIdentity_destroy. NULL on error. */
LIB61850_API MmsServerIdentity* MmsConnection_identify(MmsConnection self, MmsError* mmsError);

LIB61850_API void MmsServerIdentity_destroy(MmsServerIdentity* self);

#ifdef __cplusplus
}
#endif

#endif /* MMS_CLIENT_CONNECTION_H_ */
