/*
 * GOOSE receiver: one raw socket on one interface and one receive thread that hands each GOOSE
 * message to the matching subscribers (see goose_subscriber.h).
 *
 * GooseReceiver_start opens the socket and starts the thread ("GooseRx <interface>"); when the
 * socket cannot be opened (no such interface, no rights) nothing starts and
 * GooseReceiver_isRunning stays false. GooseReceiver_stop returns after the thread has ended, so
 * no listener runs after it returns. Listeners may add or remove subscribers.
 */
#ifndef GOOSE_RECEIVER_H_
#define GOOSE_RECEIVER_H_

#include "libiec61850_common_api.h"
#include "goose_subscriber.h"
#include "hal_ethernet.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sGooseReceiver* GooseReceiver;

LIB61850_API GooseReceiver GooseReceiver_create(void);
/* As GooseReceiver_create; the buffer argument is not needed and ignored. */
LIB61850_API GooseReceiver GooseReceiver_createEx(uint8_t* buffer);

/* The interface name ("eth0"); taken at the next start. Default "eth0". */
LIB61850_API void GooseReceiver_setInterfaceId(GooseReceiver self, const char* interfaceId);
LIB61850_API const char* GooseReceiver_getInterfaceId(GooseReceiver self);

LIB61850_API void GooseReceiver_addSubscriber(GooseReceiver self, GooseSubscriber subscriber);
/* Detaches the subscriber (not released). */
LIB61850_API void GooseReceiver_removeSubscriber(GooseReceiver self, GooseSubscriber subscriber);

LIB61850_API void GooseReceiver_start(GooseReceiver self);
LIB61850_API void GooseReceiver_stop(GooseReceiver self);
LIB61850_API bool GooseReceiver_isRunning(GooseReceiver self);

/* Stops the receiver and releases it with all its subscribers. */
LIB61850_API void GooseReceiver_destroy(GooseReceiver self);

/* Without a thread: open the socket (NULL on failure; the receiver keeps the socket, do not
 * destroy it), then call GooseReceiver_tick from the
 * caller's loop; tick returns true when it handled at least one frame. */
LIB61850_API EthernetSocket GooseReceiver_startThreadless(GooseReceiver self);
LIB61850_API void GooseReceiver_stopThreadless(GooseReceiver self);
LIB61850_API bool GooseReceiver_tick(GooseReceiver self);

/* Handles one complete Ethernet frame as if it had been received. */
LIB61850_API void GooseReceiver_handleMessage(GooseReceiver self, uint8_t* buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* GOOSE_RECEIVER_H_ */
