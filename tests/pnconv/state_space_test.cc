// SPDX-License-Identifier: MIT
// The tests' explorer of state spaces on small hand-made nets whose state
// spaces are known: counts, edges that meet, self-loops, weights, counts that
// outgrow their packed width, the limit.
#include "state_space.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Arc {
  int place;
  int64_t weight;
};
struct Fire {
  std::vector<Arc> in, out;
};

netfmt::Net Build(const std::vector<int64_t>& tokens, const std::vector<Fire>& transitions) {
  netfmt::NetBuilder builder;
  for (size_t p = 0; p < tokens.size(); ++p) builder.AddPlace("p" + std::to_string(p), "", tokens[p], {});
  for (size_t t = 0; t < transitions.size(); ++t) {
    const std::string id = "t" + std::to_string(t);
    builder.AddTransition(id, "", {});
    for (const Arc& a : transitions[t].in) builder.AddArc({}, "p" + std::to_string(a.place), id, a.weight, {});
    for (const Arc& a : transitions[t].out) builder.AddArc({}, id, "p" + std::to_string(a.place), a.weight, {});
  }
  auto net = builder.Freeze();
  EXPECT_TRUE(net) << builder.problem().message;
  return std::move(*net);
}

// k independent two-place cycles, one token each: 2^k markings, k edges out
// of each.
netfmt::Net Cycles(int k) {
  std::vector<int64_t> tokens;
  std::vector<Fire> transitions;
  for (int i = 0; i < k; ++i) {
    tokens.insert(tokens.end(), {1, 0});
    transitions.push_back({{{2 * i, 1}}, {{2 * i + 1, 1}}});
    transitions.push_back({{{2 * i + 1, 1}}, {{2 * i, 1}}});
  }
  return Build(tokens, transitions);
}

// The contest's dining philosophers, n of them, unfolded by hand: places
// Think, Fork, Catch1, Catch2, Eat of each philosopher x; x takes fork x-1
// then x (FF1a, FF2a) or x then x-1 (FF1b, FF2b), eats and puts both back.
netfmt::Net Philosophers(int n) {
  auto at = [n](int kind, int x) { return kind * n + (x + n) % n; };
  enum { kThink, kFork, kCatch1, kCatch2, kEat };
  std::vector<int64_t> tokens(static_cast<size_t>(5 * n), 0);
  std::vector<Fire> transitions;
  for (int x = 0; x < n; ++x) {
    tokens[static_cast<size_t>(at(kThink, x))] = tokens[static_cast<size_t>(at(kFork, x))] = 1;
    transitions.push_back({{{at(kThink, x), 1}, {at(kFork, x - 1), 1}}, {{at(kCatch1, x), 1}}});
    transitions.push_back({{{at(kThink, x), 1}, {at(kFork, x), 1}}, {{at(kCatch2, x), 1}}});
    transitions.push_back({{{at(kCatch1, x), 1}, {at(kFork, x), 1}}, {{at(kEat, x), 1}}});
    transitions.push_back({{{at(kCatch2, x), 1}, {at(kFork, x - 1), 1}}, {{at(kEat, x), 1}}});
    transitions.push_back({{{at(kEat, x), 1}}, {{at(kThink, x), 1}, {at(kFork, x), 1}, {at(kFork, x - 1), 1}}});
  }
  return Build(tokens, transitions);
}

struct SpaceCase {
  const char* name;
  netfmt::Net (*net)();
  uint64_t limit;
  const char* figures;  // as Describe writes them
};

void PrintTo(const SpaceCase& c, std::ostream* out) { *out << c.name; }

class Spaces : public ::testing::TestWithParam<SpaceCase> {};

TEST_P(Spaces, Figures) {
  const SpaceCase& c = GetParam();
  EXPECT_EQ(pnconvtest::Describe(pnconvtest::Explore(c.net(), c.limit)), c.figures);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Spaces,
    ::testing::Values(
        SpaceCase{"no_nodes", [] { return Build({}, {}); }, 10, "complete 1 0 0 0"},
        SpaceCase{"dead_at_once", [] { return Build({1}, {{{{0, 2}}, {}}}); }, 10, "complete 1 0 1 1"},
        // A transition with no arcs, or one that gives back what it takes,
        // is an edge from a marking to itself.
        SpaceCase{"empty_transition", [] { return Build({}, {{}}); }, 10, "complete 1 1 0 0"},
        SpaceCase{"self_loop", [] { return Build({3}, {{{{0, 2}}, {{0, 2}}}}); }, 10, "complete 1 1 3 3"},
        SpaceCase{"token_cycle", [] { return Cycles(1); }, 10, "complete 2 2 1 1"},
        // Two transitions between the same two markings: two edges.
        SpaceCase{"edges_that_meet", [] { return Build({1, 0}, {{{{0, 1}}, {{1, 1}}}, {{{0, 1}}, {{1, 1}}}}); }, 10,
                  "complete 2 2 1 1"},
        // (5,0) -> (3,3) -> (1,6): the place that was empty grows past the
        // width of the one that held 5.
        SpaceCase{"weights", [] { return Build({5, 0}, {{{{0, 2}}, {{1, 3}}}}); }, 10, "complete 3 2 6 7"},
        // The count of p1 outgrows one bit, then two, four and eight: every
        // stored marking is packed again each time and must still be found.
        SpaceCase{"counts_outgrow_their_width",
                  [] { return Build({300, 0, 1}, {{{{0, 1}}, {{1, 1}}}, {{{2, 1}}, {}}}); }, 1000,
                  "complete 602 901 300 301"},
        // p0 outgrows its field, which moves p1's: the first marking, packed
        // again, must still be found when it comes back.
        SpaceCase{"met_again_after_widening", [] { return Build({0, 1}, {{{{1, 1}}, {{0, 4}}}, {{{0, 4}}, {{1, 1}}}}); },
                  10, "complete 2 2 4 4"},
        SpaceCase{"product_of_cycles", [] { return Cycles(16); }, 1 << 16, "complete 65536 1048576 1 16"},
        // A limit the space just fits is no limit; one short of it is.
        // The contest's published figures for five philosophers.
        SpaceCase{"philosophers", [] { return Philosophers(5); }, 1000, "complete 243 945 1 10"},
        SpaceCase{"limit_just_met", [] { return Cycles(3); }, 8, "complete 8 24 1 3"},
        SpaceCase{"limit_one_short", [] { return Cycles(3); }, 7, "limit 7"},
        // A transition that only produces: the walk stops at the limit.
        SpaceCase{"unbounded", [] { return Build({0}, {{{}, {{0, 1}}}}); }, 100, "limit 100"},
        // Counts beyond 64 bits end the walk; they never wrap.
        SpaceCase{"count_overflows", [] { return Build({INT64_MAX - 1}, {{{}, {{0, 1}}}}); }, 10, "overflow 2"},
        SpaceCase{"total_overflows", [] { return Build({INT64_MAX, 1}, {}); }, 10, "overflow 1"},
        SpaceCase{"limit_zero", [] { return Cycles(1); }, 0, "limit 0"}),
    [](const ::testing::TestParamInfo<SpaceCase>& info) { return std::string(info.param.name); });

}  // namespace
