// SPDX-License-Identifier: MIT
// The PROD net description file: places with their marking, then each
// transition with its input and output places; default names only.
#include <cstdio>
#include <string>

#include "TypePN.h"
#include "messages.h"
#include "output_file.h"

namespace {

void PutPlaces(varnost::OutputFile& out, const char* keyword, t_EnsI places) {
  if (places->NbEl == 0) return;
  out.Put(keyword);
  for (int i = 0; i < places->NbEl; ++i) {
    out.Put('P');
    out.PutInt(places->Ens[i] + 1);
    out.Put(":<..>;");
  }
  out.Put("}\n");
}

bool WriteProd(const std::string& path) {
  varnost::OutputFile out(path);
  if (!out.ok()) return false;
  const int* marked = Marking != nullptr ? Marking->Ens : nullptr;
  const int* markedEnd = Marking != nullptr ? Marking->Ens + Marking->NbEl : nullptr;
  for (int p = 0; p < NbPlaces; ++p) {
    out.Put("#place P");
    out.PutInt(p + 1);
    while (marked != markedEnd && *marked < p) ++marked;
    if (marked != markedEnd && *marked == p) out.Put(" mk (<..>)");
    out.Put('\n');
  }
  for (int t = 0; t < NbTrans; ++t) {
    out.Put("#trans T");
    out.PutInt(t + 1);
    out.Put('\n');
    PutPlaces(out, "in {", Tr[t].PlIn);
    PutPlaces(out, "out {", Tr[t].PlOut);
    out.Put("#endtr\n");
  }
  return out.Commit();
}

}  // namespace

extern "C" {

int SauvegardeProdStatut(const char* FileName) {
  const std::string path = std::string(FileName) + ".net";
  varnost::SayAround("Sauvegarde au format Prod dans le fichier ", path.c_str(), "\n");
  if (WriteProd(path)) return 0;
  std::fputs("erreur lors de la creation du fichier Prod\n", stdout);
  return -1;
}

void SauvegardeProd(char* FileName) { SauvegardeProdStatut(FileName); }

}  // extern "C"
