// SPDX-License-Identifier: MIT
#include "evaluate.h"

#include <algorithm>

namespace netfmt::symmetric {

namespace {

[[noreturn]] void Fail(const Term& term, const std::string& message) { throw EvaluationError{Problem{message, term.where}}; }

int64_t Times(const Term& term, int64_t a, int64_t b) {
  int64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product) || product > INT64_MAX / 4 || product < -(INT64_MAX / 4)) {
    Fail(term, "a count beyond 2^61");
  }
  return product;
}

// Sorts by colour and sums each colour's counts; drops those that come to
// zero. False when a count is below zero.
bool Normalise(Multiset* m) {
  std::sort(m->begin(), m->end(), [](const Weighted& a, const Weighted& b) { return a.colour < b.colour; });
  size_t kept = 0;
  bool negative = false;
  for (size_t i = 0; i < m->size();) {
    Weighted w = (*m)[i];
    for (++i; i < m->size() && (*m)[i].colour == w.colour; ++i) w.count += (*m)[i].count;
    negative |= w.count < 0;
    if (w.count != 0) (*m)[kept++] = w;
  }
  m->resize(kept);
  return !negative;
}

class Evaluator {
 public:
  Evaluator(const Colour* binding, uint64_t limit) : binding_(binding), limit_(limit) {}

  // Appends the term's colours, each `factor` times (unsorted).
  void Add(const Term& term, int64_t factor, Multiset* out) {
    switch (term.op) {
      case Op::kNumberOf:
        if (term.number != 0) Add(term.args[0], Times(term, factor, term.number), out);
        return;
      case Op::kAdd:
        for (const Term& arg : term.args) Add(arg, factor, out);
        return;
      case Op::kSubtract: {
        // The difference is checked on its own, before the caller's factor
        // scales it: a difference that is itself subtracted (factor -1) is
        // sound when its own counts are.
        Multiset difference;
        Add(term.args[0], 1, &difference);
        for (size_t i = 1; i < term.args.size(); ++i) Add(term.args[i], -1, &difference);
        if (!Normalise(&difference)) Fail(term, "a difference of multisets below zero");
        for (const Weighted& w : difference) out->push_back(Weighted{w.colour, Times(term, w.count, factor)});
        return;
      }
      case Op::kAll:
        Spread(term, term.sort->size);
        for (Colour c = 0; c < term.sort->size; ++c) out->push_back(Weighted{c, factor});
        return;
      case Op::kMembers: {
        const Sort& partition = *term.partition;
        for (Colour c = 0; c < partition.base->size; ++c) {
          if (partition.elementOf[c] == term.number) out->push_back(Weighted{c, factor});
        }
        return;
      }
      case Op::kTuple:
        if (term.multiset) return Product(term, factor, out);
        [[fallthrough]];
      default:
        out->push_back(Weighted{ColourOf(term, binding_), factor});
        return;
    }
  }

 private:
  void Spread(const Term& term, uint64_t colours) {
    if (colours > limit_) Fail(term, "a multiset of " + std::to_string(colours) + " colours, beyond the limit");
  }

  // A tuple some of whose components are multisets: every combination.
  void Product(const Term& term, int64_t factor, Multiset* out) {
    const Sort& sort = *term.sort;
    Multiset all{Weighted{0, factor}};
    for (size_t i = 0; i < term.args.size(); ++i) {
      Multiset component;
      Add(term.args[i], 1, &component);
      if (!Normalise(&component)) Fail(term.args[i], "a difference of multisets below zero");
      Spread(term, all.size() * component.size());
      Multiset next;
      next.reserve(all.size() * component.size());
      for (const Weighted& a : all) {
        for (const Weighted& b : component) {
          next.push_back(Weighted{a.colour + b.colour * sort.strides[i], Times(term, a.count, b.count)});
        }
      }
      all.swap(next);
    }
    out->insert(out->end(), all.begin(), all.end());
  }

  const Colour* binding_;
  uint64_t limit_;
};

}  // namespace

Colour ColourOf(const Term& term, const Colour* binding) {
  switch (term.op) {
    case Op::kVariable:
      return binding[term.number];
    case Op::kTuple: {
      Colour c = 0;
      for (size_t i = 0; i < term.args.size(); ++i) c += ColourOf(term.args[i], binding) * term.sort->strides[i];
      return c;
    }
    case Op::kSuccessor: {
      const Colour c = ColourOf(term.args[0], binding) + 1;
      return c == term.sort->size ? 0 : c;
    }
    case Op::kPredecessor: {
      const Colour c = ColourOf(term.args[0], binding);
      return c == 0 ? term.sort->size - 1 : c - 1;
    }
    case Op::kPartitionOf:
      return term.sort->elementOf[ColourOf(term.args[0], binding)];
    default:
      return static_cast<Colour>(term.number);  // a constant
  }
}

bool Holds(const Term& guard, const Colour* binding) {
  switch (guard.op) {
    case Op::kAnd:
      for (const Term& arg : guard.args) {
        if (!Holds(arg, binding)) return false;
      }
      return true;
    case Op::kOr:
      for (const Term& arg : guard.args) {
        if (Holds(arg, binding)) return true;
      }
      return false;
    case Op::kNot:
      return !Holds(guard.args[0], binding);
    case Op::kImply:
      return !Holds(guard.args[0], binding) || Holds(guard.args[1], binding);
    case Op::kEqual:
    case Op::kNotEqual:
    case Op::kLess:
    case Op::kLessEqual:
    case Op::kGreater:
    case Op::kGreaterEqual: {
      const Colour a = ColourOf(guard.args[0], binding), b = ColourOf(guard.args[1], binding);
      switch (guard.op) {
        case Op::kEqual: return a == b;
        case Op::kNotEqual: return a != b;
        case Op::kLess: return a < b;
        case Op::kLessEqual: return a <= b;
        case Op::kGreater: return a > b;
        default: return a >= b;
      }
    }
    default:
      return ColourOf(guard, binding) != 0;  // a boolean constant or variable
  }
}

void Evaluate(const Term& term, const Colour* binding, uint64_t limit, Multiset* out) {
  out->clear();
  Evaluator(binding, limit).Add(term, 1, out);
  if (!Normalise(out)) Fail(term, "a multiset with a count below zero");
}

}  // namespace netfmt::symmetric
