/*
 * IEC 61850 client over MMS: connection, model discovery, data access, report and GOOSE
 * control blocks and report reception.
 *
 * Ownership follows the usual rules of this interface: lists returned by directory services
 * are new LinkedLists of malloc'ed C strings (release with LinkedList_destroy); values returned
 * by IedConnection_readObject and type descriptions returned by IedConnection_getVariableSpecification
 * belong to the caller; values reached through a ClientReport belong to the stack.
 *
 * Threads: each connected IedConnection runs one receive thread, on which report handlers and
 * the raw message handler run. Services may be called from any other thread; a service called
 * from a report or raw message handler (the receive thread) fails at once with
 * IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED instead of waiting for an answer that thread would
 * have to receive.
 */
#ifndef IEC61850_CLIENT_H_
#define IEC61850_CLIENT_H_

#include "iec61850_common.h"
#include "libiec61850_common_api.h"
#include "linked_list.h"
#include "mms_client_connection.h"
#include "mms_type_spec.h"
#include "mms_value.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sClientReport* ClientReport;
typedef struct sClientReportControlBlock* ClientReportControlBlock;
typedef struct sClientGooseControlBlock* ClientGooseControlBlock;
typedef struct sIedConnection* IedConnection;

typedef enum {
    IED_STATE_CLOSED = 0,
    IED_STATE_CONNECTING,
    IED_STATE_CONNECTED,
    IED_STATE_CLOSING
} IedConnectionState;

typedef enum {
    IED_ERROR_OK = 0,
    IED_ERROR_NOT_CONNECTED = 1,
    IED_ERROR_ALREADY_CONNECTED = 2,
    IED_ERROR_CONNECTION_LOST = 3,
    IED_ERROR_SERVICE_NOT_SUPPORTED = 4,
    IED_ERROR_CONNECTION_REJECTED = 5,
    IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED = 6,
    IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT = 10,
    IED_ERROR_ENABLE_REPORT_FAILED_DATASET_MISMATCH = 11,
    IED_ERROR_OBJECT_REFERENCE_INVALID = 12,
    IED_ERROR_UNEXPECTED_VALUE_RECEIVED = 13,
    IED_ERROR_TIMEOUT = 20,
    IED_ERROR_ACCESS_DENIED = 21,
    IED_ERROR_OBJECT_DOES_NOT_EXIST = 22,
    IED_ERROR_OBJECT_EXISTS = 23,
    IED_ERROR_OBJECT_ACCESS_UNSUPPORTED = 24,
    IED_ERROR_TYPE_INCONSISTENT = 25,
    IED_ERROR_TEMPORARILY_UNAVAILABLE = 26,
    IED_ERROR_OBJECT_UNDEFINED = 27,
    IED_ERROR_INVALID_ADDRESS = 28,
    IED_ERROR_HARDWARE_FAULT = 29,
    IED_ERROR_TYPE_UNSUPPORTED = 30,
    IED_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT = 31,
    IED_ERROR_OBJECT_VALUE_INVALID = 32,
    IED_ERROR_OBJECT_INVALIDATED = 33,
    IED_ERROR_MALFORMED_MESSAGE = 34,
    IED_ERROR_SERVICE_NOT_IMPLEMENTED = 98,
    IED_ERROR_UNKNOWN = 99
} IedClientError;

/* ---- connection ---- */

LIB61850_API IedConnection IedConnection_create(void);
/* Closes the connection when open and frees everything, including installed report handlers. */
LIB61850_API void IedConnection_destroy(IedConnection self);
LIB61850_API void IedConnection_setConnectTimeout(IedConnection self, uint32_t timeoutInMs);
LIB61850_API void IedConnection_setRequestTimeout(IedConnection self, uint32_t timeoutInMs);
LIB61850_API uint32_t IedConnection_getRequestTimeout(IedConnection self);

/* Connects to hostname (a name or IPv4 address, optionally followed by ":port", which then
 * replaces tcpPort) on tcpPort (102 when tcpPort is not positive). Blocks until the MMS
 * association is up or the connect time-out has passed. */
LIB61850_API void IedConnection_connect(IedConnection self, IedClientError* error, const char* hostname,
                                        int tcpPort);

/* Releases the association (MMS conclude, ACSE release) and closes the TCP connection. */
LIB61850_API void IedConnection_release(IedConnection self, IedClientError* error);
/* Aborts the association and closes the TCP connection at once. */
LIB61850_API void IedConnection_abort(IedConnection self, IedClientError* error);
/* Ends the association (a short orderly release when the peer answers) and the TCP connection. */
LIB61850_API void IedConnection_close(IedConnection self);

LIB61850_API IedConnectionState IedConnection_getState(IedConnection self);
LIB61850_API MmsConnection IedConnection_getMmsConnection(IedConnection self);

typedef void (*IedConnection_StateChangedHandler)(void* parameter, IedConnection connection,
                                                  IedConnectionState newState);
/* Called whenever the state changes (connect, close, loss), on the thread that changed it: the
 * caller's for connect and close, the receive thread for a lost connection. */
LIB61850_API void IedConnection_installStateChangedHandler(IedConnection self,
                                                           IedConnection_StateChangedHandler handler,
                                                           void* parameter);
/* Binds the next connects to a local IPv4 address and port (NULL and 0: any). */
LIB61850_API void IedConnection_setLocalAddress(IedConnection self, const char* localIpAddress,
                                                int localPort);

typedef void (*IedConnectionClosedHandler)(void* parameter, IedConnection connection);
/* Called (on the receive thread) when an established connection is lost or closed. */
LIB61850_API void IedConnection_installConnectionClosedHandler(IedConnection self,
                                                               IedConnectionClosedHandler handler,
                                                               void* parameter);

/* ---- model discovery; every call asks the server ---- */

typedef enum {
    ACSI_CLASS_DATA_OBJECT,
    ACSI_CLASS_DATA_SET,
    ACSI_CLASS_BRCB,
    ACSI_CLASS_URCB,
    ACSI_CLASS_LCB,
    ACSI_CLASS_LOG,
    ACSI_CLASS_SGCB,
    ACSI_CLASS_GoCB,
    ACSI_CLASS_GsCB,
    ACSI_CLASS_MSVCB,
    ACSI_CLASS_USVCB
} ACSIClass;

/* Logical device names. getFileNames (file directory) is not supported. */
LIB61850_API LinkedList IedConnection_getServerDirectory(IedConnection self, IedClientError* error,
                                                         bool getFileNames);
LIB61850_API LinkedList IedConnection_getLogicalDeviceList(IedConnection self, IedClientError* error);
/* Logical node names of a logical device. */
LIB61850_API LinkedList IedConnection_getLogicalDeviceDirectory(IedConnection self, IedClientError* error,
                                                                const char* logicalDeviceName);
/* Names of the logical node's elements of one ACSI class ("LD/LN" reference). */
LIB61850_API LinkedList IedConnection_getLogicalNodeDirectory(IedConnection self, IedClientError* error,
                                                              const char* logicalNodeReference,
                                                              ACSIClass acsiClass);
/* All MMS variables below a logical node ("LN$FC$..." relative names without the LN). */
LIB61850_API LinkedList IedConnection_getLogicalNodeVariables(IedConnection self, IedClientError* error,
                                                              const char* logicalNodeReference);
/* All MMS variable names of a logical device, and its data set names ("LLN0$DataSet"). */
LIB61850_API LinkedList IedConnection_getLogicalDeviceVariables(IedConnection self, IedClientError* error,
                                                                const char* ldName);
LIB61850_API LinkedList IedConnection_getLogicalDeviceDataSets(IedConnection self, IedClientError* error,
                                                               const char* ldName);
/* Children (data attributes / sub data objects) of a data object or structured attribute, over
 * all functional constraints; an empty list for a leaf. */
LIB61850_API LinkedList IedConnection_getDataDirectory(IedConnection self, IedClientError* error,
                                                       const char* dataReference);
/* As getDataDirectory with the functional constraint appended to each name: "stVal[ST]". */
LIB61850_API LinkedList IedConnection_getDataDirectoryFC(IedConnection self, IedClientError* error,
                                                         const char* dataReference);
/* Children under one functional constraint, names without the constraint. */
LIB61850_API LinkedList IedConnection_getDataDirectoryByFC(IedConnection self, IedClientError* error,
                                                           const char* dataReference,
                                                           FunctionalConstraint fc);
/* Members of a data set ("LD/LN.name", "LD/LN$name", or "@name" for association-specific),
 * each as "LD/LN.DO.DA[FC]". isDeletable may be NULL. */
LIB61850_API LinkedList IedConnection_getDataSetDirectory(IedConnection self, IedClientError* error,
                                                          const char* dataSetReference, bool* isDeletable);
/* Type of a data attribute or functionally constrained data object; the caller destroys it. */
LIB61850_API MmsVariableSpecification*
IedConnection_getVariableSpecification(IedConnection self, IedClientError* error,
                                       const char* dataAttributeReference, FunctionalConstraint fc);

/* ---- data access ---- */

/* A new value the caller deletes, or NULL with the error. As with libiec61850, an object the
 * server refuses to read (data access error) gives an MMS_DATA_ACCESS_ERROR value and
 * IED_ERROR_OK; the typed readers below map it to the matching error code. */
LIB61850_API MmsValue* IedConnection_readObject(IedConnection self, IedClientError* error,
                                                const char* dataAttributeReference, FunctionalConstraint fc);
LIB61850_API void IedConnection_writeObject(IedConnection self, IedClientError* error,
                                            const char* dataAttributeReference, FunctionalConstraint fc,
                                            MmsValue* value);
LIB61850_API bool IedConnection_readBooleanValue(IedConnection self, IedClientError* error,
                                                 const char* objectReference, FunctionalConstraint fc);
LIB61850_API float IedConnection_readFloatValue(IedConnection self, IedClientError* error,
                                                const char* objectReference, FunctionalConstraint fc);
LIB61850_API int32_t IedConnection_readInt32Value(IedConnection self, IedClientError* error,
                                                  const char* objectReference, FunctionalConstraint fc);
LIB61850_API uint32_t IedConnection_readUnsigned32Value(IedConnection self, IedClientError* error,
                                                        const char* objectReference, FunctionalConstraint fc);
LIB61850_API void IedConnection_writeBooleanValue(IedConnection self, IedClientError* error,
                                                  const char* objectReference, FunctionalConstraint fc,
                                                  bool value);

/* ---- data sets ---- */

typedef struct sClientDataSet* ClientDataSet;

/* Reads all members of a data set ("LD/LN.name" or "@name") in one request. With dataSet NULL a
 * new object is returned (the caller destroys it), else dataSet is updated and returned. NULL
 * on error. Members the server refuses are MMS_DATA_ACCESS_ERROR values in the array. */
LIB61850_API ClientDataSet IedConnection_readDataSetValues(IedConnection self, IedClientError* error,
                                                           const char* dataSetReference,
                                                           ClientDataSet dataSet);
/* Defines a data set ("LD/LN.name" persistent, "@name" for this association) of the members
 * "LD/LN.DO.DA[FC]" in dataSetElements (a LinkedList of C strings). */
LIB61850_API void IedConnection_createDataSet(IedConnection self, IedClientError* error,
                                              const char* dataSetReference, LinkedList dataSetElements);
/* true when the server deleted the data set. */
LIB61850_API bool IedConnection_deleteDataSet(IedConnection self, IedClientError* error,
                                              const char* dataSetReference);
LIB61850_API void ClientDataSet_destroy(ClientDataSet self);
/* The members' values as an array belonging to the data set object. */
LIB61850_API MmsValue* ClientDataSet_getValues(ClientDataSet self);
LIB61850_API char* ClientDataSet_getReference(ClientDataSet self);
LIB61850_API int ClientDataSet_getDataSetSize(ClientDataSet self);

/* ---- report control blocks ---- */

typedef int ReasonForInclusion;
#define IEC61850_REASON_NOT_INCLUDED 0
#define IEC61850_REASON_DATA_CHANGE 1
#define IEC61850_REASON_QUALITY_CHANGE 2
#define IEC61850_REASON_DATA_UPDATE 4
#define IEC61850_REASON_INTEGRITY 8
#define IEC61850_REASON_GI 16
#define IEC61850_REASON_UNKNOWN 32

#define REASON_NOT_INCLUDED IEC61850_REASON_NOT_INCLUDED
#define REASON_DATA_CHANGE IEC61850_REASON_DATA_CHANGE
#define REASON_QUALITY_CHANGE IEC61850_REASON_QUALITY_CHANGE
#define REASON_DATA_UPDATE IEC61850_REASON_DATA_UPDATE
#define REASON_INTEGRITY IEC61850_REASON_INTEGRITY
#define REASON_GI IEC61850_REASON_GI
#define REASON_UNKNOWN IEC61850_REASON_UNKNOWN

#define RCB_ELEMENT_RPT_ID 1
#define RCB_ELEMENT_RPT_ENA 2
#define RCB_ELEMENT_RESV 4
#define RCB_ELEMENT_DATSET 8
#define RCB_ELEMENT_CONF_REV 16
#define RCB_ELEMENT_OPT_FLDS 32
#define RCB_ELEMENT_BUF_TM 64
#define RCB_ELEMENT_SQ_NUM 128
#define RCB_ELEMENT_TRG_OPS 256
#define RCB_ELEMENT_INTG_PD 512
#define RCB_ELEMENT_GI 1024
#define RCB_ELEMENT_PURGE_BUF 2048
#define RCB_ELEMENT_ENTRY_ID 4096
#define RCB_ELEMENT_TIME_OF_ENTRY 8192
#define RCB_ELEMENT_RESV_TMS 16384
#define RCB_ELEMENT_OWNER 32768

/* Reads a report control block ("LD/LN.RP.name" or "LD/LN.BR.name") in one MMS read. With
 * updateRcb NULL a new block object is returned (caller destroys it); else updateRcb is updated
 * and returned. NULL on error. */
LIB61850_API ClientReportControlBlock IedConnection_getRCBValues(IedConnection self, IedClientError* error,
                                                                 const char* rcbReference,
                                                                 ClientReportControlBlock updateRcb);
/* Writes the attributes selected by parametersMask (RCB_ELEMENT_*), in one MMS write request when
 * singleRequest is true, else one request per attribute. RptEna and GI are written last. */
LIB61850_API void IedConnection_setRCBValues(IedConnection self, IedClientError* error,
                                             ClientReportControlBlock rcb, uint32_t parametersMask,
                                             bool singleRequest);

typedef void (*ReportCallbackFunction)(void* parameter, ClientReport report);

/* Installs (replacing an earlier one) the handler for reports of rcbReference. Reports are matched
 * by their RptID against rptId, or against the control block reference when rptId is NULL or
 * empty. */
LIB61850_API void IedConnection_installReportHandler(IedConnection self, const char* rcbReference,
                                                     const char* rptId, ReportCallbackFunction handler,
                                                     void* handlerParameter);
LIB61850_API void IedConnection_uninstallReportHandler(IedConnection self, const char* rcbReference);

/* ---- received reports (valid inside the handler; values belong to the stack) ---- */

LIB61850_API const char* ClientReport_getDataSetName(ClientReport self);
LIB61850_API MmsValue* ClientReport_getDataSetValues(ClientReport self);
LIB61850_API char* ClientReport_getRcbReference(ClientReport self);
LIB61850_API char* ClientReport_getRptId(ClientReport self);
LIB61850_API ReasonForInclusion ClientReport_getReasonForInclusion(ClientReport self, int elementIndex);
LIB61850_API MmsValue* ClientReport_getEntryId(ClientReport self);
LIB61850_API bool ClientReport_hasTimestamp(ClientReport self);
LIB61850_API uint64_t ClientReport_getTimestamp(ClientReport self);
LIB61850_API bool ClientReport_hasSeqNum(ClientReport self);
LIB61850_API uint16_t ClientReport_getSeqNum(ClientReport self);
LIB61850_API bool ClientReport_hasDataSetName(ClientReport self);
LIB61850_API bool ClientReport_hasReasonForInclusion(ClientReport self);
LIB61850_API bool ClientReport_hasConfRev(ClientReport self);
LIB61850_API uint32_t ClientReport_getConfRev(ClientReport self);
LIB61850_API bool ClientReport_hasBufOvfl(ClientReport self);
LIB61850_API bool ClientReport_getBufOvfl(ClientReport self);
LIB61850_API bool ClientReport_hasDataReference(ClientReport self);
LIB61850_API const char* ClientReport_getDataReference(ClientReport self, int elementIndex);
LIB61850_API bool ClientReport_hasSubSeqNum(ClientReport self);
LIB61850_API uint16_t ClientReport_getSubSeqNum(ClientReport self);
LIB61850_API bool ClientReport_getMoreSeqmentsFollow(ClientReport self);
LIB61850_API char* ReasonForInclusion_getValueAsString(ReasonForInclusion reasonCode);

/* ---- report control block objects ---- */

LIB61850_API ClientReportControlBlock ClientReportControlBlock_create(const char* rcbReference);
LIB61850_API void ClientReportControlBlock_destroy(ClientReportControlBlock self);
LIB61850_API char* ClientReportControlBlock_getObjectReference(ClientReportControlBlock self);
LIB61850_API bool ClientReportControlBlock_isBuffered(ClientReportControlBlock self);
LIB61850_API const char* ClientReportControlBlock_getRptId(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setRptId(ClientReportControlBlock self, const char* rptId);
LIB61850_API bool ClientReportControlBlock_getRptEna(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setRptEna(ClientReportControlBlock self, bool rptEna);
LIB61850_API bool ClientReportControlBlock_getResv(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setResv(ClientReportControlBlock self, bool resv);
LIB61850_API const char* ClientReportControlBlock_getDataSetReference(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setDataSetReference(ClientReportControlBlock self,
                                                               const char* dataSetReference);
LIB61850_API uint32_t ClientReportControlBlock_getConfRev(ClientReportControlBlock self);
LIB61850_API int ClientReportControlBlock_getOptFlds(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setOptFlds(ClientReportControlBlock self, int optFlds);
LIB61850_API uint32_t ClientReportControlBlock_getBufTm(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setBufTm(ClientReportControlBlock self, uint32_t bufTm);
LIB61850_API uint16_t ClientReportControlBlock_getSqNum(ClientReportControlBlock self);
LIB61850_API int ClientReportControlBlock_getTrgOps(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setTrgOps(ClientReportControlBlock self, int trgOps);
LIB61850_API uint32_t ClientReportControlBlock_getIntgPd(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setIntgPd(ClientReportControlBlock self, uint32_t intgPd);
LIB61850_API bool ClientReportControlBlock_getGI(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setGI(ClientReportControlBlock self, bool gi);
LIB61850_API bool ClientReportControlBlock_getPurgeBuf(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setPurgeBuf(ClientReportControlBlock self, bool purgeBuf);
LIB61850_API bool ClientReportControlBlock_hasResvTms(ClientReportControlBlock self);
LIB61850_API int16_t ClientReportControlBlock_getResvTms(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setResvTms(ClientReportControlBlock self, int16_t resvTms);
LIB61850_API MmsValue* ClientReportControlBlock_getEntryId(ClientReportControlBlock self);
LIB61850_API void ClientReportControlBlock_setEntryId(ClientReportControlBlock self, MmsValue* entryId);
LIB61850_API uint64_t ClientReportControlBlock_getEntryTime(ClientReportControlBlock self);
LIB61850_API MmsValue* ClientReportControlBlock_getOwner(ClientReportControlBlock self);

/* ---- GOOSE control blocks ---- */

#define GOCB_ELEMENT_GO_ENA 1
#define GOCB_ELEMENT_GO_ID 2
#define GOCB_ELEMENT_DATSET 4
#define GOCB_ELEMENT_CONF_REV 8
#define GOCB_ELEMENT_NDS_COMM 16
#define GOCB_ELEMENT_DST_ADDRESS 32
#define GOCB_ELEMENT_MIN_TIME 64
#define GOCB_ELEMENT_MAX_TIME 128
#define GOCB_ELEMENT_FIXED_OFFS 256
#define GOCB_ELEMENT_ALL 511

/* Reads a GOOSE control block ("LD/LN.name" or "LD/LN.GO.name") in one MMS read; as
 * IedConnection_getRCBValues for updateGoCB and ownership. */
LIB61850_API ClientGooseControlBlock IedConnection_getGoCBValues(IedConnection self, IedClientError* error,
                                                                 const char* goCBReference,
                                                                 ClientGooseControlBlock updateGoCB);

LIB61850_API ClientGooseControlBlock ClientGooseControlBlock_create(const char* dataAttributeReference);
LIB61850_API void ClientGooseControlBlock_destroy(ClientGooseControlBlock self);
LIB61850_API bool ClientGooseControlBlock_getGoEna(ClientGooseControlBlock self);
LIB61850_API void ClientGooseControlBlock_setGoEna(ClientGooseControlBlock self, bool goEna);
LIB61850_API const char* ClientGooseControlBlock_getGoID(ClientGooseControlBlock self);
LIB61850_API void ClientGooseControlBlock_setGoID(ClientGooseControlBlock self, const char* goID);
LIB61850_API const char* ClientGooseControlBlock_getDatSet(ClientGooseControlBlock self);
LIB61850_API void ClientGooseControlBlock_setDatSet(ClientGooseControlBlock self, const char* datSet);
LIB61850_API uint32_t ClientGooseControlBlock_getConfRev(ClientGooseControlBlock self);
LIB61850_API bool ClientGooseControlBlock_getNdsComm(ClientGooseControlBlock self);
LIB61850_API uint32_t ClientGooseControlBlock_getMinTime(ClientGooseControlBlock self);
LIB61850_API uint32_t ClientGooseControlBlock_getMaxTime(ClientGooseControlBlock self);
LIB61850_API bool ClientGooseControlBlock_getFixedOffs(ClientGooseControlBlock self);
LIB61850_API PhyComAddress ClientGooseControlBlock_getDstAddress(ClientGooseControlBlock self);
LIB61850_API void ClientGooseControlBlock_setDstAddress(ClientGooseControlBlock self, PhyComAddress value);
/* The destination MAC address as a 6-octet string value belonging to the block. */
LIB61850_API MmsValue* ClientGooseControlBlock_getDstAddress_addr(ClientGooseControlBlock self);
LIB61850_API uint8_t ClientGooseControlBlock_getDstAddress_priority(ClientGooseControlBlock self);
LIB61850_API uint16_t ClientGooseControlBlock_getDstAddress_vid(ClientGooseControlBlock self);
LIB61850_API uint16_t ClientGooseControlBlock_getDstAddress_appid(ClientGooseControlBlock self);

/* ---- controls ---- */

typedef struct sControlObjectClient* ControlObjectClient;

typedef struct {
    int ctlNum;
    ControlLastApplError error;
    ControlAddCause addCause;
} LastApplError;

/* A client for the controllable data object objectReference ("LD/LN.DO"): reads its ctlModel
 * (CF) and the type of its Oper structure (CO). NULL when they cannot be read (no connection,
 * no such object, or no Oper for a model other than status-only). Destroy it before the
 * connection. */
LIB61850_API ControlObjectClient ControlObjectClient_create(const char* objectReference,
                                                            IedConnection connection);
LIB61850_API void ControlObjectClient_destroy(ControlObjectClient self);
LIB61850_API const char* ControlObjectClient_getObjectReference(ControlObjectClient self);
LIB61850_API ControlModel ControlObjectClient_getControlModel(ControlObjectClient self);
/* Overrides the model read at create. */
LIB61850_API void ControlObjectClient_setControlModel(ControlObjectClient self, ControlModel ctlModel);
/* Type of ctlVal. */
LIB61850_API MmsType ControlObjectClient_getCtlValType(ControlObjectClient self);
/* The client error of the last select, operate or cancel. */
LIB61850_API IedClientError ControlObjectClient_getLastError(ControlObjectClient self);

/* Operates with ctlVal (copied); operTime (ms since epoch, 0 for none) fills operTm where the
 * object has it. With enhanced security the call returns once the command termination arrived
 * (true for a positive one) or the request time-out passed (false). */
LIB61850_API bool ControlObjectClient_operate(ControlObjectClient self, MmsValue* ctlVal, uint64_t operTime);
/* Select before operate with normal security (reads SBO): true when selected. */
LIB61850_API bool ControlObjectClient_select(ControlObjectClient self);
/* Select before operate with enhanced security (writes SBOw with ctlVal). */
LIB61850_API bool ControlObjectClient_selectWithValue(ControlObjectClient self, MmsValue* ctlVal);
/* Cancels a selection (writes Cancel). */
LIB61850_API bool ControlObjectClient_cancel(ControlObjectClient self);
/* The LastApplError the server reported for the last refused or failed command of this object. */
LIB61850_API LastApplError ControlObjectClient_getLastApplError(ControlObjectClient self);

LIB61850_API void ControlObjectClient_setOrigin(ControlObjectClient self, const char* orIdent, int orCat);
LIB61850_API void ControlObjectClient_setTestMode(ControlObjectClient self, bool value);
LIB61850_API void ControlObjectClient_setInterlockCheck(ControlObjectClient self, bool value);
LIB61850_API void ControlObjectClient_setSynchroCheck(ControlObjectClient self, bool value);
/* Sends the same T in select and operate (the time of the select). */
LIB61850_API void ControlObjectClient_useConstantT(ControlObjectClient self, bool useConstantT);

typedef void (*CommandTerminationHandler)(void* parameter, ControlObjectClient controlClient);
/* Called on the receive thread for each command termination of this object; after a negative
 * one ControlObjectClient_getLastApplError gives the reason. */
LIB61850_API void ControlObjectClient_setCommandTerminationHandler(ControlObjectClient self,
                                                                   CommandTerminationHandler handler,
                                                                   void* handlerParameter);

#ifdef __cplusplus
}
#endif

#endif /* IEC61850_CLIENT_H_ */
