// SPDX-License-Identifier: MIT
// The reference file: object numbers and names of places and transitions.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net_reader.h"
#include "support/stdio_file.h"
#include "text_scan.h"

namespace {

// The first line is a title of any reasonable length. One that holds a NUL
// byte, or runs on past this bound, belongs to no reference file (a device
// such as /dev/zero, a binary file): the file is unusable.
constexpr long kFirstLineLimit = 1L << 20;

// Skips the first line, its line feed included. False when it holds a NUL
// byte or does not end within kFirstLineLimit bytes; the end of the file ends
// it.
bool SkipFirstLine(FILE* file) {
  for (long n = 0; n < kFirstLineLimit; ++n) {
    const int c = std::getc(file);
    if (c == EOF || c == '\n') return true;
    if (c == '\0') return false;
  }
  return false;
}

char* DefaultName(char kind, int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%c#%d", kind, number);
  return strdup(text);
}

void DropReferences(size_t count) {
  if (NameObj != nullptr) {
    for (size_t i = 0; i < count; ++i) std::free(NameObj[i]);
  }
  std::free(NameObj);
  std::free(NumObj);
  NameObj = nullptr;
  NumObj = nullptr;
}

// Reads the numbers and names; false when the file is short or malformed, or
// memory is exhausted.
bool ReadReferences(FILE* file, size_t count) {
  const size_t places = static_cast<size_t>(NbPlaces);
  NumObj = static_cast<int*>(std::calloc(count > 0 ? count : 1, sizeof(int)));
  if (NumObj == nullptr || !SkipFirstLine(file)) return false;
  for (size_t i = 0; i < count; ++i) {
    if (!varnost::ScanInt(file, &NumObj[i])) return false;
  }
  NameObj = static_cast<char**>(std::calloc(count > 0 ? count : 1, sizeof(char*)));
  if (NameObj == nullptr) return false;
  std::string word;
  for (size_t i = 0; i < count; ++i) {
    int length = 0;
    if (!varnost::ScanInt(file, &length)) return false;
    // The length only tells whether a name follows; the name is the word.
    if (length != 0) {
      if (!varnost::ScanWord(file, &word)) return false;
      NameObj[i] = strdup(word.c_str());
    } else {
      NameObj[i] = DefaultName(i < places ? 'P' : 'T', NumObj[i]);
    }
    if (NameObj[i] == nullptr) return false;
  }
  return true;
}

}  // namespace

extern "C" void InitialisationName(const char* path) {
  NameObj = nullptr;
  NumObj = nullptr;
  const std::string refPath = std::string(path) + ".ref";
  // A FIFO waits here for its writer.
  const qx::StdioFile file = qx::OpenStdio(refPath.c_str(), "r");
  if (file == nullptr) return;
  const size_t count = static_cast<size_t>(NbPlaces) + static_cast<size_t>(NbTrans);
  if (!ReadReferences(file.get(), count)) DropReferences(count);
}
