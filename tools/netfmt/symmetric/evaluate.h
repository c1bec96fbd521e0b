// SPDX-License-Identifier: MIT
// The values of terms under a binding of their transition's variables: a
// colour, a multiset of colours, a truth value.
#ifndef NETFMT_SYMMETRIC_EVALUATE_H
#define NETFMT_SYMMETRIC_EVALUATE_H

#include <vector>

#include "symmetric_net.h"

namespace netfmt::symmetric {

// A term that cannot be evaluated under some binding (a count beyond 63
// bits, a difference below zero, a multiset larger than the limit).
struct EvaluationError {
  Problem problem;
};

struct Weighted {
  Colour colour;
  int64_t count;
};
// Sorted by colour, each colour once, every count above zero.
using Multiset = std::vector<Weighted>;

// The colour of a term that is not a multiset.
Colour ColourOf(const Term& term, const Colour* binding);
bool Holds(const Term& guard, const Colour* binding);

// The multiset a term stands for (a colour: that colour once) into *out,
// replacing what it held. Throws EvaluationError; `limit` bounds the colours
// an `all` or a tuple of multisets may spread to.
void Evaluate(const Term& term, const Colour* binding, uint64_t limit, Multiset* out);

}  // namespace netfmt::symmetric

#endif
