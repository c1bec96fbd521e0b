// SPDX-License-Identifier: MIT
#include "unfold.h"

#include <algorithm>
#include <string>
#include <vector>

#include "bindings.h"
#include "colour_set.h"
#include "evaluate.h"

namespace netfmt::symmetric {

namespace {

struct Refusal {
  Problem problem;
};

std::string Figure(uint64_t n) { return std::to_string(n); }

class Unfolder {
 public:
  Unfolder(const SymmetricNet& net, uint64_t maxNodes, NetBuilder* builder, UnfoldFigures* figures)
      : net_(net), max_(maxNodes), builder_(builder), figures_(figures) {}

  void Run() {
    figures_->unfolded = true;
    figures_->places = net_.places.size();
    figures_->transitions = net_.transitions.size();
    for (const Transition& t : net_.transitions) figures_->arcs += t.inputs.size() + t.outputs.size();
    Reach();
    Places();
    Transitions();
  }

 private:
  [[noreturn]] void TooLarge(const std::string& what) {
    throw Refusal{Problem{"the unfolding passes the limit of " + Figure(max_) + " places and transitions (--max-nodes): " + what, {}}};
  }

  // The colours each place may hold: the fixpoint.
  void Reach() {
    const size_t places = net_.places.size();
    sets_.reserve(places);
    markings_.resize(places);
    consumers_.resize(places);
    for (size_t p = 0; p < places; ++p) {
      sets_.emplace_back(net_.places[p].sort->size);
      if (net_.places[p].marking) Evaluate(*net_.places[p].marking, nullptr, max_, &markings_[p]);
      for (const Weighted& w : markings_[p]) Grow(p, w.colour);
    }
    for (size_t t = 0; t < net_.transitions.size(); ++t) {
      for (const Arc& arc : net_.transitions[t].inputs) consumers_[arc.place].push_back(t);
    }
    for (std::vector<uint32_t>& c : consumers_) c.erase(std::unique(c.begin(), c.end()), c.end());
    pending_.assign(net_.transitions.size(), true);
    std::vector<std::vector<size_t>> seen(net_.transitions.size());
    Multiset out;
    for (bool again = true; again;) {
      again = false;
      for (size_t t = 0; t < net_.transitions.size(); ++t) {
        if (!pending_[t]) continue;
        pending_[t] = false;
        again = true;
        const Transition& transition = net_.transitions[t];
        uint64_t bindings = 0;
        ForEachBinding(net_, transition, sets_, max_, [&](const Colour* binding) {
          if (++bindings > max_) TooLarge("transition " + transition.id + " may fire under more than " + Figure(max_) + " bindings");
          for (const Arc& arc : transition.outputs) {
            Evaluate(arc.term, binding, max_, &out);
            for (const Weighted& w : out) Grow(arc.place, w.colour);
          }
          return true;
        }, &seen[t]);
      }
    }
  }

  void Grow(size_t place, Colour c) {
    if (!sets_[place].Insert(c)) return;
    if (++colours_ > max_) TooLarge("more than " + Figure(max_) + " places may be marked");
    for (const uint32_t t : consumers_[place]) pending_[t] = true;
  }

  // An id made from `base`, new to the builder.
  std::string NewId(std::string base) {
    if (!builder_->Has(base)) return base;
    for (uint64_t n = 2;; ++n) {
      std::string id = base + "_" + std::to_string(n);
      if (!builder_->Has(id)) return id;
    }
  }

  void Check(bool ok) {
    if (!ok) throw Refusal{builder_->problem()};
  }

  void Places() {
    first_.resize(net_.places.size());
    colours_by_place_.resize(net_.places.size());
    for (size_t p = 0; p < net_.places.size(); ++p) {
      const Place& place = net_.places[p];
      std::vector<Colour>& colours = colours_by_place_[p];
      colours = sets_[p].members();
      std::sort(colours.begin(), colours.end());
      const Multiset& marking = markings_[p];
      first_[p] = static_cast<uint32_t>(figures_->unfoldedPlaces);
      size_t m = 0;
      for (const Colour c : colours) {
        std::string base = place.id;
        if (place.sort->kind != SortKind::kDot) {
          base += '_';
          AppendColourText(*place.sort, c, &base);
        }
        std::string id = NewId(std::move(base));
        while (m < marking.size() && marking[m].colour < c) ++m;
        const int64_t tokens = m < marking.size() && marking[m].colour == c ? marking[m].count : 0;
        Check(builder_->AddPlace(id, "", tokens, place.where));
        ++figures_->unfoldedPlaces;
      }
    }
  }

  // The unfolded place of `place` and colour c.
  uint32_t PlaceOf(uint32_t place, Colour c) const {
    const std::vector<Colour>& colours = colours_by_place_[place];
    return first_[place] + static_cast<uint32_t>(std::lower_bound(colours.begin(), colours.end(), c) - colours.begin());
  }

  void Transitions() {
    std::vector<Colour> rows;
    Multiset ms;
    for (const Transition& t : net_.transitions) {
      const size_t width = t.variables.size();
      rows.clear();
      size_t count = 0;
      ForEachBinding(net_, t, sets_, max_, [&](const Colour* binding) {
        rows.insert(rows.end(), binding, binding + width);
        ++count;
        return true;
      });
      std::vector<size_t> order(count);
      for (size_t i = 0; i < count; ++i) order[i] = i;
      std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::lexicographical_compare(rows.begin() + static_cast<ptrdiff_t>(a * width), rows.begin() + static_cast<ptrdiff_t>(a * width + width),
                                            rows.begin() + static_cast<ptrdiff_t>(b * width), rows.begin() + static_cast<ptrdiff_t>(b * width + width));
      });
      for (const size_t i : order) {
        const Colour* binding = rows.data() + i * width;
        if (figures_->unfoldedPlaces + ++figures_->unfoldedTransitions > max_) {
          TooLarge(Figure(figures_->unfoldedPlaces) + " places and " + Figure(figures_->unfoldedTransitions) +
                   " transitions so far, at transition " + t.id);
        }
        std::string base = t.id;
        for (size_t v = 0; v < width; ++v) {
          base += '_';
          AppendColourText(*t.variables[v], binding[v], &base);
        }
        Check(builder_->AddTransition(NewId(std::move(base)), "", t.where));
        const auto transition = static_cast<uint32_t>(figures_->unfoldedTransitions - 1);
        for (const bool input : {true, false}) {
          for (const Arc& arc : input ? t.inputs : t.outputs) {
            Evaluate(arc.term, binding, max_, &ms);
            for (const Weighted& w : ms) {
              Check(builder_->AddArcBetween(PlaceOf(arc.place, w.colour), transition, input, w.count, arc.where));
              if (++figures_->unfoldedArcs > kArcsPerNode * max_) {
                throw Refusal{Problem{"the unfolding passes the limit of " + Figure(kArcsPerNode * max_) +
                                          " arcs (" + Figure(kArcsPerNode) + " x --max-nodes): " +
                                          Figure(figures_->unfoldedPlaces) + " places and " +
                                          Figure(figures_->unfoldedTransitions) + " transitions so far, at transition " +
                                          t.id,
                                      {}}};
              }
            }
          }
        }
      }
    }
  }

  const SymmetricNet& net_;
  uint64_t max_;
  NetBuilder* builder_;
  UnfoldFigures* figures_;
  std::vector<ColourSet> sets_;
  std::vector<Multiset> markings_;
  std::vector<std::vector<uint32_t>> consumers_;
  std::vector<bool> pending_;
  uint64_t colours_ = 0;
  std::vector<uint32_t> first_;  // per place: its first unfolded place
  std::vector<std::vector<Colour>> colours_by_place_;
};

}  // namespace

bool Unfold(const SymmetricNet& net, uint64_t maxNodes, NetBuilder* builder, UnfoldFigures* figures,
            Problem* problem) {
  try {
    Unfolder(net, maxNodes, builder, figures).Run();
  } catch (Refusal& refusal) {
    *problem = std::move(refusal.problem);
    return false;
  } catch (EvaluationError& error) {
    *problem = std::move(error.problem);
    return false;
  }
  return true;
}

}  // namespace netfmt::symmetric
