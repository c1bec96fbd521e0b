// SPDX-License-Identifier: MIT
/* Shared types of the Quarnel tool library.
 *
 * Conventions for every header of the library:
 * - Operations never raise into their caller: they report failures through the
 *   process-wide error code g_qxErrno (QXErrors.h, read with QxErrno()) and,
 *   with few exceptions, a trace line "Qx <Operation>:<condition>" (QxTrace).
 *   Each is declared QX_NOEXCEPT (SqTypes.h), except QxExit, which returns to
 *   main by a private exception, and the list walks ParcoursListe and
 *   ParcoursInverse, which let through what the caller's callback throws.
 * - What the library allocates for the run lives until the process ends unless
 *   an operation says who frees it.
 * - Strings are NUL-terminated byte strings. Usable from C and C++. */
#ifndef QUARNEL_QXTYPES_H
#define QUARNEL_QXTYPES_H

#include <stddef.h>
#include <stdint.h>

#include "quarnel/SqTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t QxBoolean;
enum { kQx_False = 0, kQx_True = 1 };

typedef int64_t QxSLong;   /* signed 64-bit */
typedef uint64_t QxULong;  /* unsigned 64-bit */
typedef int16_t QxSShort;  /* signed 16-bit */
typedef void* QxPtr;
typedef const void* QxConstPtr;
typedef char* QxISOStr;
typedef const char* QxConstISOStr;

/* How a tool's service ends; main turns it into the exit status. */
typedef enum {
  kQx_EndNoProblem = 1,
  kQx_EndOnWarning = 2,
  kQx_EndOnError = 3
} QxEndStatus;

/* Object number of a node or edge of a model; 0 means no object. */
typedef QxULong QxObjectID;
typedef QxConstISOStr QxConstAttributeName;

#ifdef __cplusplus
}
#endif

#endif
