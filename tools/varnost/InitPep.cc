// SPDX-License-Identifier: MIT
// The PEP low-level net file of the net globals, written by the net-format
// module's PEP writer.
#include <cstdio>
#include <new>
#include <string>

#include "TypePN.h"
#include "global_lists.h"
#include "pep_writer.h"

namespace {

bool Writable(const char* name) { return netfmt::PepQuote(name) != 0; }

// Whether the net is written with its reference names: it has them, and every
// one of them can be quoted. A name holding both quote characters cannot be
// written faithfully; the whole net then gets the default names, as when the
// reference file is faulty, and standard error says which node was the cause.
bool UseReferenceNames() {
  if (NameObj == nullptr || NumObj == nullptr) return false;
  const int nodes = NbPlaces + NbTrans;
  for (int i = 0; i < nodes; ++i) {
    if (Writable(NameObj[i])) continue;
    const bool place = i < NbPlaces;
    std::fprintf(stderr,
                 "Varnost: le nom de %s %d contient \" et ': le reseau est ecrit avec les noms "
                 "par defaut (nom: %s)\n",
                 place ? "la place" : "la transition", place ? i + 1 : i - NbPlaces + 1,
                 NameObj[i]);
    return false;
  }
  return true;
}

// Memory that runs out anywhere in the writing, the output file's own set-up
// included, fails it as a write error does: the temporary file is removed
// and the previous file stays.
bool WritePep(const char* fileName) {
  try {
    const bool names = UseReferenceNames();
    netfmt::OutputFile out(std::string(fileName) + ".ll_net");
    return netfmt::WritePep(varnost::GlobalLists(names), out);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

extern "C" {

int SauvegardePepStatut(const char* FileName) {
  if (WritePep(FileName)) return 0;
  std::fputs("erreur lors de la creation du fichier pep\n", stdout);
  return -1;
}

void SauvegardePep(char* FileName) { SauvegardePepStatut(FileName); }

}  // extern "C"
