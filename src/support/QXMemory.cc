// SPDX-License-Identifier: MIT
// Memory helpers: zero-filled allocation, null-tolerant release, overlapping
// byte copy and validated handles.
#include "quarnel/QXMemory.h"

#include <cstdlib>
#include <cstring>

extern "C" {

void* QxCalloc(SqSize_t size) noexcept {
  // A zero-byte request still yields a distinct block, so null always means
  // exhaustion to the caller.
  return std::calloc(size == 0 ? 1 : size, 1);
}

void QxFree(void* ptr) noexcept { std::free(ptr); }

void TextTCpy(void* dest, SqSize_t length, const void* source) noexcept {
  if (length == 0) return;
  std::memmove(dest, source, length);
}

void QxTextTCpy(void* dest, SqSize_t length, const void* source) noexcept {
  TextTCpy(dest, length, source);
}

Handle NewHandle(Size byteCount) noexcept {
  if (byteCount < 0) return nullptr;
  auto record = static_cast<XHandle*>(QxCalloc(sizeof(XHandle)));
  if (record == nullptr) return nullptr;
  record->data = static_cast<Ptr>(QxCalloc(static_cast<SqSize_t>(byteCount)));
  if (record->data == nullptr) {
    QxFree(record);
    return nullptr;
  }
  record->rec = kQx_HandleValid;
  record->byteCount = byteCount;
  // data is the record's first field: the handle is the record's address seen
  // as a pointer to the block pointer.
  return &record->data;
}

void DisposeHandle(Handle h) noexcept {
  if (h == nullptr) std::abort();
  auto record = reinterpret_cast<XHandle*>(h);
  if (record->rec != kQx_HandleValid) std::abort();
  record->rec = 0;
  QxFree(record->data);
  QxFree(record);
}

}  // extern "C"
