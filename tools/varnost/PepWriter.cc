// The PEP low-level net file ("FORMAT_N"): places with their marking flag,
// transitions, and the arcs; every node at the same position.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "TypePN.h"
#include "output_file.h"

namespace {

// How a node name is quoted. PEP readers take a name between double or single
// quotes, without escapes.
char QuoteFor(const char* name) {
  return std::strchr(name, '"') != nullptr ? '\'' : '"';
}

bool Writable(const char* name) {
  return std::strchr(name, '"') == nullptr || std::strchr(name, '\'') == nullptr;
}

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

void PutNode(varnost::OutputFile& out, int number, const char* name, char kind) {
  out.PutInt(number);
  if (name != nullptr) {
    const char quote = QuoteFor(name);
    out.Put(quote);
    out.Put(name);
    out.Put(quote);
  } else {
    out.Put('"');
    out.Put(kind);
    out.PutInt(number);
    out.Put('"');
  }
  out.Put("50@50");
}

void PutArcs(varnost::OutputFile& out, int from, t_EnsI to, char sign) {
  // "from" and the sign start every line: composed once.
  char prefix[24];
  char* end = std::to_chars(prefix, prefix + sizeof prefix - 1, from).ptr;
  *end++ = sign;
  const std::string_view head(prefix, static_cast<size_t>(end - prefix));
  for (int i = 0; i < to->NbEl; ++i) {
    out.Put(head);
    out.PutInt(to->Ens[i] + 1);
    out.Put('\n');
  }
}

bool WritePep(const char* fileName) {
  const bool names = UseReferenceNames();
  varnost::OutputFile out(std::string(fileName) + ".ll_net");
  if (!out.ok()) return false;
  out.Put("PEP\nPetriBox\nFORMAT_N\nPL\n");
  const int* marked = Marking != nullptr ? Marking->Ens : nullptr;
  const int* markedEnd = Marking != nullptr ? Marking->Ens + Marking->NbEl : nullptr;
  for (int p = 0; p < NbPlaces; ++p) {
    PutNode(out, p + 1, names ? NameObj[p] : nullptr, 'P');
    while (marked != markedEnd && *marked < p) ++marked;
    if (marked != markedEnd && *marked == p) out.Put("M1");
    out.Put('\n');
  }
  out.Put("TR\n");
  for (int t = 0; t < NbTrans; ++t) {
    PutNode(out, t + 1, names ? NameObj[NbPlaces + t] : nullptr, 'T');
    out.Put('\n');
  }
  out.Put("TP\n");
  for (int t = 0; t < NbTrans; ++t) PutArcs(out, t + 1, Tr[t].PlOut, '<');
  out.Put("PT\n");
  for (int p = 0; p < NbPlaces; ++p) PutArcs(out, p + 1, Pl[p].TrOut, '>');
  return out.Commit();
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
