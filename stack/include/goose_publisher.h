/*
 * GOOSE publisher: builds GOOSE frames from a data set and sends them on one interface.
 *
 * Counters: the first frame carries stNum 1 and sqNum 0; each GoosePublisher_publish sends the
 * current values and then increases sqNum (after 0xFFFFFFFF it continues at 1);
 * GoosePublisher_increaseStNum increases stNum, resets sqNum to 0 and takes the current time as
 * the time stamp t.
 *
 * VLAN tag: GoosePublisher_create tags frames when the VLAN id or priority of the parameters is
 * not zero and sends them untagged otherwise; GoosePublisher_createEx decides explicitly.
 */
#ifndef GOOSE_PUBLISHER_H_
#define GOOSE_PUBLISHER_H_

#include "libiec61850_common_api.h"
#include "iec61850_common.h"
#include "linked_list.h"
#include "mms_value.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sGoosePublisher* GoosePublisher;

/* NULL when the interface cannot be opened (no such interface, no rights). Without parameters
 * (NULL) the frames go to 01:0C:CD:01:00:01 with APPID 0x1000 and no tag. */
LIB61850_API GoosePublisher GoosePublisher_create(CommParameters* parameters, const char* interfaceID);
LIB61850_API GoosePublisher GoosePublisher_createEx(CommParameters* parameters, const char* interfaceID,
                                                    bool useVlanTag);
LIB61850_API void GoosePublisher_destroy(GoosePublisher self);

/* Sends one frame with the values of dataSet (a list of MmsValue*; the values stay the
 * caller's). 0 on success, -1 when the frame cannot be built or sent. */
LIB61850_API int GoosePublisher_publish(GoosePublisher self, LinkedList dataSet);
/* As publish, and copies the frame into msgBuf (msgLen: its length) when it fits bufSize. */
LIB61850_API int GoosePublisher_publishAndDump(GoosePublisher self, LinkedList dataSet, char* msgBuf,
                                               int32_t* msgLen, int32_t bufSize);

LIB61850_API void GoosePublisher_setGoID(GoosePublisher self, char* goID);
LIB61850_API void GoosePublisher_setGoCbRef(GoosePublisher self, char* goCbRef);
LIB61850_API void GoosePublisher_setTimeAllowedToLive(GoosePublisher self, uint32_t timeAllowedToLive);
LIB61850_API void GoosePublisher_setDataSetRef(GoosePublisher self, char* dataSetRef);
LIB61850_API void GoosePublisher_setConfRev(GoosePublisher self, uint32_t confRev);
/* The simulation (test) flag of the frames. */
LIB61850_API void GoosePublisher_setSimulation(GoosePublisher self, bool simulation);
/* Same as GoosePublisher_setSimulation. */
LIB61850_API void GoosePublisher_setTest(GoosePublisher self, bool test);
LIB61850_API void GoosePublisher_setNeedsCommission(GoosePublisher self, bool ndsCom);
LIB61850_API void GoosePublisher_setStNum(GoosePublisher self, uint32_t stNum);
LIB61850_API void GoosePublisher_setSqNum(GoosePublisher self, uint32_t sqNum);
/* Time stamp t of the next frames, milliseconds since the epoch. */
LIB61850_API void GoosePublisher_setTimestamp(GoosePublisher self, uint64_t timestampMs);
/* A new state: stNum + 1, sqNum 0, t = now. Returns t in milliseconds. */
LIB61850_API uint64_t GoosePublisher_increaseStNum(GoosePublisher self);
/* stNum 1, sqNum 0, t = now. */
LIB61850_API void GoosePublisher_reset(GoosePublisher self);

#ifdef __cplusplus
}
#endif

#endif /* GOOSE_PUBLISHER_H_ */
