// SPDX-License-Identifier: MIT
// The bindings of a transition that may fire when each place holds only
// colours of a given set: those under which the guard holds and every input
// arc takes colours of the sets only.
//
// Variables are not enumerated over the product of their sorts: each colour
// term of an input arc (a variable, a tuple of variables, successors and
// constants) is matched against the colours its place may hold, the terms
// whose colours are most determined first, through an index of the place's
// colours by what is already bound; only variables that no input arc binds
// range over their sort, unless an equality of the guard gives them from
// variables bound already. Each part of a guard (a conjunction's terms) is
// checked as soon as its variables are bound.
#ifndef NETFMT_SYMMETRIC_BINDINGS_H
#define NETFMT_SYMMETRIC_BINDINGS_H

#include <functional>
#include <vector>

#include "colour_set.h"
#include "symmetric_net.h"

namespace netfmt::symmetric {

// Calls visit(binding) for every such binding (binding[v]: the colour of
// variable v), in an order fixed by the net and the sets. `limit` bounds the
// colours one variable may range over and a multiset may spread to
// (EvaluationError beyond). Stops early when visit returns false.
//
// With `seen` (a count per input arc of the colours of its place's set, as
// the last call left it; empty at first), only the bindings that take a colour added to a
// set since are wanted, as when the sets grow towards a fixpoint: the call
// may then leave out bindings visited before (each is visited at least once
// over the calls) and visit one twice; *seen gets the sets' counts now.
void ForEachBinding(const SymmetricNet& net, const Transition& transition, const std::vector<ColourSet>& sets,
                    uint64_t limit, const std::function<bool(const Colour*)>& visit,
                    std::vector<size_t>* seen = nullptr);

}  // namespace netfmt::symmetric

#endif
