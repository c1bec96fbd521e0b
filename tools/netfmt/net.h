// SPDX-License-Identifier: MIT
// The place/transition net between the readers and the writers.
//
// Every reader feeds a NetBuilder, keyed by the ids of its format; Freeze
// resolves the ids (reference nodes, arcs given before their nodes) and
// returns a Net held in index arrays, which the writers read. Memory grows
// with places + transitions + arcs, never with places x transitions.
//
// Nodes are numbered by kind in the order they were added: places 0..P-1 and
// transitions 0..T-1. Where one index covers both kinds (ids and names),
// places come first and transition t is node P + t.
#ifndef NETFMT_NET_H
#define NETFMT_NET_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "big_array.h"

namespace netfmt {

// A position in an input, for messages: line and column from 1; 0 means
// unknown.
struct Where {
  uint64_t line = 0;
  uint64_t column = 0;
};

// Why an input was refused: what, and where in the input.
struct Problem {
  std::string message;
  Where where;
};

// "FILE:LINE:COL: MESSAGE", leaving out the parts that are unknown.
std::string Describe(const Problem& problem, std::string_view file);

// The largest token count and arc weight a net holds: a 64-bit count, since
// real models mark places with more tokens than 32 bits hold.
constexpr int64_t kMaxValue = INT64_MAX;

// An arc seen from its transition: the place and the weight (1..kMaxValue).
struct WeightedArc {
  int32_t place;
  int64_t weight;
};

class Net {
 public:
  int places() const { return places_; }
  int transitions() const { return transitions_; }
  int nodes() const { return places_ + transitions_; }
  // The id the input gave the node; never empty.
  std::string_view id(int node) const { return Text(ids_[static_cast<size_t>(node)]); }
  // The node's name; empty when it has none.
  std::string_view name(int node) const { return Text(names_[static_cast<size_t>(node)]); }
  // From 0 to kMaxValue.
  int64_t tokens(int place) const { return tokens_[static_cast<size_t>(place)]; }
  // The arcs into and out of transition t, by ascending place; one arc per
  // place and direction (repeated arcs of the input are summed).
  std::span<const WeightedArc> inputs(int t) const { return Span(inStart_, in_, t); }
  std::span<const WeightedArc> outputs(int t) const { return Span(outStart_, out_, t); }
  size_t arcs() const { return in_.size() + out_.size(); }
  // Calls visit(from, to, weight) for every arc as a pair of node indices
  // (transition t is node places() + t): transition by transition, its input
  // arcs then its output arcs, each by ascending place. The order writers
  // number their arcs in.
  template <typename Visit>
  void ForEachArc(Visit&& visit) const {
    for (int t = 0; t < transitions(); ++t) {
      const int node = places() + t;
      for (const WeightedArc& a : inputs(t)) visit(a.place, node, a.weight);
      for (const WeightedArc& a : outputs(t)) visit(node, a.place, a.weight);
    }
  }

 private:
  friend class NetBuilder;
  struct TextRef {
    size_t offset = 0;
    size_t size = 0;
  };
  std::string_view Text(TextRef r) const { return std::string_view(text_).substr(r.offset, r.size); }
  static std::span<const WeightedArc> Span(const BigVector<uint32_t>& start,
                                           const BigVector<WeightedArc>& arcs, int t) {
    const size_t i = static_cast<size_t>(t);
    return std::span<const WeightedArc>(arcs.data() + start[i], start[i + 1] - start[i]);
  }

  int places_ = 0;
  int transitions_ = 0;
  BigString text_;  // every id and name, one after the other
  BigVector<TextRef> ids_, names_;
  BigVector<int64_t> tokens_;
  BigVector<uint32_t> inStart_, outStart_;  // transitions + 1 entries each
  BigVector<WeightedArc> in_, out_;
};

// Builds a Net from nodes and arcs given by id, in any order. Each Add
// returns false when the input is refused (a repeated id, too many nodes, a
// token count below 0 or a weight below 1) and problem() then says why;
// nothing more should be added after that.
// Ids are unique across every kind, as in an XML document.
class NetBuilder {
 public:
  NetBuilder();
  bool AddPlace(std::string_view id, std::string_view name, int64_t tokens, Where where);
  bool AddTransition(std::string_view id, std::string_view name, Where where);
  // A node that stands for the node `target` names (possibly another
  // reference); `place` tells which kind it must turn out to be.
  bool AddReference(std::string_view id, std::string_view target, bool place, Where where);
  // An arc between a place and a transition, either way, of weight >= 1. The
  // id may be empty (formats whose arcs have none); it names the arc in
  // messages otherwise. Repeated arcs (same ends, same way) are one arc of
  // their weights' sum, which must not pass kMaxValue.
  bool AddArc(std::string_view id, std::string_view source, std::string_view target, int64_t weight,
              Where where);
  // An arc without id between the place and the transition added as
  // place-th and transition-th (from 0), into the transition when `input`:
  // for a producer that numbers the nodes it adds, which then saves the
  // lookup of both ends. Weight as AddArc's.
  bool AddArcBetween(uint32_t place, uint32_t transition, bool input, int64_t weight, Where where);
  // An id of something else (a page) that no node or arc may repeat.
  bool AddOtherId(std::string_view id, Where where);
  // Whether a node or another id (not an arc's) has been added with `id`.
  bool Has(std::string_view id) const;

  // Looks up the ends of the arcs added since the last call, and places
  // those between a known place and a known transition, ahead of Freeze
  // (which does it for whatever is left): a builder fed on its own thread
  // does this work while its input is still being read. False with problem()
  // set when the ids outgrow the table.
  bool LookUpArcs();

  // The net, or nothing with problem() set: a reference that names no node,
  // names a node of the other kind or is part of a cycle; an arc whose ends
  // are unknown or not one place and one transition; repeated arcs whose
  // weights sum beyond kMaxValue.
  std::optional<Net> Freeze();
  const Problem& problem() const { return problem_; }

  size_t places() const { return places_.size(); }
  size_t transitions() const { return transitions_.size(); }

 private:
  enum class Kind : uint8_t { kUnknown, kPlace, kTransition, kReference, kOther };
  struct Symbol {
    uint32_t offset;
    uint32_t size;
    Kind kind;
    int32_t index;  // node index of its kind, or reference index
  };
  struct Reference {
    uint32_t self;
    uint32_t target;
    bool place;
    Where where;
  };
  // An arc's id is kept out of the symbol table (arcs outnumber nodes and are
  // never looked up by id), in a table of its own. Its ends are kept as text
  // in ends_ until LookUpArcs looks them up in one pass, where the table's
  // cache misses overlap.
  struct PendingArc {
    uint32_t idOffset;  // the id's text; size 0: none
    uint32_t idSize;
    // Until the arc is looked up: where its end texts start in ends_, the
    // source's then the target's. Then kSymbols, or (once its ends are known
    // to be a place and a transition) kInput or kOutput of the transition.
    uint32_t ends;
    uint32_t source;  // the source's text size, then its symbol, then the transition
    uint32_t target;  // the target's text size, then its symbol, then the place
    // The weight when it fits (>= 1), else -1 - its index in bigWeights_:
    // with the five fields above it fills 24 bytes, where an int64_t would
    // take 32. Arcs are most of a large net, and this array is written once
    // per arc while its input is read.
    int32_t weight;
    Where where;
  };
  static_assert(sizeof(PendingArc) == 24 + sizeof(Where));
  // The weight as PendingArc holds it; false with problem_ set when no more
  // large weights can be held.
  bool SmallWeight(int64_t weight, Where where, int32_t* small);
  int64_t WeightOf(const PendingArc& arc) const {
    return arc.weight > 0 ? arc.weight : bigWeights_[static_cast<size_t>(-1 - int64_t{arc.weight})];
  }
  static constexpr uint32_t kSymbols = 0, kInput = 1, kOutput = 2;
  static constexpr uint32_t kNone = UINT32_MAX;

  std::string_view SymbolText(uint32_t s) const {
    return std::string_view(text_).substr(symbols_[s].offset, symbols_[s].size);
  }
  // An id as the table compares it: its hash and its first kHead bytes
  // (zero-padded), computed once per lookup.
  static constexpr size_t kHead = 16;
  struct Key {
    std::string_view id;
    uint32_t hash;
    uint64_t head[kHead / 8];
  };
  static Key KeyOf(std::string_view id);
  // The symbol of `key`, or kNone.
  uint32_t Find(const Key& key) const;
  // The symbol of `id`, made (of kind kUnknown) when new; kNone when the
  // input's text outgrows the table.
  uint32_t Intern(std::string_view id);
  uint32_t Intern(const Key& key);
  // Starts loading the slot where a probe for `key` begins.
  void Prefetch(const Key& key) const;
  // Whether `key` is the id of an arc added so far.
  bool ArcIdTaken(const Key& key) const;
  // Enters arc `arc`'s id, whose key is `key`; false when an arc has it
  // already.
  bool TakeArcId(const Key& key, uint32_t arc);
  // Marks the arc as an input (or output) arc of `transition`, from (or to)
  // `place`.
  static void Place(PendingArc& arc, bool input, uint32_t transition, uint32_t place);
  bool Define(std::string_view id, Kind kind, int32_t index, Where where, uint32_t* symbol);
  bool Fail(std::string message, Where where);
  // The place (>= 0) or transition (-1 - index) symbol s stands for, following
  // references; false with problem_ set when it stands for none.
  bool Resolve(uint32_t s, int32_t* node, bool* place);
  std::string DescribeArc(const PendingArc& arc) const;

  BigString text_;
  BigVector<Symbol> symbols_;
  // Open addressing: each slot holds symbol + 1 (0: free) and the symbol's
  // hash, so that probes and growth compare and move hashes, not texts. The
  // id's first bytes are in the slot too: a probe for a short id (the usual
  // case) reads neither the symbol nor the text.
  struct Slot {
    uint32_t symbol;
    uint32_t hash;
    uint32_t offset;  // the symbol's text
    uint32_t size;
    uint64_t head[kHead / 8];
  };
  BigVector<Slot> slots_;
  struct Node {
    uint32_t symbol;
    Net::TextRef name;
    int64_t tokens;
  };
  BigVector<Node> places_, transitions_;
  std::vector<Reference> references_;
  BigVector<PendingArc> arcs_;
  std::vector<int64_t> bigWeights_;  // the weights above INT32_MAX, by arc
  // Arcs from lookedUp_ on keep their ends as text in ends_; those before it
  // hold symbols.
  size_t lookedUp_ = 0;
  BigString ends_;
  // The arcs' ids, apart from the symbol table: per slot hash << 32 | (arc
  // index + 1), 0 when free; at most half full.
  BigVector<uint64_t> arcIds_;
  size_t arcIdCount_ = 0;
  Problem problem_;
};

}  // namespace netfmt

#endif
