// SPDX-License-Identifier: MIT
// A breadth-first walk over the reachable markings of a place/transition
// net, for the tests: the figures the field publishes of a state space.
//
// What it guarantees:
// - Exact figures when the walk ends with kComplete: every reachable marking
//   counted once, one edge per (reachable marking, transition enabled in it)
//   (two transitions leading to the same marking are two edges, a transition
//   leading back to its own marking is one), the most tokens in one place of
//   one marking and the most tokens in one marking.
// - Bounded: at most `limit` markings are ever stored; a net with more ends
//   the walk with kLimit (its figures then cover only part of the space), so
//   an unbounded net or an unfolding gone wrong never runs away.
// - Compact: a marking is stored once, packed into 64-bit words with a width
//   per place that grows with the largest count seen there (one bit per
//   place of a safe net), and looked up through an open-addressing table of
//   8 bytes per slot, from a quarter to half full: a safe net of 100 places
//   costs 32 to 48 bytes per marking (a walk over a million markings of 40
//   places peaks at 33 MB).
// - Token counts are 64-bit; a count or a marking's total beyond that ends
//   the walk with kOverflow instead of wrapping.
#ifndef QUARNEL_TESTS_PNCONV_STATE_SPACE_H
#define QUARNEL_TESTS_PNCONV_STATE_SPACE_H

#include <cstdint>
#include <string>

#include "net.h"

namespace pnconvtest {

struct StateSpace {
  enum class End { kComplete, kLimit, kOverflow };
  End end = End::kComplete;
  uint64_t states = 0;
  uint64_t edges = 0;
  int64_t maxTokensInPlace = 0;
  int64_t maxTokensInMarking = 0;
};

// The most markings a walk may store.
inline constexpr uint64_t kMaxStateLimit = UINT32_MAX - 1;

// Walks the markings reachable from the net's initial marking, storing at
// most min(limit, kMaxStateLimit) of them.
StateSpace Explore(const netfmt::Net& net, uint64_t limit);

// "complete STATES EDGES MAX_IN_PLACE MAX_IN_MARKING", or "limit STATES" or
// "overflow STATES" for a walk that did not end (whose other figures cover
// an arbitrary part of the space), for messages and comparisons.
std::string Describe(const StateSpace& space);

}  // namespace pnconvtest

#endif
