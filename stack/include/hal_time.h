/*
 * Wall clock time for programs written against the stack.
 */
#ifndef HAL_TIME_H_
#define HAL_TIME_H_

#include "libiec61850_common_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef uint64_t msSinceEpoch;
typedef uint64_t nsSinceEpoch;

/* Milliseconds and nanoseconds since 1970-01-01 00:00 UTC. */
LIB61850_API msSinceEpoch Hal_getTimeInMs(void);
LIB61850_API nsSinceEpoch Hal_getTimeInNs(void);

#ifdef __cplusplus
}
#endif

#endif /* HAL_TIME_H_ */
