// SPDX-License-Identifier: MIT
#include "net.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <utility>

namespace netfmt {

std::string Describe(const Problem& problem, std::string_view file) {
  std::string text(file);
  if (problem.where.line > 0) {
    text += ':';
    text += std::to_string(problem.where.line);
    if (problem.where.column > 0) {
      text += ':';
      text += std::to_string(problem.where.column);
    }
  }
  text += ": ";
  text += problem.message;
  return text;
}

namespace {

const char* KindWord(bool place) { return place ? "place" : "transition"; }

std::string Quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  out += text;
  out += '"';
  return out;
}

}  // namespace

NetBuilder::NetBuilder() : slots_(1024, Slot{}) {}

namespace {

// FNV-1a over the id's bytes, then a multiply-xorshift finish so that every
// byte reaches the low bits the table is indexed by: ids are short and
// mostly differ in their last digits (p1, p2, ...).
uint32_t HashOf(std::string_view id) {
  uint64_t h = 14695981039346656037ull;
  for (const char c : id) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  h ^= h >> 32;
  h *= 0xD6E8FEB86659FD93ull;
  h ^= h >> 32;
  return static_cast<uint32_t>(h);
}

}  // namespace

namespace {

// Open addressing, shared by the symbol table and the arc id table: a table's
// size is a power of two, `used` tells a taken slot from a free one, and a
// key's slot is sought from its hash on. This gives the first free slot.
template <typename Slot, typename Used>
size_t FreeSlot(const BigVector<Slot>& table, uint32_t hash, Used used) {
  const size_t mask = table.size() - 1;
  size_t i = hash & mask;
  while (used(table[i])) i = (i + 1) & mask;
  return i;
}

// The table at twice its size (and at least `least` slots), every used slot
// entered again.
template <typename Slot, typename Used, typename Hash>
void Grow(BigVector<Slot>& table, size_t least, Used used, Hash hash) {
  BigVector<Slot> bigger(std::max(least, table.size() * 2), Slot{});
  for (const Slot& slot : table) {
    if (used(slot)) bigger[FreeSlot(bigger, hash(slot), used)] = slot;
  }
  table.swap(bigger);
}

}  // namespace

NetBuilder::Key NetBuilder::KeyOf(std::string_view id) {
  Key key{id, HashOf(id), {}};
  // An empty view may have no data at all.
  if (!id.empty()) std::memcpy(key.head, id.data(), std::min(id.size(), kHead));
  return key;
}

uint32_t NetBuilder::Find(const Key& key) const {
  const size_t mask = slots_.size() - 1;
  const size_t size = key.id.size();
  for (size_t i = key.hash & mask; slots_[i].symbol != 0; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.hash == key.hash && slot.size == size && slot.head[0] == key.head[0] &&
        slot.head[1] == key.head[1] &&
        (size <= kHead || key.id.substr(kHead) == std::string_view(text_).substr(slot.offset + kHead, size - kHead))) {
      return slot.symbol - 1;
    }
  }
  return kNone;
}

uint32_t NetBuilder::Intern(std::string_view id) { return Intern(KeyOf(id)); }

void NetBuilder::Prefetch(const Key& key) const {
  __builtin_prefetch(&slots_[key.hash & (slots_.size() - 1)]);
}

uint32_t NetBuilder::Intern(const Key& key) {
  const std::string_view id = key.id;
  const uint32_t found = Find(key);
  if (found != kNone) return found;
  auto used = [](const Slot& slot) { return slot.symbol != 0; };
  const size_t i = FreeSlot(slots_, key.hash, used);
  // Offsets and counts are 32-bit: a net whose ids pass 4 GiB of text is
  // refused rather than wrapped.
  if (text_.size() + id.size() > UINT32_MAX || symbols_.size() >= UINT32_MAX / 4) return kNone;
  const uint32_t s = static_cast<uint32_t>(symbols_.size());
  symbols_.push_back(Symbol{static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(id.size()),
                            Kind::kUnknown, -1});
  text_.append(id);
  slots_[i] = Slot{s + 1, key.hash, symbols_[s].offset, symbols_[s].size, {key.head[0], key.head[1]}};
  // At most half full, so that probes stay short.
  if (symbols_.size() * 2 > slots_.size()) Grow(slots_, 0, used, [](const Slot& slot) { return slot.hash; });
  return s;
}

bool NetBuilder::Fail(std::string message, Where where) {
  problem_ = Problem{std::move(message), where};
  return false;
}

bool NetBuilder::Define(std::string_view id, Kind kind, int32_t index, Where where, uint32_t* symbol) {
  const Key key = KeyOf(id);
  const uint32_t s = Intern(key);
  if (s == kNone) return Fail("the net's ids are too large to hold", where);
  if (symbols_[s].kind != Kind::kUnknown || ArcIdTaken(key)) return Fail("duplicate id " + Quoted(id), where);
  symbols_[s].kind = kind;
  symbols_[s].index = index;
  *symbol = s;
  return true;
}

bool NetBuilder::AddPlace(std::string_view id, std::string_view name, int64_t tokens, Where where) {
  if (places_.size() >= INT_MAX / 2) return Fail("too many places", where);
  if (tokens < 0) return Fail("place " + Quoted(id) + ": " + std::to_string(tokens) + " tokens", where);
  uint32_t s = 0;
  if (!Define(id, Kind::kPlace, static_cast<int32_t>(places_.size()), where, &s)) return false;
  const Net::TextRef text{text_.size(), name.size()};
  text_.append(name);
  places_.push_back(Node{s, text, tokens});
  return true;
}

bool NetBuilder::AddTransition(std::string_view id, std::string_view name, Where where) {
  if (transitions_.size() >= INT_MAX / 2) return Fail("too many transitions", where);
  uint32_t s = 0;
  if (!Define(id, Kind::kTransition, static_cast<int32_t>(transitions_.size()), where, &s)) return false;
  const Net::TextRef text{text_.size(), name.size()};
  text_.append(name);
  transitions_.push_back(Node{s, text, 0});
  return true;
}

bool NetBuilder::AddReference(std::string_view id, std::string_view target, bool place, Where where) {
  uint32_t s = 0;
  if (!Define(id, Kind::kReference, static_cast<int32_t>(references_.size()), where, &s)) return false;
  const uint32_t t = Intern(target);
  if (t == kNone) return Fail("the net's ids are too large to hold", where);
  references_.push_back(Reference{s, t, place, where});
  return true;
}

bool NetBuilder::AddArc(std::string_view id, std::string_view source, std::string_view target,
                        int64_t weight, Where where) {
  // Arcs are numbered in 32 bits where their ids are checked.
  if (arcs_.size() >= UINT32_MAX) return Fail("too many arcs", where);
  if (weight < 1) {
    return Fail("the arc from " + Quoted(source) + " to " + Quoted(target) + " has the weight " +
                    std::to_string(weight) + ", below 1",
                where);
  }
  if (text_.size() + id.size() > UINT32_MAX || ends_.size() + source.size() + target.size() > UINT32_MAX) {
    return Fail("the net's ids are too large to hold", where);
  }
  // Ids are unique across nodes and arcs: the later of two is the repeat.
  const Key key = KeyOf(id);
  if (!id.empty()) {
    const uint32_t s = Find(key);
    if (s != kNone && symbols_[s].kind != Kind::kUnknown) return Fail("duplicate id " + Quoted(id), where);
  }
  const auto idOffset = static_cast<uint32_t>(text_.size());
  text_.append(id);
  const auto endOffset = static_cast<uint32_t>(ends_.size());
  ends_.append(source);
  ends_.append(target);
  const auto arc = static_cast<uint32_t>(arcs_.size());
  int32_t small = 0;
  if (!SmallWeight(weight, where, &small)) return false;
  arcs_.push_back(PendingArc{idOffset, static_cast<uint32_t>(id.size()), endOffset,
                             static_cast<uint32_t>(source.size()), static_cast<uint32_t>(target.size()), small,
                             where});
  if (!id.empty() && !TakeArcId(key, arc)) {
    return Fail("duplicate id " + Quoted(id), where);
  }
  return true;
}

bool NetBuilder::SmallWeight(int64_t weight, Where where, int32_t* small) {
  if (weight <= INT32_MAX) {
    *small = static_cast<int32_t>(weight);
    return true;
  }
  if (bigWeights_.size() >= INT32_MAX) return Fail("too many arcs of weight above " + std::to_string(INT32_MAX), where);
  *small = static_cast<int32_t>(-1 - static_cast<int64_t>(bigWeights_.size()));
  bigWeights_.push_back(weight);
  return true;
}

bool NetBuilder::AddArcBetween(uint32_t place, uint32_t transition, bool input, int64_t weight, Where where) {
  if (arcs_.size() >= UINT32_MAX) return Fail("too many arcs", where);
  if (place >= places_.size() || transition >= transitions_.size() || weight < 1) {
    return Fail("an arc between place " + std::to_string(place) + " and transition " + std::to_string(transition) +
                    " of weight " + std::to_string(weight) + ": no such nodes, or a weight below 1",
                where);
  }
  // Arcs given by their ends' texts before it are looked up first: those
  // from lookedUp_ on must all be such arcs.
  if (lookedUp_ != arcs_.size() && !LookUpArcs()) return false;
  int32_t small = 0;
  if (!SmallWeight(weight, where, &small)) return false;
  PendingArc arc{0, 0, 0, 0, 0, small, where};
  Place(arc, input, transition, place);
  arcs_.push_back(arc);
  lookedUp_ = arcs_.size();
  return true;
}

void NetBuilder::Place(PendingArc& arc, bool input, uint32_t transition, uint32_t place) {
  arc.ends = input ? kInput : kOutput;
  arc.source = transition;
  arc.target = place;
}

bool NetBuilder::LookUpArcs() {
  // End e is arc e / 2's source (even) or target (odd), counted from the
  // first arc not looked up. The slot of the end kAhead places on is fetched
  // before this end is looked up, so that up to kAhead cache misses are
  // under way at once. An end's key is made while both ends of its arc still
  // hold their sizes (kAhead ends before it is looked up); ends_ does not
  // change meanwhile, so the key's text stays.
  const size_t first = lookedUp_;
  auto endText = [&](size_t e) {
    const PendingArc& a = arcs_[first + e / 2];
    if (e % 2 == 0) return std::string_view(ends_).substr(a.ends, a.source);
    return std::string_view(ends_).substr(a.ends + a.source, a.target);
  };
  constexpr size_t kAhead = 16;
  Key ring[kAhead];
  const size_t ends = (arcs_.size() - first) * 2;
  for (size_t e = 0; e < std::min(ends, kAhead); ++e) {
    ring[e] = KeyOf(endText(e));
    Prefetch(ring[e]);
  }
  for (size_t e = 0; e < ends; ++e) {
    const Key key = ring[e % kAhead];
    if (e + kAhead < ends) {
      ring[e % kAhead] = KeyOf(endText(e + kAhead));
      Prefetch(ring[e % kAhead]);
    }
    const uint32_t s = Intern(key);
    PendingArc& a = arcs_[first + e / 2];
    if (s == kNone) return Fail("the net's ids are too large to hold", a.where);
    (e % 2 == 0 ? a.source : a.target) = s;
  }
  // An arc between a place and a transition known already is placed now;
  // the others (ends not yet defined, references) wait for Freeze.
  for (size_t k = first; k < arcs_.size(); ++k) {
    PendingArc& a = arcs_[k];
    const Symbol& from = symbols_[a.source];
    const Symbol& to = symbols_[a.target];
    if (from.kind == Kind::kPlace && to.kind == Kind::kTransition) {
      Place(a, true, static_cast<uint32_t>(to.index), static_cast<uint32_t>(from.index));
    } else if (from.kind == Kind::kTransition && to.kind == Kind::kPlace) {
      Place(a, false, static_cast<uint32_t>(from.index), static_cast<uint32_t>(to.index));
    } else {
      a.ends = kSymbols;
    }
  }
  lookedUp_ = arcs_.size();
  ends_.clear();
  return true;
}

bool NetBuilder::ArcIdTaken(const Key& key) const {
  if (arcIdCount_ == 0) return false;
  const size_t mask = arcIds_.size() - 1;
  for (size_t i = key.hash & mask; arcIds_[i] != 0; i = (i + 1) & mask) {
    const uint64_t slot = arcIds_[i];
    if (slot >> 32 != key.hash) continue;
    const PendingArc& a = arcs_[static_cast<uint32_t>(slot) - 1];
    if (std::string_view(text_).substr(a.idOffset, a.idSize) == key.id) return true;
  }
  return false;
}

bool NetBuilder::TakeArcId(const Key& key, uint32_t arc) {
  if (ArcIdTaken(key)) return false;
  auto used = [](uint64_t slot) { return slot != 0; };
  if ((arcIdCount_ + 1) * 2 > arcIds_.size()) {
    Grow(arcIds_, 1024, used, [](uint64_t slot) { return static_cast<uint32_t>(slot >> 32); });
  }
  arcIds_[FreeSlot(arcIds_, key.hash, used)] = uint64_t{key.hash} << 32 | (uint64_t{arc} + 1);
  ++arcIdCount_;
  return true;
}

bool NetBuilder::AddOtherId(std::string_view id, Where where) {
  uint32_t s = 0;
  return Define(id, Kind::kOther, 0, where, &s);
}

bool NetBuilder::Has(std::string_view id) const {
  const uint32_t s = Find(KeyOf(id));
  return s != kNone && symbols_[s].kind != Kind::kUnknown;
}

bool NetBuilder::Resolve(uint32_t s, int32_t* node, bool* place) {
  // A chain of references is followed at most once per reference: a longer
  // walk has met a reference twice, which is a cycle.
  size_t steps = 0;
  const uint32_t first = s;
  while (symbols_[s].kind == Kind::kReference) {
    const Reference& r = references_[static_cast<size_t>(symbols_[s].index)];
    if (++steps > references_.size()) {
      const Reference& start = references_[static_cast<size_t>(symbols_[first].index)];
      return Fail("reference " + Quoted(SymbolText(first)) + " is part of a cycle of references",
                  start.where);
    }
    s = r.target;
  }
  switch (symbols_[s].kind) {
    case Kind::kPlace:
      *place = true;
      break;
    case Kind::kTransition:
      *place = false;
      break;
    default:
      return false;
  }
  *node = symbols_[s].index;
  return true;
}

std::string NetBuilder::DescribeArc(const PendingArc& arc) const {
  if (arc.idSize > 0) return "arc " + std::string(std::string_view(text_).substr(arc.idOffset, arc.idSize));
  return "arc from " + std::string(SymbolText(arc.source)) + " to " + std::string(SymbolText(arc.target));
}

std::optional<Net> NetBuilder::Freeze() {
  // References first, each to the kind it promises.
  for (const Reference& r : references_) {
    int32_t node = 0;
    bool place = false;
    if (!Resolve(r.self, &node, &place)) {
      if (!problem_.message.empty()) return std::nullopt;
      Fail("reference " + Quoted(SymbolText(r.self)) + " names " + Quoted(SymbolText(r.target)) +
               ", which is not a node of the net",
           r.where);
      return std::nullopt;
    }
    if (place != r.place) {
      Fail(std::string("reference ") + KindWord(r.place) + " " + Quoted(SymbolText(r.self)) +
               " names the " + KindWord(place) + " " + Quoted(SymbolText(r.target)),
           r.where);
      return std::nullopt;
    }
  }

  if (!LookUpArcs()) return std::nullopt;

  Net net;
  net.places_ = static_cast<int>(places_.size());
  net.transitions_ = static_cast<int>(transitions_.size());
  const size_t transitions = transitions_.size();

  // Arcs into index form: (transition, place, weight) per direction.
  struct Flat {
    int32_t transition;
    int32_t place;  // beside the transition, so that the weight needs no padding
    int64_t weight;
  };
  // Resolved in place first, so that each direction's list is allocated at
  // its size.
  size_t inputs = 0;
  for (PendingArc& a : arcs_) {
    if (a.ends != kSymbols) {
      inputs += a.ends == kInput;
      continue;
    }
    int32_t from = 0, to = 0;
    bool fromPlace = false, toPlace = false;
    if (!Resolve(a.source, &from, &fromPlace)) {
      if (problem_.message.empty()) {
        Fail(DescribeArc(a) + ": source " + std::string(SymbolText(a.source)) +
                 " is neither a place nor a transition of the net",
             a.where);
      }
      return std::nullopt;
    }
    if (!Resolve(a.target, &to, &toPlace)) {
      if (problem_.message.empty()) {
        Fail(DescribeArc(a) + ": target " + std::string(SymbolText(a.target)) +
                 " is neither a place nor a transition of the net",
             a.where);
      }
      return std::nullopt;
    }
    if (fromPlace == toPlace) {
      Fail(DescribeArc(a) + ": source and target are both " + (fromPlace ? "places" : "transitions"),
           a.where);
      return std::nullopt;
    }
    Place(a, fromPlace, static_cast<uint32_t>(fromPlace ? to : from), static_cast<uint32_t>(fromPlace ? from : to));
    inputs += fromPlace;
  }
  BigVector<Flat> in, out;
  in.reserve(inputs);
  out.reserve(arcs_.size() - inputs);
  for (const PendingArc& a : arcs_) {
    const Flat flat{static_cast<int32_t>(a.source), static_cast<int32_t>(a.target), WeightOf(a)};
    (a.ends == kInput ? in : out).push_back(flat);
  }
  BigVector<PendingArc>().swap(arcs_);
  std::vector<int64_t>().swap(bigWeights_);

  // Grouped by transition (a stable counting sort), then each group by place,
  // repeated arcs summed.
  auto group = [&](BigVector<Flat>& flat, BigVector<uint32_t>& start, BigVector<WeightedArc>& arcs) -> bool {
    start.assign(transitions + 1, 0);
    for (const Flat& f : flat) ++start[static_cast<size_t>(f.transition) + 1];
    for (size_t t = 0; t < transitions; ++t) start[t + 1] += start[t];
    arcs.resize(flat.size());
    std::vector<uint32_t> at(start.begin(), start.end() - 1);
    for (const Flat& f : flat) arcs[at[static_cast<size_t>(f.transition)]++] = WeightedArc{f.place, f.weight};
    BigVector<Flat>().swap(flat);
    size_t kept = 0;
    for (size_t t = 0; t < transitions; ++t) {
      const size_t begin = start[t], end = start[t + 1];
      std::sort(arcs.begin() + static_cast<ptrdiff_t>(begin), arcs.begin() + static_cast<ptrdiff_t>(end),
                [](const WeightedArc& a, const WeightedArc& b) { return a.place < b.place; });
      start[t] = static_cast<uint32_t>(kept);
      for (size_t i = begin; i < end; ++i) {
        if (kept > start[t] && arcs[kept - 1].place == arcs[i].place) {
          if (arcs[kept - 1].weight > kMaxValue - arcs[i].weight) {
            Fail("the repeated arcs between " + std::string(SymbolText(places_[static_cast<size_t>(arcs[i].place)].symbol)) +
                     " and " + std::string(SymbolText(transitions_[t].symbol)) + " weigh more than " +
                     std::to_string(kMaxValue) + " together, the largest weight a net holds",
                 Where{});
            return false;
          }
          arcs[kept - 1].weight += arcs[i].weight;
        } else {
          arcs[kept++] = arcs[i];
        }
      }
    }
    start[transitions] = static_cast<uint32_t>(kept);
    arcs.resize(kept);
    arcs.shrink_to_fit();
    return true;
  };
  if (in.size() >= UINT32_MAX || out.size() >= UINT32_MAX) {
    Fail("too many arcs", Where{});
    return std::nullopt;
  }
  if (!group(in, net.inStart_, net.in_) || !group(out, net.outStart_, net.out_)) return std::nullopt;

  net.ids_.reserve(places_.size() + transitions);
  net.names_.reserve(places_.size() + transitions);
  net.tokens_.reserve(places_.size());
  for (const Node& n : places_) {
    net.ids_.push_back(Net::TextRef{symbols_[n.symbol].offset, symbols_[n.symbol].size});
    net.names_.push_back(n.name);
    net.tokens_.push_back(n.tokens);
  }
  for (const Node& n : transitions_) {
    net.ids_.push_back(Net::TextRef{symbols_[n.symbol].offset, symbols_[n.symbol].size});
    net.names_.push_back(n.name);
  }
  net.text_ = std::move(text_);
  *this = NetBuilder();
  return net;
}

}  // namespace netfmt
