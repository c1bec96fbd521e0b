// SPDX-License-Identifier: MIT
#include "piece_series.h"

#include <algorithm>
#include <cstdint>

namespace qxhost {

namespace {

// The sender's cut characters, most preferred first.
constexpr std::string_view kCutCharacters = " -+,.;:";

// Length of the piece the sender takes from the start of chunk: up to and
// including the last occurrence of the most preferred cut character present,
// or the whole chunk when it holds none.
size_t PieceLength(std::string_view chunk) {
  for (char cut : kCutCharacters) {
    const size_t at = chunk.rfind(cut);
    if (at != std::string_view::npos) return at + 1;
  }
  return chunk.size();
}

}  // namespace

void PieceSeries::Add(std::string_view piece) {
  joined_.append(piece);
  ends_.push_back(joined_.size());
}

// The sender cuts a line thus: while at least the budget is left, it takes the
// piece PieceLength gives for the next budget bytes; the rest, shorter than
// the budget (perhaps empty), is the line's last piece. So pieces j..m are one
// line exactly when piece m is shorter than the budget, the last two together
// reach the budget, and each piece before m is what PieceLength cuts from the
// budget bytes that begin with it. The value is rebuilt with a division into
// such lines whose count is the number of line feeds plus one. Where several
// fit, the commands are the same for each, and the one with the longest lines
// first is taken: a line seldom ends with the cut character a cut leaves.
bool PieceSeries::Join(std::string* value) const {
  const int64_t feeds = total_ - static_cast<int64_t>(joined_.size());
  const size_t n = ends_.size();
  if (feeds < 0 || n == 0 || feeds >= static_cast<int64_t>(n)) return false;
  const auto start = [&](size_t i) { return i == 0 ? 0 : ends_[i - 1]; };
  const auto length = [&](size_t i) { return ends_[i] - start(i); };
  // A piece that may be followed by more of its line.
  std::vector<bool> mid(n);
  for (size_t i = 0; i < n; ++i) {
    mid[i] = start(i) + budget_ <= joined_.size() &&
             PieceLength(std::string_view(joined_).substr(start(i), budget_)) == length(i);
  }
  // Calls visit(m) for each m such that pieces j..m can be one line.
  const auto each_line_end = [&](size_t j, auto visit) {
    for (size_t m = j; m < n; ++m) {
      if (length(m) < budget_ && (m == j || length(m - 1) + length(m) >= budget_)) visit(m);
      if (!mid[m]) return;
    }
  };
  // The fewest and most lines pieces j.. can form (fewest > most: none).
  std::vector<int64_t> fewest(n + 1, INT64_MAX), most(n + 1, -1);
  fewest[n] = most[n] = 0;
  for (size_t j = n; j-- > 0;) {
    each_line_end(j, [&](size_t m) {
      if (fewest[m + 1] > most[m + 1]) return;
      fewest[j] = std::min(fewest[j], fewest[m + 1] + 1);
      most[j] = std::max(most[j], most[m + 1] + 1);
    });
  }
  value->clear();
  value->reserve(static_cast<size_t>(total_));
  int64_t lines = feeds + 1;
  for (size_t j = 0; j < n;) {
    size_t end = n;
    each_line_end(j, [&](size_t m) {
      if (fewest[m + 1] <= lines - 1 && most[m + 1] >= lines - 1) end = m;
    });
    if (end == n) return false;
    value->append(joined_, start(j), ends_[end] - start(j));
    if (end + 1 < n) value->push_back('\n');
    --lines;
    j = end + 1;
  }
  return lines == 0;
}

}  // namespace qxhost
