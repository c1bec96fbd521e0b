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

// Opens path with fopen; null (empty) when it cannot be opened. An open for
// reading only ("r") never blocks: a FIFO without a writer opens at once and
// reads as an empty file, where a plain fopen would wait for a writer that
// may never come.
StdioFile OpenStdio(const char* path, const char* mode);

}  // namespace qx

#endif
