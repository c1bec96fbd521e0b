// SPDX-License-Identifier: MIT
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

// Opens path with fopen, close-on-exec; null (empty) when it cannot be
// opened. An input that is a FIFO is opened as every reader opens one: the
// open waits for its writer, and the stream then reads what the writer sends.
StdioFile OpenStdio(const char* path, const char* mode);

}  // namespace qx

#endif
