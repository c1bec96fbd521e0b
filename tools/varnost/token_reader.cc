#include "token_reader.h"

#include <algorithm>
#include <new>

namespace varnost {

TokenReader::TokenReader(FILE* file, size_t chunk, uint64_t limit)
    : file_(file), chunk_(std::max<size_t>(chunk, 1)), left_(limit),
      buf_(new (std::nothrow) char[std::max<size_t>(chunk, 1)]) {
  if (buf_ != nullptr) {
    p_ = buf_.get();
    end_ = buf_.get();
  }
}

bool TokenReader::Refill() {
  if (finished_ || buf_ == nullptr) return false;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk_, left_));
  const size_t got = want == 0 ? 0 : std::fread(buf_.get(), 1, want, file_);
  if (got == 0) {
    // End of file, the byte limit, or a read error: the data ends here.
    Finish();
    return false;
  }
  left_ -= got;
  p_ = buf_.get();
  end_ = buf_.get() + got;
  return true;
}

bool TokenReader::NextToken(bool newlineSeparates) {
  for (;;) {
    if (p_ == end_) {
      if (!Refill()) return false;
      continue;
    }
    const char c = *p_;
    if (IsSeparator(c, newlineSeparates)) {
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
  // Magnitudes are tracked up to 2^31 + 1: enough to tell every 32-bit value
  // from the first one out of range, whatever the number of digits.
  constexpr uint64_t kCap = uint64_t{1} << 31;
  enum { kLeadingSpace, kDigitsStart, kDigits, kRest } state = kLeadingSpace;
  bool negative = false;
  uint64_t magnitude = 0;
  for (;;) {
    if (p_ == end_) {
      if (!Refill()) break;
      continue;
    }
    const char c = *p_;
    if (IsSeparator(c, newlineSeparates)) {
      ++p_;
      break;
    }
    if (c == '\0') {
      Finish();
      break;
    }
    ++p_;
    const bool digit = c >= '0' && c <= '9';
    switch (state) {
      case kLeadingSpace:
        // White space that is not a separator here (\r \v \f, and \n among the
        // marking values) is skipped as strtol does.
        if (c == '\n' || c == '\r' || c == '\v' || c == '\f') break;
        if (c == '+' || c == '-') {
          negative = c == '-';
          state = kDigitsStart;
          break;
        }
        [[fallthrough]];
      case kDigitsStart:
      case kDigits:
        if (digit) {
          magnitude = std::min(magnitude * 10 + static_cast<uint64_t>(c - '0'), kCap + 1);
          state = kDigits;
        } else {
          state = kRest;
        }
        break;
      case kRest:
        break;
    }
  }
  if (negative) {
    if (magnitude > kCap) return false;
    *value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  } else {
    if (magnitude > kCap - 1) return false;
    *value = static_cast<int32_t>(magnitude);
  }
  return true;
}

}  // namespace varnost
