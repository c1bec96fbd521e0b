// SPDX-License-Identifier: MIT
#include "bindings.h"

#include <algorithm>
#include <unordered_map>

#include "evaluate.h"

namespace netfmt::symmetric {

namespace {

// What one position of a colour term (a component of a tuple, or the whole
// colour) says about the colour there.
struct Position {
  enum Kind : uint8_t { kConstant, kVariable, kAny } kind = kAny;
  int component = -1;  // of the place's product sort; -1: the whole colour
  uint64_t size = 0;   // colours of the position's sort
  Colour value = 0;    // kConstant
  uint32_t variable = 0;  // kVariable: the colour is variable + shift (mod size)
  uint64_t shift = 0;
};

// A colour term of an input arc: the place's colour must be in the place's
// set.
struct Pattern {
  uint32_t input;  // the input arc's index
  uint32_t place;
  std::vector<Position> positions;
  // The colours of the place's set it is matched against: members from
  // `begin` to `end`.
  size_t begin = 0, end = SIZE_MAX;
};

bool HasVariables(const Term& term) {
  if (term.op == Op::kVariable) return true;
  for (const Term& arg : term.args) {
    if (HasVariables(arg)) return true;
  }
  return false;
}

void CollectVariables(const Term& term, std::vector<uint32_t>* out) {
  if (term.op == Op::kVariable) out->push_back(static_cast<uint32_t>(term.number));
  for (const Term& arg : term.args) CollectVariables(arg, out);
}

Position PositionOf(const Term& term, int component) {
  Position p;
  p.component = component;
  p.size = term.sort->size;
  if (term.multiset) return p;
  if (!HasVariables(term)) {
    p.kind = Position::kConstant;
    p.value = ColourOf(term, nullptr);
    return p;
  }
  // A variable under successors and predecessors.
  uint64_t shift = 0;
  const Term* t = &term;
  for (; t->op == Op::kSuccessor || t->op == Op::kPredecessor; t = &t->args[0]) {
    shift = (t->op == Op::kSuccessor ? shift + 1 : shift + p.size - 1) % p.size;
  }
  if (t->op != Op::kVariable) return p;
  p.kind = Position::kVariable;
  p.variable = static_cast<uint32_t>(t->number);
  p.shift = shift;
  return p;
}

// The colour terms an arc's multiset certainly takes (counts above zero):
// the summands of sums and numberofs.
void Summands(const Term& term, uint32_t input, uint32_t place, std::vector<Pattern>* out, bool* exact) {
  switch (term.op) {
    case Op::kNumberOf:
      if (term.number > 0) Summands(term.args[0], input, place, out, exact);
      return;
    case Op::kAdd:
      for (const Term& arg : term.args) Summands(arg, input, place, out, exact);
      return;
    case Op::kTuple: {
      Pattern pattern{input, place, {}, 0, SIZE_MAX};
      for (size_t i = 0; i < term.args.size(); ++i) {
        pattern.positions.push_back(PositionOf(term.args[i], static_cast<int>(i)));
        *exact &= pattern.positions.back().kind != Position::kAny;
      }
      out->push_back(std::move(pattern));
      return;
    }
    default:
      if (term.multiset) {
        *exact = false;  // all, a partition element, a difference: checked once bound
        return;
      }
      out->push_back(Pattern{input, place, {PositionOf(term, -1)}, 0, SIZE_MAX});
      *exact &= out->back().positions[0].kind != Position::kAny;
  }
}

Colour ValueAt(const Position& p, const Sort& sort, Colour c) {
  return p.component < 0 ? c : sort.Component(c, static_cast<size_t>(p.component));
}

class Search {
 public:
  Search(const SymmetricNet& net, const Transition& t, const std::vector<ColourSet>& sets, uint64_t limit,
         const std::function<bool(const Colour*)>& visit)
      : net_(net), t_(t), sets_(sets), limit_(limit), visit_(visit), binding_(t.variables.size(), 0) {}

  void Run(std::vector<size_t>* seen) {
    std::vector<Pattern> patterns;
    const size_t inputs = t_.inputs.size();
    std::vector<size_t> now(inputs);
    for (uint32_t i = 0; i < inputs; ++i) {
      const Arc& arc = t_.inputs[i];
      bool exact = true;
      Summands(arc.term, i, arc.place, &patterns, &exact);
      if (!exact) checked_.push_back(&arc);
      now[i] = sets_[arc.place].size();
    }
    // Only bindings that take a colour new since `seen` from some pattern
    // are wanted, when each binding takes its colours from patterns alone:
    // the d-th run takes a new colour at pattern d, old ones before it.
    const bool since = seen != nullptr && seen->size() == inputs && checked_.empty() && !patterns.empty();
    if (!since) {
      for (Pattern& p : patterns) p.end = now[p.input];
      Once(patterns, SIZE_MAX);
    } else {
      for (size_t d = 0; d < patterns.size(); ++d) {
        if ((*seen)[patterns[d].input] == now[patterns[d].input]) continue;
        std::vector<Pattern> runs = patterns;
        for (size_t j = 0; j < runs.size(); ++j) {
          const size_t mark = (*seen)[runs[j].input];
          runs[j].begin = j == d ? mark : 0;
          runs[j].end = j < d ? mark : now[runs[j].input];
        }
        if (!Once(std::move(runs), d)) break;
      }
    }
    if (seen != nullptr) *seen = std::move(now);
  }

 private:
  struct StepPlan {
    // A pattern step binds `fresh` from the index of its place's colours by
    // the values of `key` positions; an enumeration step binds `variable`
    // over its sort.
    bool pattern = false;
    Pattern source;
    std::vector<size_t> key;       // positions whose variables are bound before
    std::vector<uint32_t> fresh;   // variables this step binds
    uint32_t variable = 0;
    // An assignment step: variable + shift (mod size) is the colour of `from`.
    const Term* from = nullptr;
    uint64_t shift = 0, size = 0;
    std::unordered_map<uint64_t, std::vector<Colour>> index;  // key -> values of fresh, one after the other
    std::vector<const Term*> guards;  // checked once this step has bound its variables
  };

  // Binds every way the patterns allow (`first` the one matched first, or
  // SIZE_MAX); false once visit asked to stop.
  bool Once(std::vector<Pattern> patterns, size_t first) {
    steps_.clear();
    before_.clear();
    Plan(std::move(patterns), first);
    return !Guards(0) || Step(0);
  }

  void Plan(std::vector<Pattern> patterns, size_t first) {
    std::vector<bool> bound(t_.variables.size(), false);
    while (!patterns.empty()) {
      // The pattern with the most positions known, then the fewest colours.
      size_t best = first < patterns.size() ? first : 0;
      int64_t bestScore = INT64_MIN;
      for (size_t i = 0; i < patterns.size() && first >= patterns.size(); ++i) {
        int64_t known = 0, unknown = 0;
        for (const Position& p : patterns[i].positions) {
          if (p.kind == Position::kConstant || (p.kind == Position::kVariable && bound[p.variable])) ++known;
          if (p.kind == Position::kVariable && !bound[p.variable]) ++unknown;
        }
        const size_t colours = patterns[i].end - patterns[i].begin;
        const int64_t score = (unknown == 0 ? int64_t{1} << 40 : 0) + known * (int64_t{1} << 32) -
                              static_cast<int64_t>(std::min<size_t>(colours, UINT32_MAX));
        if (score > bestScore) {
          bestScore = score;
          best = i;
        }
      }
      StepPlan step;
      step.pattern = true;
      step.source = std::move(patterns[best]);
      patterns.erase(patterns.begin() + static_cast<ptrdiff_t>(best));
      first = SIZE_MAX;
      for (size_t k = 0; k < step.source.positions.size(); ++k) {
        const Position& p = step.source.positions[k];
        if (p.kind != Position::kVariable) continue;
        if (bound[p.variable]) {
          step.key.push_back(k);
        } else if (std::find(step.fresh.begin(), step.fresh.end(), p.variable) == step.fresh.end()) {
          step.fresh.push_back(p.variable);
        }
      }
      for (const uint32_t v : step.fresh) bound[v] = true;
      steps_.push_back(std::move(step));
    }
    // The other variables: each one a guard's equality gives from bound ones
    // is computed, the others range over their sort.
    std::vector<const Term*> conjuncts;
    if (t_.guard) Conjuncts(*t_.guard, &conjuncts);
    for (;;) {
      StepPlan step;
      if (!Assignable(conjuncts, bound, &step)) {
        const auto v = static_cast<uint32_t>(std::find(bound.begin(), bound.end(), false) - bound.begin());
        if (v == bound.size()) break;
        if (t_.variables[v]->size > limit_) {
          throw EvaluationError{Problem{"transition " + t_.id + ": variable " + t_.variableIds[v] + " ranges over " +
                                            std::to_string(t_.variables[v]->size) + " colours, beyond the limit",
                                        t_.where}};
        }
        step.variable = v;
      }
      bound[step.variable] = true;
      steps_.push_back(std::move(step));
    }
    // Each conjunct of the guard after the step that binds its last variable.
    std::vector<size_t> boundAt(t_.variables.size(), 0);
    for (size_t s = 0; s < steps_.size(); ++s) {
      if (steps_[s].pattern) {
        for (const uint32_t v : steps_[s].fresh) boundAt[v] = s + 1;
      } else {
        boundAt[steps_[s].variable] = s + 1;
      }
    }
    for (const Term* c : conjuncts) {
      std::vector<uint32_t> vars;
      CollectVariables(*c, &vars);
      size_t at = 0;
      for (const uint32_t v : vars) at = std::max(at, boundAt[v]);
      (at == 0 ? before_ : steps_[at - 1].guards).push_back(c);
    }
    for (StepPlan& step : steps_) {
      if (step.pattern) Index(step);
    }
  }

  // A step that computes an unbound variable from an equality of the guard
  // whose other side has its variables bound: v (under successors and
  // predecessors) = term. False when there is none.
  static bool Assignable(const std::vector<const Term*>& conjuncts, const std::vector<bool>& bound, StepPlan* step) {
    for (const Term* c : conjuncts) {
      if (c->op != Op::kEqual) continue;
      for (size_t side = 0; side < 2; ++side) {
        const Position p = PositionOf(c->args[side], -1);
        if (p.kind != Position::kVariable || bound[p.variable]) continue;
        std::vector<uint32_t> others;
        CollectVariables(c->args[1 - side], &others);
        if (!std::all_of(others.begin(), others.end(), [&](uint32_t v) { return bound[v]; })) continue;
        step->variable = p.variable;
        step->from = &c->args[1 - side];
        step->shift = p.shift;
        step->size = p.size;
        return true;
      }
    }
    return false;
  }

  static void Conjuncts(const Term& guard, std::vector<const Term*>* out) {
    if (guard.op == Op::kAnd) {
      for (const Term& arg : guard.args) Conjuncts(arg, out);
    } else {
      out->push_back(&guard);
    }
  }

  // The key of a step's key positions' values.
  static uint64_t Key(const StepPlan& step, const std::vector<Colour>& values) {
    uint64_t key = 0;
    for (size_t i = 0; i < step.key.size(); ++i) key = key * step.source.positions[step.key[i]].size + values[i];
    return key;
  }

  void Index(StepPlan& step) {
    const Pattern& pattern = step.source;
    const Sort& sort = *net_.places[pattern.place].sort;
    const size_t fresh = step.fresh.size();
    std::vector<Colour> freshValues(fresh), keyValues(step.key.size());
    bool any = false;
    for (const Position& p : pattern.positions) any |= p.kind == Position::kAny;
    const std::vector<Colour>& members = sets_[pattern.place].members();
    for (size_t m = pattern.begin; m < pattern.end; ++m) {
      const Colour c = members[m];
      bool fits = true;
      std::fill(freshValues.begin(), freshValues.end(), UINT64_MAX);
      size_t keyAt = 0;
      for (size_t k = 0; k < pattern.positions.size() && fits; ++k) {
        const Position& p = pattern.positions[k];
        const Colour value = ValueAt(p, sort, c);
        if (p.kind == Position::kConstant) {
          fits = value == p.value;
        } else if (p.kind == Position::kVariable) {
          if (keyAt < step.key.size() && step.key[keyAt] == k) {
            keyValues[keyAt++] = value;
            continue;
          }
          const Colour v = (value + p.size - p.shift) % p.size;
          const size_t f = static_cast<size_t>(std::find(step.fresh.begin(), step.fresh.end(), p.variable) - step.fresh.begin());
          if (freshValues[f] == UINT64_MAX) {
            freshValues[f] = v;
          } else {
            fits = freshValues[f] == v;
          }
        }
      }
      if (!fits) continue;
      std::vector<Colour>& bucket = step.index[Key(step, keyValues)];
      bucket.insert(bucket.end(), freshValues.begin(), freshValues.end());
    }
    if (any || fresh == 0) {
      // Colours differing only where the term takes any colour give the same
      // values: each once.
      for (auto& [key, bucket] : step.index) {
        if (fresh == 0) {
          bucket.assign(1, 0);
          continue;
        }
        std::vector<std::vector<Colour>> rows;
        for (size_t i = 0; i < bucket.size(); i += fresh) rows.emplace_back(bucket.begin() + static_cast<ptrdiff_t>(i), bucket.begin() + static_cast<ptrdiff_t>(i + fresh));
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        bucket.clear();
        for (const auto& row : rows) bucket.insert(bucket.end(), row.begin(), row.end());
      }
    }
  }

  bool Guards(size_t s) {
    const std::vector<const Term*>& guards = s == 0 ? before_ : steps_[s - 1].guards;
    for (const Term* g : guards) {
      if (!Holds(*g, binding_.data())) return false;
    }
    return true;
  }

  // Binds the variables of steps s.. in every way; false once visit asked to stop.
  bool Step(size_t s) {
    if (s == steps_.size()) return Leaf();
    const StepPlan& step = steps_[s];
    if (step.from != nullptr) {
      binding_[step.variable] = (ColourOf(*step.from, binding_.data()) + step.size - step.shift) % step.size;
      return !Guards(s + 1) || Step(s + 1);
    }
    if (!step.pattern) {
      for (Colour c = 0; c < t_.variables[step.variable]->size; ++c) {
        binding_[step.variable] = c;
        if (Guards(s + 1) && !Step(s + 1)) return false;
      }
      return true;
    }
    keyValues_.resize(step.key.size());
    for (size_t i = 0; i < step.key.size(); ++i) {
      const Position& p = step.source.positions[step.key[i]];
      keyValues_[i] = (binding_[p.variable] + p.shift) % p.size;
    }
    const auto found = step.index.find(Key(step, keyValues_));
    if (found == step.index.end()) return true;
    const std::vector<Colour>& bucket = found->second;
    const size_t fresh = step.fresh.size();
    if (fresh == 0) return !Guards(s + 1) || Step(s + 1);
    for (size_t i = 0; i < bucket.size(); i += fresh) {
      for (size_t f = 0; f < fresh; ++f) binding_[step.fresh[f]] = bucket[i + f];
      if (Guards(s + 1) && !Step(s + 1)) return false;
    }
    return true;
  }

  bool Leaf() {
    for (const Arc* arc : checked_) {
      Evaluate(arc->term, binding_.data(), limit_, &scratch_);
      for (const Weighted& w : scratch_) {
        if (!sets_[arc->place].Has(w.colour)) return true;
      }
    }
    return visit_(binding_.data());
  }

  const SymmetricNet& net_;
  const Transition& t_;
  const std::vector<ColourSet>& sets_;
  uint64_t limit_;
  const std::function<bool(const Colour*)>& visit_;
  std::vector<Colour> binding_;
  std::vector<StepPlan> steps_;
  std::vector<const Term*> before_;
  std::vector<const Arc*> checked_;
  std::vector<Colour> keyValues_;
  Multiset scratch_;
};

}  // namespace

void ForEachBinding(const SymmetricNet& net, const Transition& transition, const std::vector<ColourSet>& sets,
                    uint64_t limit, const std::function<bool(const Colour*)>& visit, std::vector<size_t>* seen) {
  Search(net, transition, sets, limit, visit).Run(seen);
}

}  // namespace netfmt::symmetric
