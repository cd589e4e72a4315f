/*
 * Common definitions of the iecx protocol stack's C interface.
 *
 * Rules every function of this interface keeps:
 * - NULL handles. A function given NULL for its handle (the first parameter: a connection,
 *   subscriber, publisher, receiver, report, control block, value, type or list) does nothing and
 *   returns its failure value: NULL for pointers and handles, false, 0 for numbers (-1 where a
 *   function's comment gives -1 as its failure); an IedClientError out-parameter is set to
 *   IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT (or the more precise code the function documents),
 *   an MmsError out-parameter to MMS_ERROR_OTHER.
 * - No exception crosses into the caller: when the stack cannot complete a call (memory or a
 *   thread cannot be had), the call returns the same failure value, with IED_ERROR_UNKNOWN in
 *   an IedClientError out-parameter.
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
