// A stdio stream owned by a scope: closed when its owner goes.
#ifndef QUARNEL_SRC_SUPPORT_STDIO_FILE_H
#define QUARNEL_SRC_SUPPORT_STDIO_FILE_H

#include <cstdio>
#include <memory>

namespace qx {

struct StdioCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

using StdioFile = std::unique_ptr<FILE, StdioCloser>;

// Opens path with fopen; null (empty) when it cannot be opened.
inline StdioFile OpenStdio(const char* path, const char* mode) {
  return StdioFile(std::fopen(path, mode));
}

}  // namespace qx

#endif
