// SPDX-License-Identifier: MIT
// The PROD net description file of the net globals, written by the
// net-format module's PROD writer.
#include <cstdio>
#include <string>

#include "TypePN.h"
#include "messages.h"
#include "global_lists.h"
#include "prod_writer.h"

namespace {

bool WriteProd(const std::string& path) {
  netfmt::OutputFile out(path);
  try {
    return netfmt::WriteProd(varnost::GlobalLists(false), out);
  } catch (const std::bad_alloc&) {
    return false;  // the temporary file is removed
  }
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
