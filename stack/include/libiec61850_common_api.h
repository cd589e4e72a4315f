/*
 * Common definitions of the iecx protocol stack's C interface.
 */
#ifndef LIBIEC61850_COMMON_API_H_
#define LIBIEC61850_COMMON_API_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#if defined(__GNUC__) || defined(__clang__)
#define ATTRIBUTE_PACKED __attribute__((__packed__))
#define LIB61850_API __attribute__((visibility("default")))
#define LIB61850_INTERNAL __attribute__((visibility("hidden")))
#else
#define ATTRIBUTE_PACKED
#define LIB61850_API
#define LIB61850_INTERNAL
#endif

#endif /* LIBIEC61850_COMMON_API_H_ */
