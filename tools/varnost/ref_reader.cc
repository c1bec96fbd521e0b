// The reference file: object numbers and names of places and transitions.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input_file.h"
#include "net_reader.h"
#include "text_scan.h"

namespace {

// The first line is a comment, skipped whole whatever its length.
void SkipLine(FILE* file) {
  int c;
  do c = std::getc(file);
  while (c != EOF && c != '\n');
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
  if (NumObj == nullptr) return false;
  SkipLine(file);
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
  // A FIFO without a writer reads as an empty (faulty) reference file.
  FILE* file = varnost::OpenInput(refPath.c_str());
  if (file == nullptr) return;
  const size_t count = static_cast<size_t>(NbPlaces) + static_cast<size_t>(NbTrans);
  if (!ReadReferences(file, count)) DropReferences(count);
  std::fclose(file);
}
