/*
 * Sampled Values (IEC 61850-9-2) reception: an SVReceiver owns one raw socket on one interface
 * and one receive thread ("SvRx <interface>"); its SVSubscribers each name a stream by APPID and,
 * when the receiver checks destination addresses, by destination MAC. Every ASDU of a matching
 * frame is handed to the subscriber's listener, in the order of the frame.
 *
 * Malformed or truncated frames are dropped as a whole: no ASDU of them reaches a listener.
 * ASDU handles and their data buffers point into the frame and are valid only inside the
 * listener call.
 */
#ifndef SAMPLED_VALUES_SUBSCRIBER_H_
#define SAMPLED_VALUES_SUBSCRIBER_H_

#include "libiec61850_common_api.h"
#include "iec61850_common.h"
#include "hal_ethernet.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One ASDU of a received frame. The pointers refer to the encoded fields inside the frame (NULL
 * when the optional field is absent); svId and datSet are zero-terminated copies. Read it
 * through the SVSubscriber_ASDU_ functions. */
struct sSVSubscriber_ASDU {
    char* svId;
    char* datSet;
    uint8_t* smpCnt;   /* 2 bytes */
    uint8_t* confRev;  /* 4 bytes */
    uint8_t* refrTm;   /* 8 bytes */
    uint8_t* smpSynch; /* 1 byte */
    uint8_t* smpMod;   /* 2 bytes */
    uint8_t* smpRate;  /* 2 bytes */
    int dataBufferLength;
    uint8_t* dataBuffer;
};

typedef struct sSVSubscriber_ASDU* SVSubscriber_ASDU;
typedef struct sSVSubscriber* SVSubscriber;
typedef struct sSVReceiver* SVReceiver;

/* Called on the receiver's thread for each ASDU. */
typedef void (*SVUpdateListener)(SVSubscriber subscriber, void* parameter, SVSubscriber_ASDU asdu);

LIB61850_API SVReceiver SVReceiver_create(void);
/* Destination address check: off by default; when on, a subscriber matches only frames sent to
 * its ethAddr. */
LIB61850_API void SVReceiver_disableDestAddrCheck(SVReceiver self);
LIB61850_API void SVReceiver_enableDestAddrCheck(SVReceiver self);
/* The interface name ("eth0"); taken at the next start. Default "eth0". */
LIB61850_API void SVReceiver_setInterfaceId(SVReceiver self, const char* interfaceId);
LIB61850_API void SVReceiver_addSubscriber(SVReceiver self, SVSubscriber subscriber);
/* Detaches the subscriber (not released). */
LIB61850_API void SVReceiver_removeSubscriber(SVReceiver self, SVSubscriber subscriber);
/* Opens the socket and starts the thread; when the socket cannot be opened nothing starts and
 * SVReceiver_isRunning stays false. */
LIB61850_API void SVReceiver_start(SVReceiver self);
/* Returns after the thread has ended: no listener runs after it. */
LIB61850_API void SVReceiver_stop(SVReceiver self);
LIB61850_API bool SVReceiver_isRunning(SVReceiver self);
/* Stops the receiver and releases it with all its subscribers. */
LIB61850_API void SVReceiver_destroy(SVReceiver self);

/* Without a thread: open the socket (NULL on failure; it stays the receiver's), then call
 * SVReceiver_tick from the caller's loop; tick returns true when it handled a frame. */
LIB61850_API EthernetSocket SVReceiver_startThreadless(SVReceiver self);
LIB61850_API void SVReceiver_stopThreadless(SVReceiver self);
LIB61850_API bool SVReceiver_tick(SVReceiver self);
/* Handles one complete Ethernet frame as if it had been received. */
LIB61850_API void SVReceiver_handleMessage(SVReceiver self, uint8_t* buffer, int size);

/* ethAddr: the stream's destination MAC (6 bytes, copied) or NULL; appID: its APPID. */
LIB61850_API SVSubscriber SVSubscriber_create(const uint8_t* ethAddr, uint16_t appID);
LIB61850_API void SVSubscriber_setListener(SVSubscriber self, SVUpdateListener listener, void* parameter);
LIB61850_API void SVSubscriber_destroy(SVSubscriber self);

LIB61850_API uint16_t SVSubscriber_ASDU_getSmpCnt(SVSubscriber_ASDU self);
LIB61850_API const char* SVSubscriber_ASDU_getSvId(SVSubscriber_ASDU self);
/* NULL when the ASDU carries no data set reference. */
LIB61850_API const char* SVSubscriber_ASDU_getDatSet(SVSubscriber_ASDU self);
LIB61850_API uint32_t SVSubscriber_ASDU_getConfRev(SVSubscriber_ASDU self);
LIB61850_API uint8_t SVSubscriber_ASDU_getSmpMod(SVSubscriber_ASDU self);
LIB61850_API uint16_t SVSubscriber_ASDU_getSmpRate(SVSubscriber_ASDU self);
LIB61850_API bool SVSubscriber_ASDU_hasDatSet(SVSubscriber_ASDU self);
LIB61850_API bool SVSubscriber_ASDU_hasRefrTm(SVSubscriber_ASDU self);
LIB61850_API bool SVSubscriber_ASDU_hasSmpMod(SVSubscriber_ASDU self);
LIB61850_API bool SVSubscriber_ASDU_hasSmpRate(SVSubscriber_ASDU self);
LIB61850_API uint64_t SVSubscriber_ASDU_getRefrTmAsMs(SVSubscriber_ASDU self);
LIB61850_API uint64_t SVSubscriber_ASDU_getRefrTmAsNs(SVSubscriber_ASDU self);
LIB61850_API uint8_t SVSubscriber_ASDU_getSmpSynch(SVSubscriber_ASDU self);

/* Values of the data buffer at byte offset index (big endian, as on the wire); 0 when the
 * value does not lie inside the buffer. */
LIB61850_API int8_t SVSubscriber_ASDU_getINT8(SVSubscriber_ASDU self, int index);
LIB61850_API int16_t SVSubscriber_ASDU_getINT16(SVSubscriber_ASDU self, int index);
LIB61850_API int32_t SVSubscriber_ASDU_getINT32(SVSubscriber_ASDU self, int index);
LIB61850_API int64_t SVSubscriber_ASDU_getINT64(SVSubscriber_ASDU self, int index);
LIB61850_API uint8_t SVSubscriber_ASDU_getINT8U(SVSubscriber_ASDU self, int index);
LIB61850_API uint16_t SVSubscriber_ASDU_getINT16U(SVSubscriber_ASDU self, int index);
LIB61850_API uint32_t SVSubscriber_ASDU_getINT32U(SVSubscriber_ASDU self, int index);
LIB61850_API uint64_t SVSubscriber_ASDU_getINT64U(SVSubscriber_ASDU self, int index);
LIB61850_API float SVSubscriber_ASDU_getFLOAT32(SVSubscriber_ASDU self, int index);
LIB61850_API double SVSubscriber_ASDU_getFLOAT64(SVSubscriber_ASDU self, int index);
/* 8 bytes of an IEC 61850 time stamp. */
LIB61850_API Timestamp SVSubscriber_ASDU_getTimestamp(SVSubscriber_ASDU self, int index);
/* A 4-byte quality: its low 16 bits, none of them masked. */
LIB61850_API Quality SVSubscriber_ASDU_getQuality(SVSubscriber_ASDU self, int index);
/* Length of the data buffer in bytes. */
LIB61850_API int SVSubscriber_ASDU_getDataSize(SVSubscriber_ASDU self);

#ifdef __cplusplus
}
#endif

#endif /* SAMPLED_VALUES_SUBSCRIBER_H_ */
