/*
 * GOOSE subscriber: one GOOSE control block (or, in observer mode, every GOOSE message) that a
 * GooseReceiver delivers to a listener.
 *
 * A message matches a subscriber when its goCbRef equals the subscriber's (same length and
 * bytes) and, when set, its APPID and destination MAC equal the subscriber's. An observer
 * matches every message. Every matching subscriber of a receiver gets the message, in the order
 * they were added.
 *
 * Data set values: the values handed to GooseSubscriber_create are updated in place by each
 * message (they stay the caller's). Without them the subscriber creates an MMS_ARRAY from the
 * first message; it belongs to the subscriber, is updated in place while later messages have the
 * same shape and is replaced (the old one released) when the shape changes. Pointers into it are
 * valid inside the listener; the listener runs on the receiver's thread.
 *
 * Frames that are not well-formed GOOSE (truncated, bad header) are dropped without reaching any
 * listener. A GOOSE message is checked whole before anything of the subscriber changes; when it
 * is refused it is delivered as invalid (GooseSubscriber_isValid false, the parse error set) and
 * the values and fields of the last good message are kept:
 *   GOOSE_PARSE_ERROR_TAGDECODE        a malformed member of allData;
 *   GOOSE_PARSE_ERROR_LENGTH_MISMATCH  numDatSetEntries is not the number of members;
 *   GOOSE_PARSE_ERROR_TYPE_MISMATCH    the data set does not fit the caller's values, or its shape
 *                                      changed while goCbRef and confRev stayed the same.
 */
#ifndef GOOSE_SUBSCRIBER_H_
#define GOOSE_SUBSCRIBER_H_

#include "libiec61850_common_api.h"
#include "mms_value.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    GOOSE_PARSE_ERROR_NO_ERROR = 0,
    GOOSE_PARSE_ERROR_UNKNOWN_TAG,
    GOOSE_PARSE_ERROR_TAGDECODE,
    GOOSE_PARSE_ERROR_SUBLEVEL,
    GOOSE_PARSE_ERROR_OVERFLOW,
    GOOSE_PARSE_ERROR_UNDERFLOW,
    GOOSE_PARSE_ERROR_TYPE_MISMATCH,
    GOOSE_PARSE_ERROR_LENGTH_MISMATCH,
    GOOSE_PARSE_ERROR_INVALID_PADDING
} GooseParseError;

typedef struct sGooseSubscriber* GooseSubscriber;

/* Called on the receiver's thread for each delivered message. */
typedef void (*GooseListener)(GooseSubscriber subscriber, void* parameter);

/* goCbRef: the control block reference ("IED1LD0/LLN0$GO$gcb1"), copied; NULL is taken as "".
 * dataSetValues: values to update in place (the caller keeps ownership), or NULL. */
LIB61850_API GooseSubscriber GooseSubscriber_create(char* goCbRef, MmsValue* dataSetValues);

/* Observer mode: the subscriber receives every GOOSE message, whatever its goCbRef. */
LIB61850_API void GooseSubscriber_setObserver(GooseSubscriber self);

LIB61850_API void GooseSubscriber_setDstMac(GooseSubscriber self, uint8_t dstMac[6]);
LIB61850_API void GooseSubscriber_setAppId(GooseSubscriber self, uint16_t appId);

/* true while the last message was delivered correctly and its time allowed to live has not
 * run out. */
LIB61850_API bool GooseSubscriber_isValid(GooseSubscriber self);
LIB61850_API GooseParseError GooseSubscriber_getParseError(GooseSubscriber self);

/* Releases the subscriber (and the data set values it created). Remove it from its receiver
 * first, or let GooseReceiver_destroy release it. */
LIB61850_API void GooseSubscriber_destroy(GooseSubscriber self);

LIB61850_API void GooseSubscriber_setListener(GooseSubscriber self, GooseListener listener, void* parameter);

/* Fields of the last delivered message. Texts belong to the subscriber and change with the next
 * message. */
LIB61850_API int32_t GooseSubscriber_getAppId(GooseSubscriber self);
LIB61850_API void GooseSubscriber_getSrcMac(GooseSubscriber self, uint8_t* buffer);
LIB61850_API void GooseSubscriber_getDstMac(GooseSubscriber self, uint8_t* buffer);
LIB61850_API uint32_t GooseSubscriber_getStNum(GooseSubscriber self);
LIB61850_API uint32_t GooseSubscriber_getSqNum(GooseSubscriber self);
LIB61850_API bool GooseSubscriber_isTest(GooseSubscriber self);
LIB61850_API uint32_t GooseSubscriber_getConfRev(GooseSubscriber self);
LIB61850_API bool GooseSubscriber_needsCommission(GooseSubscriber self);
LIB61850_API uint32_t GooseSubscriber_getTimeAllowedToLive(GooseSubscriber self);
/* The message time stamp t in milliseconds since the epoch. */
LIB61850_API uint64_t GooseSubscriber_getTimestamp(GooseSubscriber self);
LIB61850_API char* GooseSubscriber_getGoId(GooseSubscriber self);
LIB61850_API char* GooseSubscriber_getGoCbRef(GooseSubscriber self);
LIB61850_API char* GooseSubscriber_getDataSet(GooseSubscriber self);
LIB61850_API MmsValue* GooseSubscriber_getDataSetValues(GooseSubscriber self);

/* The 802.1Q tag of the last message (recovered also where the kernel strips it). */
LIB61850_API bool GooseSubscriber_isVlanSet(GooseSubscriber self);
LIB61850_API uint16_t GooseSubscriber_getVlanId(GooseSubscriber self);
LIB61850_API uint8_t GooseSubscriber_getVlanPrio(GooseSubscriber self);

#ifdef __cplusplus
}
#endif

#endif /* GOOSE_SUBSCRIBER_H_ */
