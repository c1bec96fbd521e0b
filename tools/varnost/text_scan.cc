// SPDX-License-Identifier: MIT
#include "text_scan.h"

namespace varnost {

bool ScanWord(FILE* file, std::string* word) {
  SkipWhiteSpace(file);
  word->clear();
  int c;
  while ((c = std::getc(file)) != EOF && !IsWhiteSpace(c)) word->push_back(static_cast<char>(c));
  if (c != EOF) std::ungetc(c, file);
  return !word->empty();
}

}  // namespace varnost
