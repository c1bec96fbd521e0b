#include "piece_series.h"

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

PieceSeries::After PieceSeries::Follows(size_t i) const {
  const size_t start = i == 0 ? 0 : ends_[i - 1];
  const size_t length = ends_[i] - start;
  // The last piece of a line is shorter than the budget.
  if (length >= budget_) return After::kSameLine;
  // Cut inside a line, the piece came from a chunk of the whole budget that
  // the line still held, and is what the sender cuts from that chunk.
  const bool cut_inside = start + budget_ <= joined_.size() &&
                          PieceLength(std::string_view(joined_).substr(start, budget_)) == length;
  return cut_inside ? After::kEither : After::kLineEnd;
}

bool PieceSeries::Join(std::string* value) const {
  const int64_t feeds = total_ - static_cast<int64_t>(joined_.size());
  if (feeds < 0 || ends_.empty()) return false;
  std::vector<After> after(ends_.size() - 1);
  int64_t forced = 0;
  int64_t either = 0;
  for (size_t i = 0; i + 1 < ends_.size(); ++i) {
    after[i] = Follows(i);
    forced += after[i] == After::kLineEnd;
    either += after[i] == After::kEither;
  }
  // Where the pieces alone cannot tell, the first boundaries that may end a
  // line take the line feeds still to be placed.
  int64_t optional = feeds - forced;
  if (optional < 0 || optional > either) return false;
  value->clear();
  value->reserve(static_cast<size_t>(total_));
  size_t start = 0;
  for (size_t i = 0; i < ends_.size(); ++i) {
    value->append(joined_, start, ends_[i] - start);
    start = ends_[i];
    if (i + 1 == ends_.size()) break;
    if (after[i] == After::kLineEnd || (after[i] == After::kEither && optional-- > 0))
      value->push_back('\n');
  }
  return true;
}

}  // namespace qxhost
