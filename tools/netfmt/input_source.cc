// SPDX-License-Identifier: MIT
#include "input_source.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace netfmt {

ReadSome FromDescriptor(int fd) {
  return [fd](char* buf, size_t size) -> long {
    for (;;) {
      const ssize_t n = read(fd, buf, size);
      if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
  };
}

ReadSome FromText(std::string_view text) {
  auto rest = std::make_shared<std::string_view>(text);
  return [rest](char* buf, size_t size) -> long {
    const size_t n = std::min(size, rest->size());
    rest->copy(buf, n);
    rest->remove_prefix(n);
    return static_cast<long>(n);
  };
}

}  // namespace netfmt
