// SPDX-License-Identifier: MIT
#include "support/format.h"

#include <cstdio>
#include <cstring>

namespace qx {

bool VFormatTo(char* buf, size_t cap, const char* fmt, va_list ap) {
  if (cap == 0) return false;
  int n = std::vsnprintf(buf, cap, fmt, ap);
  if (n < 0) {
    buf[0] = '\0';
    return false;
  }
  return static_cast<size_t>(n) < cap;
}

bool FormatTo(char* buf, size_t cap, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  bool fit = VFormatTo(buf, cap, fmt, ap);
  va_end(ap);
  return fit;
}

bool CopyTo(char* buf, size_t cap, const char* text) {
  if (cap == 0) return false;
  size_t len = std::strlen(text);
  bool fit = len < cap;
  size_t n = fit ? len : cap - 1;
  std::memcpy(buf, text, n);
  buf[n] = '\0';
  return fit;
}

}  // namespace qx
