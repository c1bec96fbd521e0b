// SPDX-License-Identifier: MIT
// Tokens of a matrix file, read in large chunks.
//
// A token is a run of bytes between separators; its value follows the rules of
// strtol with base 10: leading white space inside the token is skipped, then an
// optional sign and digits are read and the rest of the token is ignored (a
// token that does not start with a number reads as 0, "3x" reads as 3). Two
// separator sets are used: " \t\n", and " \t" for the later values of the
// marking, whose tokens may therefore hold newlines. As with strtok, the
// separator that ends a token belongs to it: the next search starts after it.
//
// The data is the file from its current position to its end or to its first
// NUL byte. Chunk boundaries are invisible: a token cut by a boundary is
// joined, and a chunk of separators alone does not end the data, so a file
// reads exactly as if it were read in one piece.
#ifndef VARNOST_TOKEN_READER_H
#define VARNOST_TOKEN_READER_H

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnost {

inline bool IsTokenSeparator(char c, bool newlineSeparates) {
  return c == ' ' || c == '\t' || (newlineSeparates && c == '\n');
}

// The value of one token, fed byte by byte (separators excluded): strtol's
// rules, with magnitudes tracked up to 2^31 + 1, enough to tell every 32-bit
// value from the first one out of range whatever the number of digits.
class TokenValue {
 public:
  void Feed(char c) {
    const bool digit = c >= '0' && c <= '9';
    switch (state_) {
      case kLeadingSpace:
        // White space that is not a separator here (\r \v \f, and \n among the
        // marking values) is skipped as strtol does.
        if (c == '\n' || c == '\r' || c == '\v' || c == '\f') return;
        if (c == '+' || c == '-') {
          negative_ = c == '-';
          state_ = kDigitsStart;
          return;
        }
        [[fallthrough]];
      case kDigitsStart:
      case kDigits:
        if (digit) {
          magnitude_ = std::min(magnitude_ * 10 + static_cast<uint64_t>(c - '0'), kCap + 1);
          state_ = kDigits;
        } else {
          state_ = kRest;
        }
        return;
      case kRest:
        return;
    }
  }
  // False when the value does not fit a signed 32-bit integer.
  bool Get(int32_t* value) const {
    if (negative_) {
      if (magnitude_ > kCap) return false;
      *value = static_cast<int32_t>(-static_cast<int64_t>(magnitude_));
    } else {
      if (magnitude_ > kCap - 1) return false;
      *value = static_cast<int32_t>(magnitude_);
    }
    return true;
  }

 private:
  static constexpr uint64_t kCap = uint64_t{1} << 31;
  enum { kLeadingSpace, kDigitsStart, kDigits, kRest } state_ = kLeadingSpace;
  bool negative_ = false;
  uint64_t magnitude_ = 0;
};

// LongZeroPairs for runs of zeros: the widest vectors the processor has.
// Out of line, so that the short runs of denser matrices pay no call.
uint64_t LongZeroPairs(const char* p, const char* end, uint64_t maxPairs);

// ZeroPairs, and with kHandOver false ZeroPairsTail, which never hands over.
template <bool kHandOver>
inline uint64_t CountZeroPairs(const char* p, const char* end, uint64_t maxPairs) {
  uint64_t pairs = 0;
#if defined(__SSE2__)
  const __m128i pattern = _mm_set1_epi16(static_cast<short>(0x2030));  // "0 " in memory order
  for (int inLine = 0; maxPairs - pairs >= 8 && end - p >= 16; ++inLine) {
    // A run this long is likely a long one.
    if (kHandOver && inLine == 4) return pairs + LongZeroPairs(p, end, maxPairs - pairs);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, pattern)));
    if (same != 0xFFFF) return pairs + static_cast<unsigned>(std::countr_one(same)) / 2;
    p += 16;
    pairs += 8;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kPattern = 0x2030203020302030ULL;
    while (maxPairs - pairs >= 4 && end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      const uint64_t diff = word ^ kPattern;
      if (diff != 0) return pairs + static_cast<unsigned>(std::countr_zero(diff)) / 16;
      p += 8;
      pairs += 4;
    }
  }
  while (pairs < maxPairs && end - p >= 2 && p[0] == '0' && p[1] == ' ') {
    p += 2;
    ++pairs;
  }
  return pairs;
}

// The number of "0 " pairs (zero tokens, each ended by a blank) at p, at most
// maxPairs, reading no byte at or past end. Most of a sparse matrix is such
// pairs: they are compared a vector register or a machine word at a time.
inline uint64_t ZeroPairs(const char* p, const char* end, uint64_t maxPairs) {
  return CountZeroPairs<true>(p, end, maxPairs);
}
inline uint64_t ZeroPairsTail(const char* p, const char* end, uint64_t maxPairs) {
  return CountZeroPairs<false>(p, end, maxPairs);
}

// The number of one-digit positive values, each ended by a separator of
// " \t\n" ("7 ", "3\n"), at p, at most maxValues, reading no byte at or past
// end. Dense matrices of small weights are mostly such values: they are
// recognised eight at a time.
inline uint64_t OneDigitValues(const char* p, const char* end, uint64_t maxValues) {
  uint64_t n = 0;
#if defined(__SSE2__)
  while (maxValues - n >= 8 && end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0')),
                                        _mm_cmplt_epi8(v, _mm_set1_epi8(':')));
    const __m128i separator =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                     _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
    // Bit 2i: a digit at 2i; bit 2i + 1: a separator after it.
    const unsigned good = (static_cast<unsigned>(_mm_movemask_epi8(digit)) & 0x5555u) |
                          (static_cast<unsigned>(_mm_movemask_epi8(separator)) & 0xAAAAu);
    if (good != 0xFFFFu) return n + static_cast<unsigned>(std::countr_one(good)) / 2;
    p += 16;
    n += 8;
  }
#endif
  while (n < maxValues && end - p >= 2 && p[0] >= '1' && p[0] <= '9' && IsTokenSeparator(p[1], true)) {
    p += 2;
    ++n;
  }
  return n;
}

// A token of one to nine digits, the first not 0, ended by a separator of
// " \t\n" before end (nine digits cannot overflow 32 bits): stores its value
// and returns the byte after that separator. Null for any other token.
inline const char* ShortNumber(const char* p, const char* end, int32_t* value) {
  if (*p < '1' || *p > '9') return nullptr;
  const char* q = p + 1;
  int32_t v = *p - '0';
  while (q != end && q - p < 9 && *q >= '0' && *q <= '9') v = v * 10 + (*q++ - '0');
  if (q == end || !IsTokenSeparator(*q, true)) return nullptr;
  *value = v;
  return q + 1;
}

class TokenReader {
 public:
  static constexpr size_t kDefaultChunk = 1048576;

  // Reads `file` from its current position, `chunk` bytes at a time (at least
  // 1), and at most `limit` bytes in all. A regular file is read by position
  // from its descriptor, into buffer addresses that share the alignment of
  // the file offsets (copies from the page cache are several times slower
  // otherwise); any other file through the stream.
  explicit TokenReader(FILE* file, size_t chunk = kDefaultChunk, uint64_t limit = UINT64_MAX);
  TokenReader(const TokenReader&) = delete;
  TokenReader& operator=(const TokenReader&) = delete;

  // False when the chunk buffer could not be allocated.
  bool ok() const { return buf_ != nullptr; }

  // Whether the file is read by position: Offset and Seek are then usable.
  bool positional() const { return positional_; }
  int fd() const { return fd_; }
  // The file offset of the next byte to read.
  uint64_t Offset() const { return fileOffset_ - static_cast<uint64_t>(end_ - p_); }
  // REQUIRES: positional(). Goes on reading at `offset`.
  void Seek(uint64_t offset);

  // Moves to the start of the next token, skipping separators (" \t\n", or
  // " \t" when newlineSeparates is false). False when the data has ended.
  bool NextToken(bool newlineSeparates);

  // REQUIRES: NextToken returned true. Converts the token and moves past it and
  // the separator that ends it (same separator set). False when the value does
  // not fit a signed 32-bit integer; the token is consumed all the same.
  bool TakeValue(bool newlineSeparates, int32_t* value);

  // Takes up to `count` tokens with the separators " \t\n" and calls
  // sink(index, value) for every value that is not 0, index counting from 0.
  // Returns the number of tokens taken: fewer than `count` when the data ended,
  // or when a value did not fit (then *outOfRange is set and the result is the
  // index of that value).
  template <class Sink>
  uint64_t TakeValues(uint64_t count, bool* outOfRange, Sink&& sink);

 private:
  // Reads the next chunk; false when the data has ended.
  bool Refill();
  // Marks the data as ended (a NUL byte, the end of the file or a read error).
  void Finish() {
    finished_ = true;
    p_ = end_;
  }

  FILE* file_;
  int fd_ = -1;
  bool positional_ = false;
  size_t chunk_;
  uint64_t left_;
  uint64_t fileOffset_ = 0;  // offset of end_ (positional reading)
  std::unique_ptr<char[]> storage_;
  char* buf_ = nullptr;  // storage_ aligned to 64 bytes
  const char* p_ = nullptr;
  const char* end_ = nullptr;
  bool finished_ = false;
};

template <class Sink>
uint64_t TokenReader::TakeValues(uint64_t count, bool* outOfRange, Sink&& sink) {
  *outOfRange = false;
  uint64_t i = 0;
  while (i < count) {
    // The common tokens ("0" and short positive numbers followed by a
    // separator inside the current chunk) are taken here without a call; all
    // the others, and those that touch the end of the chunk, by TakeValue.
    const char* p = p_;
    const char* const end = end_;
    while (i < count && p != end) {
      const char c = *p;
      if (c == ' ' || c == '\n' || c == '\t') {
        ++p;
        continue;
      }
      if (c == '0') {
        const uint64_t pairs = ZeroPairs(p, end, count - i);
        if (pairs > 0) {
          i += pairs;
          p += 2 * pairs;
          continue;
        }
        if (end - p >= 2 && IsTokenSeparator(p[1], true)) {
          p += 2;
          ++i;
          continue;
        }
      } else if (c >= '1' && c <= '9') {
        int32_t v = 0;
        if (const char* next = ShortNumber(p, end, &v)) {
          sink(i, v);
          ++i;
          p = next;
          continue;
        }
      } else if (c == '\0') {
        Finish();
        return i;
      }
      break;
    }
    p_ = p;
    if (i == count) break;
    if (!NextToken(true)) break;
    if (p_ == p) {
      // A token that the fast path could not take, inside the chunk or cut by
      // its end.
      int32_t v = 0;
      if (!TakeValue(true, &v)) {
        *outOfRange = true;
        return i;
      }
      if (v != 0) sink(i, v);
      ++i;
    }
  }
  return i;
}

}  // namespace varnost

#endif
