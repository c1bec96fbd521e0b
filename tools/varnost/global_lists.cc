// SPDX-License-Identifier: MIT
#include "global_lists.h"

#include <memory>
#include <vector>

#include "TypePN.h"

namespace varnost {

namespace {

std::span<const int> Elements(t_EnsI set) {
  return std::span<const int>(set->Ens, static_cast<size_t>(set->NbEl));
}

}  // namespace

netfmt::NetLists GlobalLists(bool names) {
  netfmt::NetLists lists;
  lists.places = NbPlaces > 0 ? NbPlaces : 0;
  lists.transitions = NbTrans > 0 ? NbTrans : 0;
  if (names) {
    lists.name = [](int node) { return std::string_view(NameObj[node]); };
  } else {
    lists.name = [](int) { return std::string_view(); };
  }
  // The marking set, as one flag per place for constant-time questions.
  auto marked = std::make_shared<std::vector<char>>(static_cast<size_t>(lists.places), 0);
  if (Marking != nullptr) {
    for (int i = 0; i < Marking->NbEl; ++i) {
      const int p = Marking->Ens[i];
      if (p >= 0 && p < lists.places) (*marked)[static_cast<size_t>(p)] = 1;
    }
  }
  // Written as marked ("M1"), whatever the count: the converter's file
  // says which places are marked, and carries no weights.
  lists.tokens = [marked](int p) { return int64_t{(*marked)[static_cast<size_t>(p)]}; };
  lists.transitionInputs = [](int t) { return Elements(Tr[t].PlIn); };
  lists.transitionOutputs = [](int t) { return Elements(Tr[t].PlOut); };
  lists.placeOutputs = [](int p) { return Elements(Pl[p].TrOut); };
  return lists;
}

}  // namespace varnost
