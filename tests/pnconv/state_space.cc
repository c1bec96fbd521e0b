// SPDX-License-Identifier: MIT
#include "state_space.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace pnconvtest {

namespace {

// Bits that hold `count` (at least one).
unsigned BitsFor(int64_t count) {
  return std::max(1u, static_cast<unsigned>(std::bit_width(static_cast<uint64_t>(count))));
}

// Where each place's count sits in a packed marking: `width` bits from bit
// `shift` of word `word`. A field never straddles two words, so that packing
// and unpacking are one shift and one mask each.
class Layout {
 public:
  explicit Layout(std::vector<unsigned> widths) : widths_(std::move(widths)) {
    fields_.resize(widths_.size());
    unsigned bit = 0;
    size_t word = 0;
    for (size_t p = 0; p < widths_.size(); ++p) {
      if (bit + widths_[p] > 64) {
        ++word;
        bit = 0;
      }
      fields_[p] = Field{word, bit, widths_[p] == 64 ? ~uint64_t{0} : (uint64_t{1} << widths_[p]) - 1};
      bit += widths_[p];
    }
    words_ = widths_.empty() ? 1 : word + 1;
  }
  size_t words() const { return words_; }
  const std::vector<unsigned>& widths() const { return widths_; }

  // Packs the marking into out[0..words()); false (out partly written) when
  // a count does not fit its field.
  bool Pack(const int64_t* marking, uint64_t* out) const {
    std::fill(out, out + words_, 0);
    const Field* f = fields_.data();
    for (const Field* end = f + fields_.size(); f != end; ++f, ++marking) {
      const uint64_t count = static_cast<uint64_t>(*marking);
      if ((count & ~f->mask) != 0) return false;
      out[f->word] |= count << f->shift;
    }
    return true;
  }
  void Unpack(const uint64_t* in, int64_t* marking) const {
    const Field* f = fields_.data();
    for (const Field* end = f + fields_.size(); f != end; ++f, ++marking) {
      *marking = static_cast<int64_t>((in[f->word] >> f->shift) & f->mask);
    }
  }

 private:
  struct Field {
    size_t word;
    unsigned shift;
    uint64_t mask;
  };
  std::vector<unsigned> widths_;
  std::vector<Field> fields_;
  size_t words_ = 1;
};

uint64_t Hash(const uint64_t* words, size_t n) {
  uint64_t h = 0x243F6A8885A308D3u;
  for (size_t i = 0; i < n; ++i) {
    h = (h ^ words[i]) * 0x9E3779B97F4A7C15u;
    h ^= h >> 29;
  }
  return h;
}

// The markings found, numbered in the order found (so that the walk's queue
// is a counter over them), each packed once into one array, and a table of
// their numbers by hash.
class MarkingStore {
 public:
  explicit MarkingStore(size_t places) : layout_(std::vector<unsigned>(places, 1)), slots_(1024, 0) {}

  size_t size() const { return count_; }

  void Get(size_t i, int64_t* marking) const { layout_.Unpack(&packed_[i * layout_.words()], marking); }

  // The number of the marking, which is stored when new (*added then says
  // so). Nothing is stored and kMaxStateLimit + 1 comes back when the store
  // holds `limit` markings already.
  uint64_t Insert(const int64_t* marking, uint64_t limit, bool* added) {
    *added = false;
    key_.resize(layout_.words());
    if (!layout_.Pack(marking, key_.data())) {
      Widen(marking);
      key_.resize(layout_.words());
      layout_.Pack(marking, key_.data());
    }
    const uint64_t hash = Hash(key_.data(), key_.size());
    const uint64_t tag = hash >> 32;
    const size_t mask = slots_.size() - 1;
    size_t at = static_cast<size_t>(tag) & mask;
    for (; slots_[at] != 0; at = (at + 1) & mask) {
      if ((slots_[at] >> 32) != tag) continue;
      const uint64_t i = (slots_[at] & 0xFFFFFFFFu) - 1;
      if (std::equal(key_.begin(), key_.end(), packed_.begin() + static_cast<ptrdiff_t>(i * key_.size()))) return i;
    }
    if (count_ >= limit) return kMaxStateLimit + 1;
    packed_.insert(packed_.end(), key_.begin(), key_.end());
    slots_[at] = tag << 32 | (count_ + 1);
    ++count_;
    *added = true;
    if (2 * count_ > slots_.size()) Rehash(slots_.size() * 2);
    return count_ - 1;
  }

 private:
  // Gives every place whose count the layout cannot hold a wider field (at
  // least twice as wide, so that a place that keeps growing is widened a few
  // times only) and packs every stored marking again.
  void Widen(const int64_t* marking) {
    std::vector<unsigned> widths = layout_.widths();
    for (size_t p = 0; p < widths.size(); ++p) {
      if (BitsFor(marking[p]) > widths[p]) widths[p] = std::max(BitsFor(marking[p]), std::min(64u, 2 * widths[p]));
    }
    Layout wider(std::move(widths));
    std::vector<uint64_t> repacked(count_ * wider.words());
    std::vector<int64_t> scratch(wider.widths().size());
    for (size_t i = 0; i < count_; ++i) {
      Get(i, scratch.data());
      wider.Pack(scratch.data(), &repacked[i * wider.words()]);
    }
    layout_ = std::move(wider);
    packed_ = std::move(repacked);
    Rehash(slots_.size());
  }

  // Rebuilds the table with `size` slots (a power of two) from the stored
  // markings.
  void Rehash(size_t size) {
    slots_.assign(size, 0);
    const size_t mask = size - 1, words = layout_.words();
    for (size_t i = 0; i < count_; ++i) {
      const uint64_t tag = Hash(&packed_[i * words], words) >> 32;
      size_t at = static_cast<size_t>(tag) & mask;
      while (slots_[at] != 0) at = (at + 1) & mask;
      slots_[at] = tag << 32 | (i + 1);
    }
  }

  Layout layout_;
  std::vector<uint64_t> packed_;
  size_t count_ = 0;
  std::vector<uint64_t> slots_;  // tag << 32 | (number + 1); 0: free
  std::vector<uint64_t> key_;
};

// The input (or output) arcs of every transition in one array, walked with
// plain pointers: the walk's inner loop, which must stay quick under ASan
// without optimisation too, where every accessor is a call.
struct Arc {
  size_t place;
  int64_t weight;
};
class Arcs {
 public:
  Arcs(const netfmt::Net& net, bool inputs) {
    start_.reserve(static_cast<size_t>(net.transitions()) + 1);
    for (int t = 0; t < net.transitions(); ++t) {
      start_.push_back(arcs_.size());
      for (const auto& a : inputs ? net.inputs(t) : net.outputs(t)) {
        arcs_.push_back(Arc{static_cast<size_t>(a.place), static_cast<int64_t>(a.weight)});
      }
    }
    start_.push_back(arcs_.size());
  }
  // The first arc of transition t; of(t + 1) ends its arcs.
  const Arc* of(int t) const { return arcs_.data() + start_[static_cast<size_t>(t)]; }

 private:
  std::vector<size_t> start_;
  std::vector<Arc> arcs_;
};

}  // namespace

StateSpace Explore(const netfmt::Net& net, uint64_t limit) {
  limit = std::min(limit, kMaxStateLimit);
  StateSpace space;
  const size_t places = static_cast<size_t>(net.places());
  std::vector<int64_t> marking(places);
  for (size_t p = 0; p < places; ++p) marking[p] = net.tokens(static_cast<int>(p));

  MarkingStore store(places);
  // Counts a marking into the maxima when it is new; false when the store is
  // full or its total does not fit 64 bits.
  auto reach = [&](bool* full) {
    bool added = false;
    *full = store.Insert(marking.data(), limit, &added) > kMaxStateLimit;
    if (!added) return !*full;
    int64_t total = 0;
    for (const int64_t count : marking) {
      space.maxTokensInPlace = std::max(space.maxTokensInPlace, count);
      if (__builtin_add_overflow(total, count, &total)) return false;
    }
    space.maxTokensInMarking = std::max(space.maxTokensInMarking, total);
    return true;
  };
  auto finish = [&](StateSpace::End end) {
    space.end = end;
    space.states = store.size();
    return space;
  };

  bool full = false;
  if (limit == 0) return finish(StateSpace::End::kLimit);
  if (!reach(&full)) return finish(StateSpace::End::kOverflow);
  const Arcs in(net, true), out(net, false);
  int64_t* const m = marking.data();
  for (size_t next = 0; next < store.size(); ++next) {
    store.Get(next, m);
    for (int t = 0; t < net.transitions(); ++t) {
      const Arc* const inFirst = in.of(t);
      const Arc* const inEnd = in.of(t + 1);
      const Arc* a = inFirst;
      while (a != inEnd && m[a->place] >= a->weight) ++a;
      if (a != inEnd) continue;
      ++space.edges;
      // Fires t in place, then takes it back.
      for (a = inFirst; a != inEnd; ++a) m[a->place] -= a->weight;
      bool overflow = false;
      for (a = out.of(t); a != out.of(t + 1); ++a) overflow |= __builtin_add_overflow(m[a->place], a->weight, &m[a->place]);
      if (overflow) return finish(StateSpace::End::kOverflow);
      if (!reach(&full)) return finish(full ? StateSpace::End::kLimit : StateSpace::End::kOverflow);
      for (a = out.of(t); a != out.of(t + 1); ++a) m[a->place] -= a->weight;
      for (a = inFirst; a != inEnd; ++a) m[a->place] += a->weight;
    }
  }
  return finish(StateSpace::End::kComplete);
}

std::string Describe(const StateSpace& space) {
  if (space.end != StateSpace::End::kComplete) {
    return (space.end == StateSpace::End::kLimit ? "limit " : "overflow ") + std::to_string(space.states);
  }
  return "complete " + std::to_string(space.states) + " " + std::to_string(space.edges) + " " +
         std::to_string(space.maxTokensInPlace) + " " + std::to_string(space.maxTokensInMarking);
}

}  // namespace pnconvtest
