// SPDX-License-Identifier: MIT
// Building the neighbour sets of places and transitions from the arcs read.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "arc_list.h"
#include "ensi_internal.h"
#include "messages.h"
#include "net_reader.h"

namespace {

std::unique_ptr<int[]> ZeroCounts(size_t n) {
  return std::unique_ptr<int[]>(new (std::nothrow) int[n > 0 ? n : 1]());
}

// A new set of universe `universe` with room for exactly `count` appends,
// from the block.
t_EnsI NewSet(varnost::SetBlock& block, int universe, int count) {
  t_EnsI E = varnost::TryInitEnsI(universe);
  if (E != nullptr) block.Place(E, count);
  return E;
}

// Stores 0, 1, ..., n-1 at out: the set of a node linked to every node of the
// other kind, which needs no look at the matrices. Runs of 8 stores are
// written as vectors.
void StoreAll(int* out, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    for (size_t k = 0; k < 8; ++k) out[i + k] = static_cast<int>(i + k);
  }
  for (; i < n; ++i) out[i] = static_cast<int>(i);
}

// The number of cells of `row` (n cells) greater than 0; adds 1 to counts[t]
// for each such cell t. By groups of 8 cells copied to locals first: the
// compiler, which cannot rule out that `counts` overlaps `row`, then handles
// each group as vectors.
int CountArcs(const int* row, int* counts, size_t n) {
  constexpr size_t kGroup = 8;
  int sums[kGroup] = {};
  size_t t = 0;
  for (; t + kGroup <= n; t += kGroup) {
    int arcs[kGroup];
    std::memcpy(arcs, row + t, sizeof arcs);
    for (size_t k = 0; k < kGroup; ++k) arcs[k] = arcs[k] > 0;
    for (size_t k = 0; k < kGroup; ++k) counts[t + k] += arcs[k];
    for (size_t k = 0; k < kGroup; ++k) sums[k] += arcs[k];
  }
  int total = 0;
  for (size_t k = 0; k < kGroup; ++k) total += sums[k];
  for (; t < n; ++t) {
    const int arc = row[t] > 0;
    counts[t] += arc;
    total += arc;
  }
  return total;
}

// Cells read at once in the branch-free loops below.
constexpr size_t kRun = 16;

// Stores at out, in order, the positions of the `count` cells of `row` that
// are greater than 0. Each position is stored unconditionally and kept by
// stepping over it only when its cell is an arc, so mixed rows cost no
// mispredicted branches. The store of a cell that is no arc lands just past
// the elements kept, which is within the set's storage as long as kRun or
// more elements are still to come; the last ones are found with a test.
void StorePositives(const int* row, int* out, int count) {
  int* const end = out + count;
  size_t i = 0;
  while (end - out >= static_cast<ptrdiff_t>(kRun)) {
    for (size_t k = 0; k < kRun; ++k) {
      *out = static_cast<int>(i + k);
      out += row[i + k] > 0;
    }
    i += kRun;
  }
  for (; out != end; ++i) {
    if (row[i] > 0) *out++ = static_cast<int>(i);
  }
}

int Fail() {
  varnost::SayOutOfMemory();
  return -1;
}

}  // namespace

extern "C" int InitPlTr(void) {
  const size_t places = NbPlaces > 0 ? static_cast<size_t>(NbPlaces) : 0;
  const size_t transitions = NbTrans > 0 ? static_cast<size_t>(NbTrans) : 0;
  const varnost::ArcList& arcs = varnost::RecordedArcs();

  // The arcs come in reading order (row by row, each row by column), so every
  // set receives its elements in ascending order: each is sized from a first
  // count and filled by appends. Each set ends with the elements and the
  // capacity that ordered insertion would have given it.
  auto trIn = ZeroCounts(places);
  auto trOut = ZeroCounts(places);
  auto plIn = ZeroCounts(transitions);
  auto plOut = ZeroCounts(transitions);
  if (!trIn || !trOut || !plIn || !plOut) return Fail();
  // The arcs of dense matrices are read from the matrices themselves, row by
  // row for the counts.
  const bool inMatrices = arcs.InMatrices();
  if (inMatrices) {
    for (size_t p = 0; p < places; ++p) {
      trOut[p] = CountArcs(arcs.pre()[p], plIn.get(), transitions);
      trIn[p] = CountArcs(arcs.post()[p], plOut.get(), transitions);
    }
  } else {
    arcs.ForEach([&](varnost::Arc a) {
      if (a.row < places) {
        ++trOut[a.row];
        ++plIn[a.col];
      } else {
        ++trIn[a.row - places];
        ++plOut[a.col];
      }
    });
  }

  // The storage of all the sets in one block, whose pages are written from
  // end to end below.
  size_t elements = 0;
  for (size_t p = 0; p < places; ++p) elements += varnost::CapacityFor(trIn[p]) + varnost::CapacityFor(trOut[p]);
  for (size_t t = 0; t < transitions; ++t) elements += varnost::CapacityFor(plIn[t]) + varnost::CapacityFor(plOut[t]);
  varnost::SetBlock storage(elements);
  if (!storage.ok()) return Fail();
  Pl = static_cast<t_Place*>(std::calloc(places > 0 ? places : 1, sizeof(t_Place)));
  Tr = static_cast<t_Trans*>(std::calloc(transitions > 0 ? transitions : 1, sizeof(t_Trans)));
  if (Pl == nullptr || Tr == nullptr) return Fail();
  for (size_t p = 0; p < places; ++p) {
    Pl[p].TrIn = NewSet(storage, NbTrans, trIn[p]);
    Pl[p].TrOut = NewSet(storage, NbTrans, trOut[p]);
    if (Pl[p].TrIn == nullptr || Pl[p].TrOut == nullptr) return Fail();
  }
  for (size_t t = 0; t < transitions; ++t) {
    Tr[t].PlIn = NewSet(storage, NbPlaces, plIn[t]);
    Tr[t].PlOut = NewSet(storage, NbPlaces, plOut[t]);
    if (Tr[t].PlIn == nullptr || Tr[t].PlOut == nullptr) return Fail();
  }

  // Capacities were reserved above for exactly these elements, which come in
  // ascending order: plain stores through a write position per set, and each
  // set's count at the end.
  std::unique_ptr<int*[]> trOutAt(new (std::nothrow) int*[places > 0 ? places : 1]);
  std::unique_ptr<int*[]> trInAt(new (std::nothrow) int*[places > 0 ? places : 1]);
  // The transition sets by key: PlIn of t is key t, PlOut of t is key
  // transitions + t.
  const size_t keys = 2 * transitions;
  std::unique_ptr<int*[]> keyAt(new (std::nothrow) int*[keys > 0 ? keys : 1]);
  if (!trOutAt || !trInAt || !keyAt) return Fail();
  for (size_t p = 0; p < places; ++p) {
    trOutAt[p] = Pl[p].TrOut->Ens;
    trInAt[p] = Pl[p].TrIn->Ens;
  }
  for (size_t t = 0; t < transitions; ++t) {
    keyAt[t] = Tr[t].PlIn->Ens;
    keyAt[transitions + t] = Tr[t].PlOut->Ens;
  }
  // The arcs come row by row: the place sets are written in runs, the
  // transition sets one element each in turn, which with many transitions
  // misses the caches at every store. With few keys per block of arcs, each
  // block is first sorted by key (a counting sort, stable) into a small
  // buffer and every key's run then copied at once.
  const bool sortBlocks = !inMatrices && keys <= varnost::ArcList::kBlock / 8;
  std::unique_ptr<uint32_t[]> keyStart;
  std::unique_ptr<int[]> sorted;
  if (sortBlocks) {
    keyStart.reset(new (std::nothrow) uint32_t[keys + 1]);
    sorted.reset(new (std::nothrow) int[varnost::ArcList::kBlock]);
    if (!keyStart || !sorted) return Fail();
  }
  auto keyOf = [&](varnost::Arc a) { return a.row < places ? a.col : transitions + a.col; };
  if (inMatrices) {
    // Dense matrices. A set of every node of the other kind is 0, 1, ...
    // without a look at the matrices; the others are read from them. The place
    // sets row by row.
    for (size_t p = 0; p < places; ++p) {
      const size_t all = transitions;
      if (static_cast<size_t>(trOut[p]) == all) {
        StoreAll(trOutAt[p], all);
      } else if (trOut[p] > 0) {
        StorePositives(arcs.pre()[p], trOutAt[p], trOut[p]);
      }
      if (static_cast<size_t>(trIn[p]) == all) {
        StoreAll(trInAt[p], all);
      } else if (trIn[p] > 0) {
        StorePositives(arcs.post()[p], trInAt[p], trIn[p]);
      }
    }
    // The transition sets: those to read from the matrices are read by tiles
    // of kRun places, column by column within the tile, so that each receives
    // a run of elements at once and the tile's rows stay in the caches while
    // its columns are read.
    std::unique_ptr<uint32_t[]> toRead(new (std::nothrow) uint32_t[keys > 0 ? keys : 1]);
    if (!toRead) return Fail();
    size_t reads = 0;
    for (size_t k = 0; k < keys; ++k) {
      const int count = k < transitions ? plIn[k] : plOut[k - transitions];
      if (static_cast<size_t>(count) == places) {
        StoreAll(keyAt[k], places);
      } else if (count > 0) {
        toRead[reads++] = static_cast<uint32_t>(k);
      }
    }
    for (size_t p0 = 0; p0 < places && reads > 0; p0 += kRun) {
      const size_t p1 = std::min(places, p0 + kRun);
      for (size_t r = 0; r < reads; ++r) {
        const size_t k = toRead[r];
        int* const* rows = k < transitions ? arcs.pre() : arcs.post();
        const size_t t = k < transitions ? k : k - transitions;
        const t_EnsI set = k < transitions ? Tr[t].PlIn : Tr[t].PlOut;
        int* at = keyAt[k];
        // As in StorePositives: unconditional stores while a whole tile's
        // elements fit in what is still to come.
        if (set->Ens + (k < transitions ? plIn[t] : plOut[t]) - at >= static_cast<ptrdiff_t>(kRun)) {
          for (size_t p = p0; p < p1; ++p) {
            *at = static_cast<int>(p);
            at += rows[p][t] > 0;
          }
        } else {
          for (size_t p = p0; p < p1; ++p) {
            if (rows[p][t] > 0) *at++ = static_cast<int>(p);
          }
        }
        keyAt[k] = at;
      }
    }
  }
  if (!inMatrices) arcs.ForEachBlock([&](const varnost::Arc* block, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const varnost::Arc a = block[i];
      const int col = static_cast<int>(a.col);
      if (a.row < places) {
        *trOutAt[a.row]++ = col;
      } else {
        *trInAt[a.row - places]++ = col;
      }
    }
    auto rowOf = [&](varnost::Arc a) { return static_cast<int>(a.row < places ? a.row : a.row - places); };
    if (!sortBlocks) {
      for (size_t i = 0; i < n; ++i) *keyAt[keyOf(block[i])]++ = rowOf(block[i]);
      return;
    }
    std::fill(keyStart.get(), keyStart.get() + keys + 1, 0);
    for (size_t i = 0; i < n; ++i) ++keyStart[keyOf(block[i]) + 1];
    for (size_t k = 0; k < keys; ++k) keyStart[k + 1] += keyStart[k];
    for (size_t i = 0; i < n; ++i) sorted[keyStart[keyOf(block[i])]++] = rowOf(block[i]);
    // keyStart[k] is now the end of key k's run, and the start of key k + 1's.
    uint32_t from = 0;
    for (size_t k = 0; k < keys; ++k) {
      const uint32_t to = keyStart[k];
      if (to != from) {
        std::copy(sorted.get() + from, sorted.get() + to, keyAt[k]);
        keyAt[k] += to - from;
        from = to;
      }
    }
  });
  for (size_t p = 0; p < places; ++p) {
    Pl[p].TrOut->NbEl = trOut[p];
    Pl[p].TrIn->NbEl = trIn[p];
  }
  for (size_t t = 0; t < transitions; ++t) {
    Tr[t].PlIn->NbEl = plIn[t];
    Tr[t].PlOut->NbEl = plOut[t];
  }
  uint64_t arcCount = 0;
  for (size_t p = 0; p < places; ++p) arcCount += static_cast<uint64_t>(trOut[p]) + static_cast<uint64_t>(trIn[p]);
  NbArcs = arcCount > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(arcCount);
  varnost::RecordedArcs().Clear();
  return 0;
}
