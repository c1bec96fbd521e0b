// SPDX-License-Identifier: MIT
// Ordered integer sets: storage steps, order, set algebra, comparisons,
// iteration, printing, and sets whose storage comes from a shared block.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "EnsI.h"
#include "common/qxtest.h"
#include "ensi_internal.h"
#include "net_testing.h"

namespace {

using vtest::Elements;

// Owns a set for the scope of a test.
struct Set {
  t_EnsI e;
  explicit Set(t_EnsI set) : e(set) {}
  Set(std::initializer_list<int> values, int universe = 100) : e(InitEnsI(universe)) {
    for (int v : values) AjoutEnsI(e, v);
  }
  ~Set() { FreeEnsI(e); }
  Set(const Set&) = delete;
  Set& operator=(const Set&) = delete;
};

TEST(EnsIStorage, GrowsByTenFromNothing) {
  Set s(InitEnsI(5));
  EXPECT_EQ(s.e->size, 0);
  EXPECT_EQ(s.e->Ens, nullptr);
  EXPECT_EQ(s.e->NbElMax, 5);
  AjoutEnsI(s.e, 0);
  EXPECT_EQ(s.e->size, 10);
  for (int i = 1; i < 10; ++i) AjoutEnsI(s.e, i);
  EXPECT_EQ(s.e->size, 10);
  AjoutEnsI(s.e, 10);
  EXPECT_EQ(s.e->size, 20);
  EXPECT_EQ(s.e->NbElMax, 5);
}

TEST(EnsIStorage, LongAscendingRunKeepsTheTenStepCapacity) {
  // The reader appends long ascending runs; the reported capacity must still
  // follow the 10-step rule and every element must survive the regrowths.
  Set s(InitEnsI(0));
  constexpr int kCount = 100003;
  for (int i = 0; i < kCount; ++i) AjoutEnsI(s.e, 2 * i - kCount);
  ASSERT_EQ(s.e->NbEl, kCount);
  EXPECT_EQ(s.e->size, 100010);
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(s.e->Ens[i], 2 * i - kCount) << i;
}

TEST(EnsIStorage, FullSetAndCopyAndEmptying) {
  Set full(InitPleinEnsI(4));
  EXPECT_EQ(Elements(full.e), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(full.e->size, 4);
  EXPECT_EQ(full.e->NbElMax, 4);
  AjoutEnsI(full.e, 9);  // full: one more step of 10
  EXPECT_EQ(full.e->size, 14);

  Set copy(CopieEnsI(full.e));
  EXPECT_EQ(Elements(copy.e), Elements(full.e));
  EXPECT_EQ(copy.e->size, full.e->size);
  EXPECT_EQ(copy.e->NbElMax, 4);

  Set empty(InitEnsI(7));
  Set emptyCopy(CopieEnsI(empty.e));
  EXPECT_EQ(emptyCopy.e->size, 0);
  EXPECT_EQ(emptyCopy.e->Ens, nullptr);
  EXPECT_EQ(emptyCopy.e->NbElMax, 7);

  VideEnsI(full.e);
  EXPECT_EQ(full.e->NbEl, 0);
  EXPECT_EQ(full.e->size, 0);
  EXPECT_EQ(EstVideEnsI(full.e), 1);
  AjoutEnsI(full.e, 3);  // still usable
  EXPECT_EQ(Elements(full.e), std::vector<int>{3});
}

struct BlockCase {
  const char* name;
  int largest;  // the count of the largest set, which decides how the block is made
  bool mapped;  // whether the block is a mapping of its own
};

class EnsIBlock : public ::testing::TestWithParam<BlockCase> {};

TEST_P(EnsIBlock, SetsKeepTheContractAndTheBlockLivesUntilTheLastIsFreed) {
  const std::vector<int> counts{0, 3, 10, 17, 20, GetParam().largest};
  size_t elements = 0;
  for (int count : counts) elements += varnost::CapacityFor(count);
  std::vector<t_EnsI> sets;
  std::vector<std::vector<int>> model;
  {
    varnost::SetBlock block(elements);
    ASSERT_TRUE(block.ok());
    for (int count : counts) {
      t_EnsI set = InitEnsI(7);
      block.Place(set, count);
      model.emplace_back();
      for (int i = 0; i < count; ++i) {
        AjoutFinEnsI(set, 2 * i);
        model.back().push_back(2 * i);
      }
      sets.push_back(set);
    }
  }  // the sets outlive the SetBlock that placed them
  for (size_t i = 0; i < sets.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sets[i]->size, static_cast<int>(varnost::CapacityFor(counts[i])));
    EXPECT_EQ(sets[i]->NbElMax, 7);
    EXPECT_EQ(Elements(sets[i]), model[i]);
  }
  EXPECT_EQ(sets[0]->Ens, nullptr);
  const int* const largest = sets.back()->Ens;

  // Within the capacity a set changes in place; past it, it moves to storage
  // of its own, by an insertion or by an append.
  AjoutEnsI(sets[3], 5);
  EXPECT_EQ(sets[3]->size, 20);
  AjoutEnsI(sets[2], 7);
  EXPECT_EQ(sets[2]->size, 20);
  AjoutEnsI(sets[4], 1000);
  EXPECT_EQ(sets[4]->size, 30);
  const std::pair<int, int> changes[] = {{3, 5}, {2, 7}, {4, 1000}};
  for (auto [set, value] : changes) {
    model[set].insert(std::lower_bound(model[set].begin(), model[set].end(), value), value);
    EXPECT_EQ(Elements(sets[set]), model[set]) << set;
  }
  Set copy(CopieEnsI(sets[1]));
  VideEnsI(sets[1]);
  EXPECT_EQ(sets[1]->Ens, nullptr);
  AjoutEnsI(sets[1], 1);
  EXPECT_EQ(Elements(sets[1]), std::vector<int>{1});

  for (size_t i = 0; i + 1 < sets.size(); ++i) FreeEnsI(sets[i]);
  EXPECT_EQ(Elements(copy.e), (std::vector<int>{0, 2, 4}));
  ASSERT_EQ(sets.back()->Ens, largest);
  EXPECT_EQ(Elements(sets.back()), model.back());
  FreeEnsI(sets.back());
  if (GetParam().mapped) {
    EXPECT_FALSE(vtest::Mapped(largest));
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, EnsIBlock,
                         ::testing::Values(BlockCase{"FromMalloc", 25, false},
                                           BlockCase{"MappedOnItsOwn", 1 << 20, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EnsIBlock, EmptyBlockPlacesSetsWithoutStorage) {
  varnost::SetBlock block(0);
  EXPECT_TRUE(block.ok());
  Set set(InitEnsI(3));
  block.Place(set.e, 0);
  EXPECT_EQ(set.e->Ens, nullptr);
  EXPECT_EQ(set.e->size, 0);
  AjoutEnsI(set.e, 2);
  EXPECT_EQ(Elements(set.e), std::vector<int>{2});
}

TEST(EnsIInsert, MatchesAnOrderedModelOnRandomInput) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> value(-40, 40);
  for (int round = 0; round < 50; ++round) {
    Set s(InitEnsI(80));
    std::set<int> model;
    for (int i = 0; i < 60; ++i) {
      const int v = value(rng);
      AjoutEnsI(s.e, v);
      model.insert(v);
      ASSERT_EQ(Elements(s.e), std::vector<int>(model.begin(), model.end()));
    }
    for (int v = -45; v <= 45; ++v) ASSERT_EQ(AppartientEnsI(s.e, v), model.count(v) ? 1 : 0);
    EXPECT_EQ(GetCardEnsI(s.e), static_cast<int>(model.size()));
    EXPECT_EQ(s.e->size, (static_cast<int>(model.size()) + 9) / 10 * 10);
  }
}

TEST(EnsIInsert, OrderAndDuplicates) {
  Set s({3, 1, 2});
  EXPECT_EQ(Elements(s.e), (std::vector<int>{1, 2, 3}));
  AjoutEnsI(s.e, 2);
  EXPECT_EQ(Elements(s.e), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(GetElEnsI(s.e, 0), 1);
  EXPECT_EQ(GetElEnsI(s.e, 2), 3);
}

struct AlgebraCase {
  std::vector<int> a, b, inter, uni, diff;
};

class EnsIAlgebra : public ::testing::TestWithParam<AlgebraCase> {};

Set* Make(const std::vector<int>& values, int universe) {
  Set* s = new Set(InitEnsI(universe));
  for (int v : values) AjoutEnsI(s->e, v);
  return s;
}

TEST_P(EnsIAlgebra, OperationsGiveNewSetsAndLeaveOperands) {
  const AlgebraCase& c = GetParam();
  std::unique_ptr<Set> a(Make(c.a, 10)), b(Make(c.b, 20));
  Set inter(InterEnsI(a->e, b->e));
  Set uni(UnionEnsI(a->e, b->e));
  Set diff(DiffEnsI(a->e, b->e));
  EXPECT_EQ(Elements(inter.e), c.inter);
  EXPECT_EQ(Elements(uni.e), c.uni);
  EXPECT_EQ(Elements(diff.e), c.diff);
  EXPECT_EQ(inter.e->NbElMax, 10);
  EXPECT_EQ(diff.e->NbElMax, 10);
  EXPECT_EQ(uni.e->NbElMax, c.a.empty() ? 20 : 10);
  EXPECT_EQ(Elements(a->e), c.a);
  EXPECT_EQ(Elements(b->e), c.b);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnsIAlgebra,
    ::testing::Values(AlgebraCase{{1, 3}, {2, 3}, {3}, {1, 2, 3}, {1}},
                      AlgebraCase{{}, {2, 3}, {}, {2, 3}, {}},
                      AlgebraCase{{1, 3}, {}, {}, {1, 3}, {1, 3}},
                      AlgebraCase{{-5, 0, 7}, {-5, 0, 7}, {-5, 0, 7}, {-5, 0, 7}, {}},
                      AlgebraCase{{1, 2}, {5, 6}, {}, {1, 2, 5, 6}, {1, 2}},
                      AlgebraCase{{5, 6, 30}, {1, 6, 7}, {6}, {1, 5, 6, 7, 30}, {5, 30}}));

TEST(EnsIAlgebra, SupprimeCopiesOrDropsOneElement) {
  Set s({1, 4, 9});
  Set absent(SupprimeEnsI(s.e, 5));
  EXPECT_EQ(Elements(absent.e), (std::vector<int>{1, 4, 9}));
  EXPECT_EQ(Elements(s.e), (std::vector<int>{1, 4, 9}));
  Set empty(InitEnsI(3));
  Set fromEmpty(SupprimeEnsI(empty.e, 1));
  EXPECT_EQ(fromEmpty.e->NbEl, 0);
}

// The set left by removing an element keeps the capacity of the set it came
// from, short or long, and grows from there by the 10-step rule.
TEST(EnsIAlgebra, SupprimeKeepsTheCapacity) {
  for (int count : {3, 1001, 4000}) {
    SCOPED_TRACE(count);
    Set s(InitEnsI(count));
    std::vector<int> rest;
    for (int v = 0; v < count; ++v) {
      AjoutEnsI(s.e, v);
      if (v != count / 2) rest.push_back(v);
    }
    Set present(SupprimeEnsI(s.e, count / 2));
    EXPECT_EQ(Elements(present.e), rest);
    EXPECT_EQ(present.e->size, s.e->size);
    for (int v = count; present.e->NbEl < present.e->size; ++v) AjoutEnsI(present.e, v);
    const int full = present.e->size;
    AjoutEnsI(present.e, 2 * count + 20);
    EXPECT_EQ(present.e->size, full + 10);
  }
}

struct CompareCase {
  std::vector<int> a, b;
  int comp, inclu, egal;
};

class EnsICompare : public ::testing::TestWithParam<CompareCase> {};

TEST_P(EnsICompare, OrderInclusionEquality) {
  const CompareCase& c = GetParam();
  std::unique_ptr<Set> a(Make(c.a, 10)), b(Make(c.b, 10));
  EXPECT_EQ(CompEnsI(a->e, b->e), c.comp);
  EXPECT_EQ(CompEnsI(b->e, a->e), -c.comp);
  EXPECT_EQ(IncluEnsI(a->e, b->e), c.inclu);
  EXPECT_EQ(EgalEnsI(a->e, b->e), c.egal);
}

INSTANTIATE_TEST_SUITE_P(Cases, EnsICompare,
                         ::testing::Values(CompareCase{{1, 2}, {1, 2, 5}, -1, 1, 0},
                                           CompareCase{{1, 3}, {1, 2, 5}, 1, 0, 0},
                                           CompareCase{{1, 5}, {1, 2, 5}, 1, 1, 0},
                                           CompareCase{{4, 6}, {4, 6}, 0, 1, 1},
                                           CompareCase{{}, {2}, -1, 1, 0},
                                           CompareCase{{1}, {}, 1, 0, 0},
                                           CompareCase{{}, {}, 0, 1, 1},
                                           CompareCase{{-3}, {2}, -1, 0, 0}));

TEST(EnsIIteration, WalksInOrderAndRestarts) {
  Set s({7, 2, 5});
  std::vector<int> seen;
  int e = -1;
  InitItEnsI(s.e);
  while (GetNextElEnsI(s.e, &e)) seen.push_back(e);
  EXPECT_EQ(seen, (std::vector<int>{2, 5, 7}));
  e = 42;
  EXPECT_EQ(GetNextElEnsI(s.e, &e), 0);
  EXPECT_EQ(e, 42);
  InitItEnsI(s.e);
  ASSERT_EQ(GetNextElEnsI(s.e, &e), 1);
  EXPECT_EQ(e, 2);
}

TEST(EnsIPrint, PlacesAndTransitions) {
  Set empty(InitEnsI(3));
  Set s({3, 1});
  EXPECT_EQ(qxtest::CaptureFd(1, [&] { PrintEnsIP(empty.e); }), "0\n");
  EXPECT_EQ(qxtest::CaptureFd(1, [&] { PrintEnsIP(s.e); }), "p[1] + p[3] \n");
  EXPECT_EQ(qxtest::CaptureFd(1, [&] { PrintEnsIT(s.e); }), "t[1] + t[3] \n");
}

}  // namespace
