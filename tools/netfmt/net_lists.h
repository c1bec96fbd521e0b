// SPDX-License-Identifier: MIT
// What the PEP and PROD writers read: the node counts and, for every node,
// its neighbours in ascending order. The converter's matrix globals and a
// frozen Net (net_lists_of.h) both give it without copying the arcs of the
// net into a new shape, so that both are written by the same code.
#ifndef NETFMT_NET_LISTS_H
#define NETFMT_NET_LISTS_H

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

namespace netfmt {

struct NetLists {
  int places = 0;
  int transitions = 0;
  // The name of node i (places 0..P-1, then transition t as P + t); empty for
  // the format's default name ("P1", "T1", ...).
  std::function<std::string_view(int node)> name;
  // The tokens place p is written with: 0 (unmarked), 1 (marked) or more.
  std::function<int64_t(int place)> tokens;
  // Place indices, ascending: the places transition t takes tokens from, puts
  // tokens into, and (only when the function is set) reads without changing.
  std::function<std::span<const int>(int t)> transitionInputs;
  std::function<std::span<const int>(int t)> transitionOutputs;
  std::function<std::span<const int>(int t)> transitionReads;
  // Transition indices, ascending: the transitions that take tokens from
  // place p.
  std::function<std::span<const int>(int p)> placeOutputs;
  // When set, the weights of the arcs transitionOutputs(t) and
  // placeOutputs(p) give, element by element; unset, every weight is 1.
  std::function<std::span<const int64_t>(int t)> transitionOutputWeights;
  std::function<std::span<const int64_t>(int p)> placeOutputWeights;
};

}  // namespace netfmt

#endif
