// SPDX-License-Identifier: MIT
// One attribute value arriving as numbered CM pieces, joined back into the
// value the tool gave.
#ifndef QUARNEL_TOOLS_QXHOST_PIECE_SERIES_H
#define QUARNEL_TOOLS_QXHOST_PIECE_SERIES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qxhost {

// The pieces of one value, in order. The sender cuts the value into lines at
// its line feeds (which it does not send) and each line into pieces no longer
// than the budget, 235 bytes less the length of the command's head. The total
// size of the first piece counts the line feeds; Join puts them back where
// the pieces show that a line ended.
class PieceSeries {
 public:
  // The first piece: total is the value's byte length, budget the piece
  // budget of the command's head.
  PieceSeries(int64_t total, size_t budget) : total_(total), budget_(budget) {}

  // Adds the next piece.
  void Add(std::string_view piece);
  // The number the next piece must carry.
  long next_number() const { return static_cast<long>(ends_.size()) + 1; }
  // True when the pieces so far make the whole total without any line feed:
  // a value that fits one piece has no later piece.
  bool CompleteWithoutBreaks() const { return total_ == static_cast<int64_t>(joined_.size()); }

  // The value with its line feeds, or false when the pieces cannot make the
  // announced total.
  bool Join(std::string* value) const;

 private:
  int64_t total_;
  size_t budget_;
  std::string joined_;       // the pieces, back to back
  std::vector<size_t> ends_;  // end offset in joined_ of each piece
};

}  // namespace qxhost

#endif
