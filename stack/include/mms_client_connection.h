/*
 * MMS client connection: the MMS association underneath an IedConnection, or a stand-alone MMS
 * client (MmsConnection_create) for generic MMS browsing: domains, named variables and lists,
 * reads, raw message interception, time-outs and identify.
 */
#ifndef MMS_CLIENT_CONNECTION_H_
#define MMS_CLIENT_CONNECTION_H_

#include "iso_connection_parameters.h"
#include "libiec61850_common_api.h"
#include "linked_list.h"
#include "mms_common.h"
#include "mms_type_spec.h"
#include "mms_value.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sMmsConnection* MmsConnection;

/* ---- stand-alone MMS connections ---- */

LIB61850_API MmsConnection MmsConnection_create(void);
/* Closes the connection when open and frees it (not for the connection of an IedConnection). */
LIB61850_API void MmsConnection_destroy(MmsConnection self);
/* Connects to serverName (name or IPv4 address) on serverPort (102 when not positive) with the
 * connection's IsoConnectionParameters. true when the association is up; mmsError may be NULL. */
LIB61850_API bool MmsConnection_connect(MmsConnection self, MmsError* mmsError, const char* serverName,
                                        int serverPort);
/* Orderly release (conclude) and close. */
LIB61850_API void MmsConnection_conclude(MmsConnection self, MmsError* mmsError);
LIB61850_API void MmsConnection_abort(MmsConnection self, MmsError* mmsError);
LIB61850_API void MmsConnection_close(MmsConnection self);
/* The connection's own association parameters (valid as long as the connection). */
LIB61850_API IsoConnectionParameters MmsConnection_getIsoConnectionParameters(MmsConnection self);

/* Names, as new LinkedLists of C strings (LinkedList_destroy); NULL on error. */
LIB61850_API LinkedList MmsConnection_getDomainNames(MmsConnection self, MmsError* mmsError);
LIB61850_API LinkedList MmsConnection_getDomainVariableNames(MmsConnection self, MmsError* mmsError,
                                                             const char* domainId);
LIB61850_API LinkedList MmsConnection_getDomainVariableListNames(MmsConnection self, MmsError* mmsError,
                                                                 const char* domainId);
/* Journal names of a domain (an empty list when it has none). */
LIB61850_API LinkedList MmsConnection_getDomainJournals(MmsConnection self, MmsError* mmsError,
                                                        const char* domainId);

/* Reads a named variable of a domain: a new value the caller deletes, or NULL with the error. A
 * data access error the server answers is returned as an MMS_DATA_ACCESS_ERROR value. */
LIB61850_API MmsValue* MmsConnection_readVariable(MmsConnection self, MmsError* mmsError,
                                                  const char* domainId, const char* itemId);
/* Reads one component ("mag$f") of a structured variable. */
LIB61850_API MmsValue* MmsConnection_readVariableComponent(MmsConnection self, MmsError* mmsError,
                                                           const char* domainId, const char* itemId,
                                                           const char* componentId);
/* Reads all members of a named variable list: an array of the members' values (or access
 * errors) the caller deletes. specWithResult is accepted for compatibility and not used. */
LIB61850_API MmsValue* MmsConnection_readNamedVariableListValues(MmsConnection self, MmsError* mmsError,
                                                                 const char* domainId, const char* listName,
                                                                 bool specWithResult);
LIB61850_API MmsDataAccessError MmsConnection_writeVariable(MmsConnection self, MmsError* mmsError,
                                                            const char* domainId, const char* itemId,
                                                            MmsValue* value);
/* Type of a named variable; the caller destroys it with MmsVariableSpecification_destroy. */
LIB61850_API MmsVariableSpecification* MmsConnection_getVariableAccessAttributes(MmsConnection self,
                                                                                 MmsError* mmsError,
                                                                                 const char* domainId,
                                                                                 const char* itemId);

/* A member of a named variable list. Its strings are freed by MmsVariableAccessSpecification_destroy. */
typedef struct {
    char* domainId;
    char* itemId;
    int32_t arrayIndex;  /* -1: no index */
    char* componentName; /* NULL: no component */
} MmsVariableAccessSpecification;

/* Copies the strings. */
LIB61850_API MmsVariableAccessSpecification* MmsVariableAccessSpecification_create(char* domainId,
                                                                                   char* itemId);
LIB61850_API MmsVariableAccessSpecification*
MmsVariableAccessSpecification_createAlternateAccess(char* domainId, char* itemId, int32_t index,
                                                     char* componentName);
LIB61850_API void MmsVariableAccessSpecification_destroy(MmsVariableAccessSpecification* self);

/* Members of a named variable list as a LinkedList of MmsVariableAccessSpecification* (release
 * with LinkedList_destroyDeep(list, (LinkedListValueDeleteFunction)
 * MmsVariableAccessSpecification_destroy)); deletable may be NULL. */
LIB61850_API LinkedList MmsConnection_readNamedVariableListDirectory(MmsConnection self, MmsError* mmsError,
                                                                     const char* domainId,
                                                                     const char* listName, bool* deletable);
/* Defines a named variable list of a domain from a LinkedList of MmsVariableAccessSpecification*. */
LIB61850_API void MmsConnection_defineNamedVariableList(MmsConnection self, MmsError* mmsError,
                                                        const char* domainId, const char* listName,
                                                        LinkedList variables);
/* true when the server deleted the list. */
LIB61850_API bool MmsConnection_deleteNamedVariableList(MmsConnection self, MmsError* mmsError,
                                                        const char* domainId, const char* listName);

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
