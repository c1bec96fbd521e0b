// SPDX-License-Identifier: MIT
// A symmetric (coloured) net as the reader gives it to the unfolder: sorts,
// places with their sort and initial marking, transitions with their
// variables, guard and arcs, every label a typed tree of terms.
#ifndef NETFMT_SYMMETRIC_SYMMETRIC_NET_H
#define NETFMT_SYMMETRIC_SYMMETRIC_NET_H

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "net.h"
#include "sorts.h"

namespace netfmt::symmetric {

enum class Op : uint8_t {
  // One colour.
  kVariable,    // number: the variable's index in its transition
  kConstant,    // number: the colour
  kTuple,       // of its arguments (a multiset when one of them is)
  kSuccessor,   // next colour of a cyclic enumeration
  kPredecessor,
  kPartitionOf,  // the partition element a colour is in
  // A multiset.
  kNumberOf,  // number: how many of the argument
  kAdd,
  kSubtract,  // the first argument less the others
  kAll,       // each colour of the sort once
  kMembers,   // number: a partition element, each of its colours once
  // A boolean (sort bool).
  kAnd,
  kOr,
  kNot,
  kImply,
  kEqual,
  kNotEqual,
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
};

struct Term {
  Op op = Op::kConstant;
  bool multiset = false;       // evaluates to a multiset, not to one colour
  const Sort* sort = nullptr;  // of its colours (of a boolean: bool)
  int64_t number = 0;
  const Sort* partition = nullptr;  // kMembers: the partition of the element
  std::vector<Term> args;
  Where where;
};

struct Place {
  std::string id;
  const Sort* sort = nullptr;
  std::optional<Term> marking;  // none: no tokens
  Where where;
};

struct Arc {
  uint32_t place = 0;
  Term term;  // a multiset of the place's sort
  Where where;
};

struct Transition {
  std::string id;
  // The variables of its arcs and guard, in the order they are declared.
  std::vector<const Sort*> variables;
  std::vector<std::string> variableIds;
  std::optional<Term> guard;
  std::vector<Arc> inputs, outputs;
  Where where;
};

struct SymmetricNet {
  std::deque<Sort> sorts;  // every sort the terms point to
  std::vector<Place> places;
  std::vector<Transition> transitions;
};

}  // namespace netfmt::symmetric

#endif
