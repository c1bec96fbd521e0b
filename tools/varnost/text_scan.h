// Reading numbers and words from a stream as the "%d" and "%s" conversions
// of scanf do, with values checked against the int range.
#ifndef VARNOST_TEXT_SCAN_H
#define VARNOST_TEXT_SCAN_H

#include <cstdio>
#include <string>

namespace varnost {

// The white space of the C locale.
inline bool IsWhiteSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips white space; the next read starts at the first other byte.
void SkipWhiteSpace(FILE* file);

// White space, an optional sign and digits; the byte after the digits is left
// unread. False when no digit follows (or at the end of the file), or when the
// value does not fit an int.
bool ScanInt(FILE* file, int* value);

// White space, then every byte up to the next white space, whatever the
// length; the white space is left unread. False when no byte is left.
bool ScanWord(FILE* file, std::string* word);

}  // namespace varnost

#endif
