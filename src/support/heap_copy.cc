// SPDX-License-Identifier: MIT
#include "support/heap_copy.h"

#include <cstring>

#include "quarnel/QXMemory.h"

namespace qx {

char* HeapCopy(const char* text, size_t spare) noexcept {
  const size_t length = std::strlen(text);
  auto* copy = static_cast<char*>(QxCalloc(length + 1 + spare));
  if (copy != nullptr) std::memcpy(copy, text, length);
  return copy;
}

}  // namespace qx
