#include "support/stdio_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace qx {

StdioFile OpenStdio(const char* path, const char* mode) {
  if (std::strcmp(mode, "r") != 0) return StdioFile(std::fopen(path, mode));
  // O_NONBLOCK for the open only; reads then block as fopen's would.
  const int fd = open(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return nullptr;
  }
  FILE* file = fdopen(fd, "r");
  if (file == nullptr) close(fd);
  return StdioFile(file);
}

}  // namespace qx
