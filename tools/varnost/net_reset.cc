// SPDX-License-Identifier: MIT
// Release of the net globals. The tool itself never calls this: its globals
// live until the process ends. Programs that read many nets in one process
// (the fuzz targets) call it between two nets so that every allocation of the
// previous net is released and the globals start from null again.
#include <cstddef>
#include <cstdlib>

#include "arc_list.h"
#include "net_reader.h"

namespace {

void FreeTable(int** table) {
  if (table == nullptr) return;
  // CreerTab keeps every row in one block that starts at the first row.
  if (NbPlaces > 0 && table[0] != nullptr) {
    varnost::FreeCells(table[0], static_cast<size_t>(NbPlaces) * static_cast<size_t>(NbTrans));
  }
  std::free(table);
}

}  // namespace

namespace varnost {

void ResetNet() {
  FreeTable(Pre);
  FreeTable(Post);
  FreeEnsI(Marking);
  if (Pl != nullptr) {
    for (int p = 0; p < NbPlaces; ++p) {
      FreeEnsI(Pl[p].TrIn);
      FreeEnsI(Pl[p].TrOut);
    }
  }
  if (Tr != nullptr) {
    for (int t = 0; t < NbTrans; ++t) {
      FreeEnsI(Tr[t].PlIn);
      FreeEnsI(Tr[t].PlOut);
    }
  }
  std::free(Pl);
  std::free(Tr);
  if (NameObj != nullptr) {
    const size_t count = static_cast<size_t>(NbPlaces) + static_cast<size_t>(NbTrans);
    for (size_t i = 0; i < count; ++i) std::free(NameObj[i]);
  }
  std::free(NameObj);
  std::free(NumObj);
  std::free(NomModele);
  RecordedArcs().Clear();
  Pre = Post = nullptr;
  Marking = nullptr;
  Pl = nullptr;
  Tr = nullptr;
  NameObj = nullptr;
  NumObj = nullptr;
  NomModele = nullptr;
  NbPlaces = NbTrans = NbArcs = 0;
}

}  // namespace varnost
