// SPDX-License-Identifier: MIT
// The PROD net description file of the net globals, written by the
// net-format module's PROD writer.
#include <cstdio>
#include <new>
#include <string>

#include "TypePN.h"
#include "messages.h"
#include "global_lists.h"
#include "prod_writer.h"

namespace {

// Memory that runs out anywhere in the writing, the output file's own set-up
// included, fails it as a write error does: the temporary file is removed
// and the previous file stays.
bool WriteProd(const char* fileName) {
  try {
    netfmt::OutputFile out(std::string(fileName) + ".net");
    return netfmt::WriteProd(varnost::GlobalLists(false), out);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

extern "C" {

int SauvegardeProdStatut(const char* FileName) {
  varnost::SayAround("Sauvegarde au format Prod dans le fichier ", FileName, ".net\n");
  if (WriteProd(FileName)) return 0;
  std::fputs("erreur lors de la creation du fichier Prod\n", stdout);
  return -1;
}

void SauvegardeProd(char* FileName) { SauvegardeProdStatut(FileName); }

}  // extern "C"
