// SPDX-License-Identifier: MIT
// A set of colours of one sort that only grows: a bit per colour for sorts
// of up to 2^16 colours (8 kB a set, however few it holds), a hash set
// beyond; its members in the order they came.
#ifndef NETFMT_SYMMETRIC_COLOUR_SET_H
#define NETFMT_SYMMETRIC_COLOUR_SET_H

#include <unordered_set>
#include <vector>

#include "sorts.h"

namespace netfmt::symmetric {

class ColourSet {
 public:
  explicit ColourSet(uint64_t size) : dense_(size <= (uint64_t{1} << 16)) {
    if (dense_) bits_.assign((size + 63) / 64, 0);
  }
  // True when c was not in the set.
  bool Insert(Colour c) {
    if (dense_) {
      uint64_t& word = bits_[c / 64];
      const uint64_t bit = uint64_t{1} << (c % 64);
      if ((word & bit) != 0) return false;
      word |= bit;
    } else if (!sparse_.insert(c).second) {
      return false;
    }
    members_.push_back(c);
    return true;
  }
  bool Has(Colour c) const { return dense_ ? (bits_[c / 64] >> (c % 64) & 1) != 0 : sparse_.count(c) != 0; }
  const std::vector<Colour>& members() const { return members_; }
  size_t size() const { return members_.size(); }

 private:
  bool dense_;
  std::vector<uint64_t> bits_;
  std::unordered_set<Colour> sparse_;
  std::vector<Colour> members_;
};

}  // namespace netfmt::symmetric

#endif
