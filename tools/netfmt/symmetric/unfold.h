// SPDX-License-Identifier: MIT
// The unfolding of a symmetric net into a place/transition net with the same
// behaviour.
//
// One place per place and colour, one transition per transition and binding
// of its variables under which its guard holds, one arc per colour of an
// arc's multiset under that binding, weighted by its count; the initial
// marking's counts as tokens. Left out, since they change no behaviour:
// places of colours no marking reachable can hold, transitions that can never
// fire, arcs of weight 0. Which colours a place may hold is over-approximated
// by a fixpoint: the colours of the initial marking, then those every
// binding that may fire (its input arcs taking colours the places may hold)
// puts into its output places, until nothing more is added.
//
// Ids: a place's id followed by '_' and its colour's text, a transition's id
// followed by '_' and the text of each variable's colour (the variables in
// the order they are declared); nothing is added for the colour dot or to a
// transition without variables. A colour's text is its enumeration
// constant's or partition element's id, its integer, false or true, and a
// tuple's components' texts joined by '_'. Should an id so made be taken
// already, '_' and the smallest number from 2 that makes it new is added.
// Places come in the order of the net, each by ascending colour; transitions
// likewise, each by its variables' colours in order.
#ifndef NETFMT_SYMMETRIC_UNFOLD_H
#define NETFMT_SYMMETRIC_UNFOLD_H

#include <cstdint>

#include "net.h"
#include "symmetric_net.h"

namespace netfmt::symmetric {

// A default bound on the places and transitions of an unfolding (its arcs
// are bounded by kArcsPerNode times as many), which a machine of a few
// gigabytes holds.
constexpr uint64_t kDefaultMaxNodes = 10'000'000;
constexpr uint64_t kArcsPerNode = 4;

struct UnfoldFigures {
  bool unfolded = false;  // set by Unfold
  uint64_t places = 0, transitions = 0, arcs = 0;                  // of the symmetric net
  uint64_t unfoldedPlaces = 0, unfoldedTransitions = 0, unfoldedArcs = 0;
};

// Feeds the unfolding to *builder. False with *problem set when the net
// cannot be unfolded: more than maxNodes places and transitions or more than
// kArcsPerNode x maxNodes arcs (said with the figures reached), a term that cannot be evaluated, an id the builder
// refuses.
bool Unfold(const SymmetricNet& net, uint64_t maxNodes, NetBuilder* builder, UnfoldFigures* figures,
            Problem* problem);

}  // namespace netfmt::symmetric

#endif
