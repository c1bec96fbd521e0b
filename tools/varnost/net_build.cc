// Building the neighbour sets of places and transitions from the arcs read.
#include <climits>
#include <cstdint>
#include <cstdlib>
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

// A new set of universe `universe` with room for exactly `count` appends.
t_EnsI NewSet(int universe, int count) {
  t_EnsI E = varnost::TryInitEnsI(universe);
  if (E != nullptr && !varnost::TryReserveEnsI(E, count)) {
    FreeEnsI(E);
    return nullptr;
  }
  return E;
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
  arcs.ForEach([&](varnost::Arc a) {
    if (a.row < places) {
      ++trOut[a.row];
      ++plIn[a.col];
    } else {
      ++trIn[a.row - places];
      ++plOut[a.col];
    }
  });

  Pl = static_cast<t_Place*>(std::calloc(places > 0 ? places : 1, sizeof(t_Place)));
  Tr = static_cast<t_Trans*>(std::calloc(transitions > 0 ? transitions : 1, sizeof(t_Trans)));
  if (Pl == nullptr || Tr == nullptr) return Fail();
  for (size_t p = 0; p < places; ++p) {
    Pl[p].TrIn = NewSet(NbTrans, trIn[p]);
    Pl[p].TrOut = NewSet(NbTrans, trOut[p]);
    if (Pl[p].TrIn == nullptr || Pl[p].TrOut == nullptr) return Fail();
  }
  for (size_t t = 0; t < transitions; ++t) {
    Tr[t].PlIn = NewSet(NbPlaces, plIn[t]);
    Tr[t].PlOut = NewSet(NbPlaces, plOut[t]);
    if (Tr[t].PlIn == nullptr || Tr[t].PlOut == nullptr) return Fail();
  }

  // Capacities were reserved above for exactly these elements, in ascending
  // order: plain stores.
  auto append = [](t_EnsI E, int e) { E->Ens[E->NbEl++] = e; };
  arcs.ForEach([&](varnost::Arc a) {
    const int row = static_cast<int>(a.row < places ? a.row : a.row - places);
    const int col = static_cast<int>(a.col);
    if (a.row < places) {
      append(Pl[row].TrOut, col);
      append(Tr[col].PlIn, row);
    } else {
      append(Pl[row].TrIn, col);
      append(Tr[col].PlOut, row);
    }
  });
  NbArcs = arcs.size() > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(arcs.size());
  varnost::RecordedArcs().Clear();
  return 0;
}
