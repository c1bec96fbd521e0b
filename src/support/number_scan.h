// SPDX-License-Identifier: MIT
// Reading integers from a stream as the integer conversions of scanf ("%d",
// "%ld") read them: white space, an optional sign, then every decimal digit
// that follows, however many (leading zeros included); the byte after the
// digits is left unread. Where scanf would store a value that does not fit its
// type wrapped or clamped, these refuse it: an out-of-range number is no
// number.
#ifndef QUARNEL_SRC_SUPPORT_NUMBER_SCAN_H
#define QUARNEL_SRC_SUPPORT_NUMBER_SCAN_H

#include <cstdint>
#include <cstdio>

namespace qx {

// The white space of the C locale.
inline bool IsWhiteSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips white space; the next read starts at the first other byte.
void SkipWhiteSpace(FILE* file);

// The next number as sign and magnitude. False when no digit follows (or at
// the end of the file), or when the magnitude does not fit 64 bits (its digits
// are consumed all the same).
bool ScanDecimal(FILE* file, bool* negative, uint64_t* magnitude);

// The next number as an int; false as ScanDecimal, or when it does not fit.
bool ScanInt(FILE* file, int* value);

// The next number as a 64-bit word, as "%ld" stores it in an unsigned field:
// any value of the signed or the unsigned 64-bit range, a negative one taken
// modulo 2^64 (-1 is the all-ones word). False as ScanDecimal, or when the
// value is outside both ranges.
bool ScanWord64(FILE* file, uint64_t* value);

}  // namespace qx

#endif
