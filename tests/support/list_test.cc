// SPDX-License-Identifier: MIT
// The generic list: traversals with early stop and deferred deletion, the
// process-wide cursor, hash buckets, and every fatal misuse.
#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quarnel/CListes.h"
#include "quarnel/QXMemory.h"

namespace {

using Visits = std::vector<void*>;

// Records each visited datum in *param1 (a Visits).
void* Record(void* d, void* p1, void*, void*, void*, void*, void*, void*, void*) {
  static_cast<Visits*>(p1)->push_back(d);
  return nullptr;
}

void* Walk(CListe l, ParcoursProcPtr f, void* p1 = nullptr, void* p2 = nullptr,
           void* p3 = nullptr) {
  return ParcoursListe(l, f, p1, p2, p3, nullptr, nullptr, nullptr, nullptr, nullptr);
}

Visits Contents(CListe l) {
  Visits v;
  Walk(l, Record, &v);
  return v;
}

class ListTest : public ::testing::Test {
 public:
  void SetUp() override {
    ListeInit();
    list_ = CreerListe();
    for (int& v : values_) AjoutFinListe(list_, &v);
  }
  void TearDown() override {
    ViderListe(list_);
    DetruireListe(list_);
    ListeInit();
  }
  void* at(int i) { return &values_[i]; }

  int values_[4] = {10, 11, 12, 13};
  CListe list_ = nullptr;
};

TEST_F(ListTest, TraversesInBothDirectionsWithPassThroughParameters) {
  EXPECT_EQ(Contents(list_), (Visits{at(0), at(1), at(2), at(3)}));
  Visits back;
  int p2 = 2, p8 = 8;
  auto check = [](void* d, void* p1, void* q2, void* q3, void*, void*, void*, void*,
                  void* q8) -> void* {
    static_cast<Visits*>(p1)->push_back(d);
    EXPECT_EQ(*static_cast<int*>(q2), 2);
    EXPECT_EQ(q3, nullptr);
    EXPECT_EQ(*static_cast<int*>(q8), 8);
    return nullptr;
  };
  EXPECT_EQ(ParcoursInverse(list_, check, &back, &p2, nullptr, nullptr, nullptr, nullptr, nullptr,
                            &p8),
            nullptr);
  EXPECT_EQ(back, (Visits{at(3), at(2), at(1), at(0)}));
}

TEST_F(ListTest, EmptyListCallsNothingAndKeepsTheCursor) {
  ListePremier(list_);  // cursor on the first element
  CListe empty = CreerListe();
  Visits v;
  EXPECT_EQ(Walk(empty, Record, &v), nullptr);
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(ParcoursSuivant(), at(1));  // still on list_'s first element
  DetruireListe(empty);
}

TEST_F(ListTest, NonNullResultStopsAndMarkedDeletionsAreCarriedOut) {
  // Removes the first element, stops on the second with its datum.
  auto stopAtSecond = [](void* d, void* p1, void*, void*, void*, void*, void*, void*,
                         void*) -> void* {
    auto* seen = static_cast<Visits*>(p1);
    seen->push_back(d);
    if (seen->size() == 1) EnleveElementCourant();
    return seen->size() == 2 ? d : nullptr;
  };
  Visits seen;
  EXPECT_EQ(Walk(list_, stopAtSecond, &seen), at(1));
  EXPECT_EQ(seen, (Visits{at(0), at(1)}));
  EXPECT_EQ(list_->nbElem, 3);
  EXPECT_EQ(list_->ASupprimer, 0);
  EXPECT_EQ(list_->nbParcours, 0);
  EXPECT_EQ(Contents(list_), (Visits{at(1), at(2), at(3)}));
}

TEST_F(ListTest, CallbackRemovingItselfDefersTheUnlink) {
  struct State {
    CListe list;
    std::vector<short> counts;
    std::vector<short> linked;
  } st{list_, {}, {}};
  auto removeOdd = [](void* d, void* p1, void*, void*, void*, void*, void*, void*,
                      void*) -> void* {
    auto* s = static_cast<State*>(p1);
    if (*static_cast<int*>(d) % 2 == 1) EnleveElementCourant();
    s->counts.push_back(NbElementListe(s->list));
    s->linked.push_back(s->list->nbElem);
    return nullptr;
  };
  Walk(list_, removeOdd, &st);
  EXPECT_EQ(st.counts, (std::vector<short>{4, 3, 3, 2}));
  EXPECT_EQ(st.linked, (std::vector<short>{4, 4, 4, 4}));  // nothing unlinked yet
  EXPECT_EQ(list_->nbElem, 2);
  EXPECT_EQ(Contents(list_), (Visits{at(0), at(2)}));
}

TEST_F(ListTest, DeletionsWaitForTheOutermostTraversal) {
  // The inner traversal (from the first element) removes the last element and
  // the element being visited by the outer one; both stay linked until the
  // outer traversal ends, and the outer one never visits the removed last.
  struct State {
    ListTest* t;
    ParcoursProcPtr inner;
    Visits outer;
    short linkedAfterInner = 0;
  } st{this, nullptr, {}, 0};
  auto inner = [](void* d, void* p1, void*, void*, void*, void*, void*, void*, void*) -> void* {
    auto* s = static_cast<State*>(p1);
    if (d == s->t->at(3)) EnleveElementCourant();
    return nullptr;
  };
  st.inner = inner;
  auto outer = [](void* d, void* p1, void*, void*, void*, void*, void*, void*,
                  void*) -> void* {
    auto* s = static_cast<State*>(p1);
    s->outer.push_back(d);
    if (d == s->t->at(1)) {
      CListeSauve saved;
      ParcoursSauve(&saved);
      Walk(s->t->list_, s->inner, s);
      ParcoursRestore(&saved);
      EnleveElementCourant();  // at(1) again, thanks to the restore
      s->linkedAfterInner = s->t->list_->nbElem;
    }
    return nullptr;
  };
  Walk(list_, outer, &st);
  EXPECT_EQ(st.outer, (Visits{at(0), at(1), at(2)}));
  EXPECT_EQ(st.linkedAfterInner, 4);
  EXPECT_EQ(Contents(list_), (Visits{at(0), at(2)}));
  EXPECT_EQ(list_->ASupprimer, 0);
}

// A C++ callback's exception passes through both walks; each ends as if it
// had returned, so the deletions it deferred are carried out and the list can
// be emptied afterwards.
TEST_F(ListTest, ExceptionFromACallbackEndsTheWalkAndCarriesOutItsDeletions) {
  struct Thrown {};
  auto removeThenThrow = [](void* d, void* p1, void*, void*, void*, void*, void*, void*,
                            void*) -> void* {
    EnleveElementCourant();
    if (d == p1) throw Thrown{};
    return nullptr;
  };
  for (bool backwards : {false, true}) {
    SCOPED_TRACE(backwards ? "ParcoursInverse" : "ParcoursListe");
    ViderListe(list_);
    for (int& v : values_) AjoutFinListe(list_, &v);
    void* stop = backwards ? at(2) : at(1);
    EXPECT_THROW((backwards ? ParcoursInverse : ParcoursListe)(list_, removeThenThrow, stop,
                                                               nullptr, nullptr, nullptr, nullptr,
                                                               nullptr, nullptr, nullptr),
                 Thrown);
    EXPECT_EQ(list_->nbParcours, 0);
    EXPECT_EQ(list_->ASupprimer, 0);
    EXPECT_EQ(list_->nbElem, 2);
    EXPECT_EQ(Contents(list_), backwards ? (Visits{at(0), at(1)}) : (Visits{at(2), at(3)}));
  }
}

TEST_F(ListTest, EmptyingDuringTraversalStopsTheVisits) {
  Visits seen;
  auto emptyAll = [](void* d, void* p1, void* p2, void*, void*, void*, void*, void*,
                     void*) -> void* {
    static_cast<Visits*>(p1)->push_back(d);
    ParcoursViderListe(static_cast<CListe>(p2));
    return nullptr;
  };
  Walk(list_, emptyAll, &seen, list_);
  EXPECT_EQ(seen, Visits{at(0)});
  EXPECT_EQ(NbElementListe(list_), 0);
  EXPECT_EQ(list_->nbElem, 0);
  EXPECT_EQ(list_->pSuc, reinterpret_cast<P_ListElem>(list_));
}

TEST_F(ListTest, CursorPeeksWithoutMoving) {
  struct State {
    ListTest* t;
    std::vector<std::pair<void*, void*>> peeks;
  } st{this, {}};
  auto peek = [](void*, void* p1, void*, void*, void*, void*, void*, void*, void*) -> void* {
    auto* s = static_cast<State*>(p1);
    void* next = ParcoursSuivant();
    EXPECT_EQ(ParcoursSuivant(), next);
    s->peeks.emplace_back(ParcoursPrecedent(), next);
    return nullptr;
  };
  Walk(list_, peek, &st);
  std::vector<std::pair<void*, void*>> expected = {
      {nullptr, at(1)}, {at(0), at(2)}, {at(1), at(3)}, {at(2), nullptr}};
  EXPECT_EQ(st.peeks, expected);

  EXPECT_EQ(ListeDernier(list_), at(3));
  EXPECT_EQ(ParcoursPrecedent(), at(2));
  EXPECT_EQ(ListePremier(list_), at(0));
  EXPECT_EQ(ParcoursSuivant(), at(1));
}

TEST_F(ListTest, CursorInsertionsAndRemoval) {
  int before = 1, after = 2;
  ListePremier(list_);
  ParcoursInsereAvant(&before);
  ParcoursInsereApres(&after);
  EXPECT_EQ(Contents(list_), (Visits{&before, at(0), &after, at(1), at(2), at(3)}));

  ListeDernier(list_);
  EnleveElementCourant();  // removed at once: no traversal runs
  EXPECT_EQ(ParcoursSuivant(), nullptr);  // the cursor no longer names a freed element
  EXPECT_EQ(Contents(list_), (Visits{&before, at(0), &after, at(1), at(2)}));
  ViderListe(list_);

  // A search on an empty list leaves the cursor on the header: an insertion
  // after it is the first element.
  EXPECT_EQ(ListePremier(list_), nullptr);
  EXPECT_FALSE(UnSeulElement(list_));
  ParcoursInsereApres(&after);
  EXPECT_EQ(Contents(list_), Visits{&after});
  EXPECT_TRUE(UnSeulElement(list_));
}

// Only the two appending operations refuse a null datum: the cursor
// insertions link it like any other, in a hash list too (unfiled, having no
// key), and it is found and removed like any other.
TEST(ListCursorInsertion, NullDatumIsInsertedBesideTheCursor) {
  for (LiListType type : {LiStandard, LiHashULong}) {
    SCOPED_TRACE(type == LiStandard ? "standard list" : "hash list");
    ListeInit();
    uint64_t key = 7;
    CListe l = LiNew(type, IS_POINTER, 0);
    AjoutFinListe(l, &key);
    ListePremier(l);
    ParcoursInsereApres(nullptr);
    ParcoursInsereAvant(nullptr);
    EXPECT_EQ(l->nbElem, 3);
    EXPECT_EQ(NbElementListe(l), 3);
    EXPECT_EQ(Contents(l), (Visits{nullptr, &key, nullptr}));
    EXPECT_NE(ChercheElement(l, nullptr), nullptr);
    EXPECT_TRUE(EnleveElementSiExiste(l, nullptr));
    EXPECT_TRUE(EnleveElementSiExiste(l, nullptr));
    EXPECT_FALSE(EnleveElementSiExiste(l, nullptr));
    EXPECT_EQ(Contents(l), Visits{&key});
    if (type == LiHashULong) {
      EXPECT_EQ(FindInListHashHandleULong(l, 7, 0), &key);
    }
    ViderListe(l);
    DetruireListe(l);
  }
  ListeInit();
}

TEST_F(ListTest, UniqueInsertionsAndRemovalByDatum) {
  int extra = 5;
  EXPECT_TRUE(AjoutUFinListe(list_, &extra));
  EXPECT_FALSE(AjoutUFinListe(list_, &extra));
  EXPECT_FALSE(AjoutUListe(list_, at(2)));
  EXPECT_EQ(NbElementListe(list_), 5);
  EXPECT_EQ(ChercheElement(list_, &extra), list_->pPre);

  EXPECT_TRUE(EnleveElementSiExiste(list_, &extra));
  EXPECT_FALSE(EnleveElementSiExiste(list_, &extra));
  EXPECT_EQ(ChercheElement(list_, &extra), nullptr);
  EnleveElement(list_, at(0));
  P_ListElem front = AjoutListe(list_, at(0));
  EXPECT_EQ(list_->pSuc, front);
  EnleveElementIndex(list_, front);
  EXPECT_EQ(Contents(list_), (Visits{at(1), at(2), at(3)}));
}

struct Rec {
  uint64_t pad;
  uint64_t key;
  char name[8];
};

TEST(ListSearch, FindInListByBytesAtOffsetDirectAndThroughHandles) {
  Rec a{0, 7, "alpha"}, b{0, 9, "beta"};
  CListe ptrs = CreerListe();
  AjoutFinListe(ptrs, &a);
  AjoutFinListe(ptrs, &b);
  uint64_t nine = 9, none = 4;
  EXPECT_EQ(FindInList(ptrs, IS_POINTER, &nine, sizeof nine, offsetof(Rec, key)), &b);
  EXPECT_EQ(FindInList(ptrs, IS_POINTER, "beta", 4, offsetof(Rec, name)), &b);
  EXPECT_EQ(FindInList(ptrs, IS_POINTER, &none, sizeof none, offsetof(Rec, key)), nullptr);
  EXPECT_EQ(FindInList(ptrs, IS_POINTER, nullptr, 0, 0), &a);  // size 0: first element

  Handle h = NewHandle(sizeof(Rec));
  *reinterpret_cast<Rec*>(*h) = b;
  CListe handles = CreerListe();
  AjoutFinListe(handles, h);
  EXPECT_EQ(FindInList(handles, IS_HANDLE, &nine, sizeof nine, offsetof(Rec, key)), h);

  ViderListe(ptrs);
  ViderListe(handles);
  DetruireListe(ptrs);
  DetruireListe(handles);
  DisposeHandle(h);
}

TEST(ListHash, KeysSharingABucketAreFoundEachAndUnfiledOnRemoval) {
  // Keys 3, 35 and 67 share bucket 3; key 4 has its own.
  const uint64_t keys[] = {3, 35, 67, 4};
  std::vector<Handle> handles;
  CListe l = LiNew(LiHashULong, IS_HANDLE, offsetof(Rec, key));
  for (uint64_t k : keys) {
    Handle h = NewHandle(sizeof(Rec));
    reinterpret_cast<Rec*>(*h)->key = k;
    handles.push_back(h);
    AjoutFinListe(l, h);
  }
  EXPECT_EQ(NbElementListe(l->pListPHash->tabHash[3]), 3);
  EXPECT_EQ(NbElementListe(l->pListPHash->tabHash[4]), 1);
  for (size_t i = 0; i < handles.size(); ++i) {
    EXPECT_EQ(FindInListHashHandleULong(l, keys[i], offsetof(Rec, key)), handles[i]) << keys[i];
  }
  EXPECT_EQ(FindInListHashHandleULong(l, 99, offsetof(Rec, key)), nullptr);

  EnleveElement(l, handles[1]);
  EXPECT_EQ(FindInListHashHandleULong(l, 35, offsetof(Rec, key)), nullptr);
  EXPECT_EQ(NbElementListe(l->pListPHash->tabHash[3]), 2);

  ViderListe(l);
  for (CListe bucket : l->pListPHash->tabHash) EXPECT_EQ(NbElementListe(bucket), 0);
  DetruireListe(l);
  for (Handle h : handles) DisposeHandle(h);
}

TEST(ListHash, PointerListIsSearchedThroughItsPointers) {
  Rec a{0, 40, "a"};
  CListe l = LiNew(LiHashULong, IS_POINTER, offsetof(Rec, key));
  AjoutListe(l, &a);
  EXPECT_EQ(FindInListHashHandleULong(l, 40, offsetof(Rec, key)), &a);
  ViderListe(l);
  DetruireListe(l);
}

TEST(ListHash, CursorScansPassOverRemovedElementsWithoutDatum) {
  // In a hash list an element removed during a traversal loses its datum while
  // it waits; the cursor scans pass over it like the traversals do, instead of
  // stopping there with a null answer.
  Rec r[3] = {{0, 1, "a"}, {0, 2, "b"}, {0, 3, "c"}};
  CListe l = LiNew(LiHashULong, IS_POINTER, offsetof(Rec, key));
  for (Rec& x : r) AjoutFinListe(l, &x);
  struct Seen {
    Rec* r;
    void* first = nullptr;
    void* last = nullptr;
    void* before = nullptr;
    void* after = nullptr;
  } seen{r};
  auto body = [](void* d, void* p1, void* p2, void*, void*, void*, void*, void*, void*) -> void* {
    auto* s = static_cast<Seen*>(p1);
    auto l = static_cast<CListe>(p2);
    if (d != &s->r[1]) return nullptr;
    EnleveElement(l, &s->r[0]);
    EnleveElement(l, &s->r[2]);
    s->first = ListePremier(l);
    s->before = ParcoursPrecedent();
    s->after = ParcoursSuivant();
    s->last = ListeDernier(l);
    return d;
  };
  EXPECT_EQ(ParcoursListe(l, body, &seen, l, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr),
            &r[1]);
  EXPECT_EQ(seen.first, &r[1]);
  EXPECT_EQ(seen.last, &r[1]);
  EXPECT_EQ(seen.before, nullptr);
  EXPECT_EQ(seen.after, nullptr);
  EXPECT_EQ(l->nbElem, 1);
  EXPECT_EQ(FindInListHashHandleULong(l, 2, offsetof(Rec, key)), &r[1]);
  EXPECT_EQ(FindInListHashHandleULong(l, 1, offsetof(Rec, key)), nullptr);
  ViderListe(l);
  DetruireListe(l);
}

TEST(ListLimits, HoldsThe16BitMaximumAndRefusesOneMore) {
  static int datum = 0;
  CListe l = CreerListe();
  for (int i = 0; i < INT16_MAX; ++i) AjoutFinListe(l, &datum);
  EXPECT_EQ(NbElementListe(l), INT16_MAX);
  EXPECT_DEATH(AjoutFinListe(l, &datum), "^CListe AjoutFinListe: more than 32767 elements\n");
  EXPECT_DEATH(AjoutListe(l, &datum), "^CListe AjoutListe: more than 32767 elements\n");
  ViderListe(l);
  DetruireListe(l);
}

// Every misuse ends the process with one line on standard error naming the
// operation and the misuse.
struct Misuse {
  const char* name;
  void (*run)();
  const char* line;  // the whole standard-error line, without its line feed
};

void* Noop(void*, void*, void*, void*, void*, void*, void*, void*, void*) { return nullptr; }

const Misuse kMisuses[] = {
    {"traversal of a non-list",
     [] {
       _ListHeader bogus{};
       Walk(&bogus, Noop);
     },
     "CListe ParcoursListe: invalid list"},
    {"traversal of null", [] { Walk(nullptr, Noop); },
     "CListe ParcoursListe: null list"},
    {"backward traversal of null",
     [] { ParcoursInverse(nullptr, Noop, 0, 0, 0, 0, 0, 0, 0, 0); },
     "CListe ParcoursInverse: null list"},
    {"null datum", [] { AjoutListe(CreerListe(), nullptr); },
     "CListe AjoutListe: null datum"},
    {"null datum at the end", [] { AjoutFinListe(CreerListe(), nullptr); },
     "CListe AjoutFinListe: null datum"},
    {"removal from an empty list",
     [] {
       int x;
       EnleveElement(CreerListe(), &x);
     },
     "CListe EnleveElement: datum not in the list"},
    {"removal of an absent datum",
     [] {
       int x, y;
       CListe l = CreerListe();
       AjoutListe(l, &x);
       EnleveElement(l, &y);
     },
     "CListe EnleveElement: datum not in the list"},
    {"current removal without cursor",
     [] {
       ListeInit();
       EnleveElementCourant();
     },
     "CListe EnleveElementCourant: no cursor"},
    {"current removal on the header",
     [] {
       ListePremier(CreerListe());
       EnleveElementCourant();
     },
     "CListe EnleveElementCourant: cursor on the list header"},
    {"current removal of a marked element",
     [] {
       int x;
       CListe l = CreerListe();
       AjoutListe(l, &x);
       Walk(l, [](void*, void*, void*, void*, void*, void*, void*, void*, void*) -> void* {
         EnleveElementCourant();
         EnleveElementCourant();
         return nullptr;
       });
     },
     "CListe EnleveElementCourant: cursor element already removed"},
    {"emptying outside a traversal", [] { ParcoursViderListe(CreerListe()); },
     "CListe ParcoursViderListe: no traversal of the list is running"},
    {"clearing during a traversal",
     [] {
       int x;
       CListe l = CreerListe();
       AjoutListe(l, &x);
       Walk(
           l,
           [](void*, void* p1, void*, void*, void*, void*, void*, void*, void*) -> void* {
             ViderListe(static_cast<CListe>(p1));
             return nullptr;
           },
           l);
     },
     "CListe ViderListe: a traversal of the list is running"},
    {"destroying a list with an element",
     [] {
       int x;
       CListe l = CreerListe();
       AjoutListe(l, &x);
       DetruireListe(l);
     },
     "CListe DetruireListe: the list still has elements"},
    {"hash search of a standard list", [] { FindInListHashHandleULong(CreerListe(), 1, 0); },
     "CListe FindInListHashHandleULong: list without hash index"},
    {"hash search of null", [] { FindInListHashHandleULong(nullptr, 1, 0); },
     "CListe FindInListHashHandleULong: null list"},
    {"save into null", [] { ParcoursSauve(nullptr); },
     "CListe ParcoursSauve: null save record"},
    {"restore from null", [] { ParcoursRestore(nullptr); },
     "CListe ParcoursRestore: null save record"},
    {"nesting beyond the 16-bit count",
     [] {
       int x;
       CListe l = CreerListe();
       AjoutListe(l, &x);
       l->nbParcours = INT16_MAX;  // as if 32767 traversals were running
       Walk(l, Noop);
     },
     "CListe ParcoursListe: more than 32767 nested traversals"},
    {"count of an invalid list",
     [] {
       _ListHeader bogus{};
       NbElementListe(&bogus);
     },
     "CListe NbElementListe: invalid list"},
};

class ListMisuse : public ::testing::TestWithParam<Misuse> {};

TEST_P(ListMisuse, AbortsWithOneLineNamingTheOperationAndTheMisuse) {
  EXPECT_DEATH(GetParam().run(), std::string("^") + GetParam().line + "\n$");
}

INSTANTIATE_TEST_SUITE_P(All, ListMisuse, ::testing::ValuesIn(kMisuses),
                         [](const ::testing::TestParamInfo<Misuse>& info) {
                           std::string n;
                           for (const char* c = info.param.name; *c; ++c) {
                             n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           }
                           return n;
                         });

TEST(ListLifecycle, DestroyAcceptsNullAndAnEmptiedList) {
  DetruireListe(nullptr);
  int x;
  CListe l = LiNew(LiHashULong, IS_POINTER, 0);
  uint64_t key = 5;
  AjoutListe(l, &key);
  ViderListe(l);
  EXPECT_EQ(NbElementListe(l), 0);
  DetruireListe(l);
  CListe s = CreerListe();
  AjoutListe(s, &x);
  EXPECT_EQ(NbElementListe(s), 1);
  ViderListe(s);
  DetruireListe(s);
}

}  // namespace
