// SPDX-License-Identifier: MIT
/* Memory helpers: zero-filled allocation, null-tolerant release, overlapping
 * byte copy and validated handles.
 *
 * QxCalloc and NewHandle report exhaustion by a null result only; the caller
 * reports kQx_MemFullErr. DisposeHandle on an invalid handle ends the process
 * (abort). */
#ifndef QUARNEL_QXMEMORY_H
#define QUARNEL_QXMEMORY_H

#include "quarnel/SqTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Value of XHandle.rec while the handle is valid. */
enum { kQx_HandleValid = 0xBC98B8 };

typedef struct XHandle {
  Ptr data;        /* the zero-filled block */
  int32_t rec;     /* kQx_HandleValid while valid, 0 once disposed */
  Size byteCount;  /* the block's size in bytes, as requested */
} XHandle;

/* A handle points at the record, whose first field points at the block:
 * dereferencing a handle once yields the block. */
typedef Ptr* Handle;

QX_API void* QxCalloc(SqSize_t size) QX_NOEXCEPT;
QX_API void QxFree(void* ptr) QX_NOEXCEPT;
QX_API void TextTCpy(void* dest, SqSize_t length, const void* source) QX_NOEXCEPT;
QX_API void QxTextTCpy(void* dest, SqSize_t length, const void* source) QX_NOEXCEPT;
QX_API Handle NewHandle(Size byteCount) QX_NOEXCEPT;
QX_API void DisposeHandle(Handle h) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
