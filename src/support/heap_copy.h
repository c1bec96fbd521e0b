// SPDX-License-Identifier: MIT
// The library's one copy of a string onto the heap.
#ifndef QUARNEL_SRC_SUPPORT_HEAP_COPY_H
#define QUARNEL_SRC_SUPPORT_HEAP_COPY_H

#include <cstddef>

namespace qx {

// A QxCalloc block holding text, its NUL and spare further zero bytes (room
// for the caller to extend the text in place); null when memory is exhausted,
// which the caller reports. The block lives until QxFree or the end of the
// process.
char* HeapCopy(const char* text, size_t spare = 0) noexcept;

}  // namespace qx

#endif
