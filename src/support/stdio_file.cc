// SPDX-License-Identifier: MIT
#include "support/stdio_file.h"

#include <string>

namespace qx {

// Close-on-exec ("e"), as every descriptor the library opens for itself: a
// program started while the stream is open never inherits it.
StdioFile OpenStdio(const char* path, const char* mode) {
  const std::string closeOnExec = std::string(mode) + "e";
  return StdioFile(std::fopen(path, closeOnExec.c_str()));
}

}  // namespace qx
