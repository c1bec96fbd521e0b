// SPDX-License-Identifier: MIT
#include "token_reader.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <new>

#if defined(__SSE2__) && defined(__x86_64__) && __has_include(<sys/platform/x86.h>)
#include <immintrin.h>
// The header is C: it spells the boolean type _Bool, which g++ takes as an
// extension and clang++ does not.
#if defined(__clang__)
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
#define VARNOST_WIDE_ZEROS 1
#endif

namespace varnost {

namespace {

constexpr uint64_t kAlign = 64;

#if VARNOST_WIDE_ZEROS
// 64 bytes a turn: the run ends in the first 32-byte half that differs.
__attribute__((target("avx2"))) uint64_t LongZeroPairsAvx2(const char* p, const char* end,
                                                            uint64_t maxPairs) {
  const __m256i pattern = _mm256_set1_epi16(static_cast<short>(0x2030));
  uint64_t pairs = 0;
  while (maxPairs - pairs >= 32 && end - p >= 64) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const __m256i same = _mm256_and_si256(_mm256_cmpeq_epi8(a, pattern), _mm256_cmpeq_epi8(b, pattern));
    if (static_cast<unsigned>(_mm256_movemask_epi8(same)) != 0xFFFFFFFFu) break;
    p += 64;
    pairs += 32;
  }
  while (maxPairs - pairs >= 16 && end - p >= 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const unsigned same = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, pattern)));
    if (same != 0xFFFFFFFFu) return pairs + static_cast<unsigned>(std::countr_one(same)) / 2;
    p += 32;
    pairs += 16;
  }
  return pairs + ZeroPairsTail(p, end, maxPairs - pairs);
}
#endif

}  // namespace

uint64_t LongZeroPairs(const char* p, const char* end, uint64_t maxPairs) {
#if VARNOST_WIDE_ZEROS
  // The C library's record of the processor, made when the program started:
  // asking the processor again costs more than a small net takes to read.
  static const bool avx2 = CPU_FEATURE_ACTIVE(AVX2);
  if (avx2) return LongZeroPairsAvx2(p, end, maxPairs);
#endif
  return ZeroPairsTail(p, end, maxPairs);
}

TokenReader::TokenReader(FILE* file, size_t chunk, uint64_t limit)
    : file_(file), chunk_(std::max<size_t>(chunk, 1)), left_(limit),
      storage_(new (std::nothrow) char[std::max<size_t>(chunk, 1) + 2 * kAlign]) {
  if (storage_ == nullptr) return;
  buf_ = storage_.get() + (kAlign - reinterpret_cast<uintptr_t>(storage_.get()) % kAlign) % kAlign;
  p_ = buf_;
  end_ = buf_;
  // A regular file is read by position from the stream's logical position;
  // the stream itself is no longer used.
  const int fd = file != nullptr ? fileno(file) : -1;
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
  const long position = std::ftell(file);
  if (position < 0) return;
  fd_ = fd;
  positional_ = true;
  fileOffset_ = static_cast<uint64_t>(position);
}

void TokenReader::Seek(uint64_t offset) {
  fileOffset_ = offset;
  p_ = end_ = buf_;
  finished_ = false;
}

bool TokenReader::Refill() {
  if (finished_ || buf_ == nullptr) return false;
  size_t got = 0;
  if (positional_) {
    // The chunk starts at the same offset within 64 bytes as the data in the
    // file: buf_ has room for chunk_ + kAlign bytes.
    char* const at = buf_ + fileOffset_ % kAlign;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk_, left_));
    ssize_t n;
    do {
      n = want == 0 ? 0 : pread(fd_, at, want, static_cast<off_t>(fileOffset_));
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
      got = static_cast<size_t>(n);
      p_ = at;
      fileOffset_ += got;
    }
  } else {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk_, left_));
    got = want == 0 ? 0 : std::fread(buf_, 1, want, file_);
    p_ = buf_;
  }
  if (got == 0) {
    // End of file, the byte limit, or a read error: the data ends here.
    Finish();
    return false;
  }
  left_ -= got;
  end_ = p_ + got;
  return true;
}

bool TokenReader::NextToken(bool newlineSeparates) {
  for (;;) {
    if (p_ == end_) {
      if (!Refill()) return false;
      continue;
    }
    const char c = *p_;
    if (IsTokenSeparator(c, newlineSeparates)) {
      ++p_;
      continue;
    }
    if (c == '\0') {
      Finish();
      return false;
    }
    return true;
  }
}

bool TokenReader::TakeValue(bool newlineSeparates, int32_t* value) {
  TokenValue token;
  for (;;) {
    if (p_ == end_) {
      if (!Refill()) break;
      continue;
    }
    const char c = *p_;
    if (IsTokenSeparator(c, newlineSeparates)) {
      ++p_;
      break;
    }
    if (c == '\0') {
      Finish();
      break;
    }
    ++p_;
    token.Feed(c);
  }
  return token.Get(value);
}

}  // namespace varnost
