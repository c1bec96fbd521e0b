// SPDX-License-Identifier: MIT
// Bounded text composition shared by the whole library.
#ifndef QUARNEL_SRC_SUPPORT_FORMAT_H
#define QUARNEL_SRC_SUPPORT_FORMAT_H

#include <cstdarg>
#include <cstddef>

namespace qx {

// Formats into buf, which holds cap bytes (cap > 0). Never writes past the
// buffer: the result is always NUL-terminated. Returns true when the whole text
// fit, false when it was cut (or the format failed).
bool FormatTo(char* buf, size_t cap, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
bool VFormatTo(char* buf, size_t cap, const char* fmt, va_list ap);

// Copies text into buf (cap bytes) with a NUL; returns false when it was cut.
bool CopyTo(char* buf, size_t cap, const char* text);

}  // namespace qx

#endif
