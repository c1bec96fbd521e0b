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
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace varnost {

class TokenReader {
 public:
  static constexpr size_t kDefaultChunk = 1048576;

  // Reads `file` from its current position, `chunk` bytes at a time (at least
  // 1), and at most `limit` bytes in all.
  explicit TokenReader(FILE* file, size_t chunk = kDefaultChunk, uint64_t limit = UINT64_MAX);
  TokenReader(const TokenReader&) = delete;
  TokenReader& operator=(const TokenReader&) = delete;

  // False when the chunk buffer could not be allocated.
  bool ok() const { return buf_ != nullptr; }

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
  // Whether the 16 bytes at p are "0 0 0 0 0 0 0 0 ".
  static bool EightZeros(const char* p) {
    constexpr uint64_t kPattern =
        std::bit_cast<uint64_t>(std::array<char, 8>{'0', ' ', '0', ' ', '0', ' ', '0', ' '});
    uint64_t a, b;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 8, 8);
    return ((a ^ kPattern) | (b ^ kPattern)) == 0;
  }
  static bool IsSeparator(char c, bool newlineSeparates) {
    return c == ' ' || c == '\t' || (newlineSeparates && c == '\n');
  }
  // Reads the next chunk; false when the data has ended.
  bool Refill();
  // Marks the data as ended (a NUL byte, the end of the file or a read error).
  void Finish() {
    finished_ = true;
    p_ = end_;
  }

  FILE* file_;
  size_t chunk_;
  uint64_t left_;
  std::unique_ptr<char[]> buf_;
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
        // Runs of "0 " (most of a sparse matrix), 16 bytes at a time.
        uint64_t steps = std::min<uint64_t>((count - i) / 8, static_cast<uint64_t>(end - p) / 16);
        const char* q = p;
        while (steps > 0 && EightZeros(q)) {
          q += 16;
          --steps;
        }
        if (q != p) {
          i += static_cast<uint64_t>(q - p) / 2;
          p = q;
          continue;
        }
        if (end - p >= 2 && IsSeparator(p[1], true)) {
          p += 2;
          ++i;
          continue;
        }
      } else if (c >= '1' && c <= '9') {
        // Up to 9 digits cannot overflow 32 bits.
        const char* q = p + 1;
        int32_t v = c - '0';
        while (q != end && q - p < 9 && *q >= '0' && *q <= '9') v = v * 10 + (*q++ - '0');
        if (q != end && IsSeparator(*q, true)) {
          sink(i, v);
          ++i;
          p = q + 1;
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
