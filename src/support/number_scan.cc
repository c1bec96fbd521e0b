// SPDX-License-Identifier: MIT
#include "support/number_scan.h"

#include <climits>
#include <limits>

namespace qx {

void SkipWhiteSpace(FILE* file) {
  int c;
  do c = std::getc(file);
  while (c != EOF && IsWhiteSpace(c));
  if (c != EOF) std::ungetc(c, file);
}

bool ScanDecimal(FILE* file, bool* negative, uint64_t* magnitude) {
  SkipWhiteSpace(file);
  int c = std::getc(file);
  *negative = false;
  if (c == '+' || c == '-') {
    *negative = c == '-';
    c = std::getc(file);
  }
  if (c < '0' || c > '9') {
    // The byte that is no digit stays for the next read, as scanf leaves it.
    if (c != EOF) std::ungetc(c, file);
    return false;
  }
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t value = 0;
  bool fits = true;
  for (; c >= '0' && c <= '9'; c = std::getc(file)) {
    const auto digit = static_cast<uint64_t>(c - '0');
    // Once past 64 bits the value stops growing: any number of digits is
    // read without overflow.
    if (fits && value > (kMax - digit) / 10) fits = false;
    if (fits) value = value * 10 + digit;
  }
  if (c != EOF) std::ungetc(c, file);
  *magnitude = value;
  return fits;
}

bool ScanInt(FILE* file, int* value) {
  bool negative = false;
  uint64_t magnitude = 0;
  if (!ScanDecimal(file, &negative, &magnitude)) return false;
  const uint64_t limit = negative ? uint64_t{INT_MAX} + 1 : uint64_t{INT_MAX};
  if (magnitude > limit) return false;
  *value = negative ? static_cast<int>(-static_cast<int64_t>(magnitude))
                    : static_cast<int>(magnitude);
  return true;
}

bool ScanWord64(FILE* file, uint64_t* value) {
  bool negative = false;
  uint64_t magnitude = 0;
  if (!ScanDecimal(file, &negative, &magnitude)) return false;
  if (negative && magnitude > uint64_t{1} << 63) return false;
  *value = negative ? uint64_t{0} - magnitude : magnitude;
  return true;
}

}  // namespace qx
