// SPDX-License-Identifier: MIT
// Text listings of the net on standard output.
#include <cstdio>

#include "TypePN.h"

namespace {

void PrintMatrix(const char* title, int** matrix) {
  std::printf("%s\n", title);
  for (int p = 0; p < NbPlaces; ++p) {
    for (int t = 0; t < NbTrans; ++t) std::printf("%d ", matrix[p][t]);
    std::fputc('\n', stdout);
  }
}

void PrintIndices(const char* title, t_EnsI set) {
  std::fputs(title, stdout);
  for (int i = 0; i < set->NbEl; ++i) std::printf(" %d", set->Ens[i]);
  std::fputc('\n', stdout);
}

}  // namespace

extern "C" {

void AfficheNet(void) {
  PrintMatrix("PRE", Pre);
  PrintMatrix("POST", Post);
  std::printf("MARK\n");
  PrintEnsIP(Marking);
}

void AfficheNet2(void) {
  std::printf("Nbre de places/transitions/arcs: %d/%d/%d\n", NbPlaces, NbTrans, NbArcs);
  for (int t = 0; t < NbTrans; ++t) {
    std::printf("Transition %d\n", t);
    PrintIndices("Places d'entree :", Tr[t].PlIn);
    PrintIndices("Places de sortie:", Tr[t].PlOut);
    std::puts("-----------------------------");
  }
  std::fputs("Places Marquees:", stdout);
  PrintEnsIP(Marking);
}

void AfficheRefObj(void) {
  if (NumObj == nullptr || NameObj == nullptr) {
    std::puts("pas de reference pour ce reseau");
    return;
  }
  for (int i = 0; i < NbPlaces; ++i) std::printf("place %d: %s (%d)\n", i, NameObj[i], NumObj[i]);
  for (int t = 0; t < NbTrans; ++t) {
    std::printf("trans %d: %s (%d)\n", t, NameObj[NbPlaces + t], NumObj[NbPlaces + t]);
  }
}

}  // extern "C"
