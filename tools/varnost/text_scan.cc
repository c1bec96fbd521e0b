#include "text_scan.h"

#include <climits>
#include <cstdint>

namespace varnost {

void SkipWhiteSpace(FILE* file) {
  int c;
  do c = std::getc(file);
  while (c != EOF && IsWhiteSpace(c));
  if (c != EOF) std::ungetc(c, file);
}

bool ScanInt(FILE* file, int* value) {
  SkipWhiteSpace(file);
  int c = std::getc(file);
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::getc(file);
  }
  if (c < '0' || c > '9') return false;
  // The magnitude stops growing once past the int range: any number of
  // digits is read without overflow.
  int64_t magnitude = 0;
  while (c >= '0' && c <= '9') {
    if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (c - '0');
    c = std::getc(file);
  }
  if (c != EOF) std::ungetc(c, file);
  const int64_t v = negative ? -magnitude : magnitude;
  if (v < INT_MIN || v > INT_MAX) return false;
  *value = static_cast<int>(v);
  return true;
}

bool ScanWord(FILE* file, std::string* word) {
  SkipWhiteSpace(file);
  word->clear();
  int c;
  while ((c = std::getc(file)) != EOF && !IsWhiteSpace(c)) word->push_back(static_cast<char>(c));
  if (c != EOF) std::ungetc(c, file);
  return !word->empty();
}

}  // namespace varnost
