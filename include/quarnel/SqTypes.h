// SPDX-License-Identifier: MIT
/* Basic types of the support library (generic list, memory helpers).
 *
 * Usable from C and C++. */
#ifndef QUARNEL_SQTYPES_H
#define QUARNEL_SQTYPES_H

#include <stddef.h>
#include <stdint.h>

#include "quarnel/QXExport.h"

/* Marks every library operation that never lets an exception out: noexcept
 * for C++ callers, nothing for C. */
#ifdef __cplusplus
#define QX_NOEXCEPT noexcept
#else
#define QX_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef size_t SqSize_t;        /* unsigned size */
typedef unsigned char Boolean;  /* 0 false, 1 true */
typedef unsigned char* Ptr;     /* byte pointer */
typedef int64_t Size;           /* signed byte count */

#ifdef __cplusplus
}
#endif

#endif
