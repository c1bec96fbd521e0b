// SPDX-License-Identifier: MIT
#include "fuzz_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "net_reader.h"

namespace qxfuzz {

namespace {

std::string MakeScratchDir() {
  std::string base = "/dev/shm";
  struct stat info;
  if (stat(base.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || access(base.c_str(), W_OK) != 0) {
    const char* tmp = std::getenv("TMPDIR");
    base = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
  }
  std::string templ = base + "/qxfuzz-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) Fail("cannot create the scratch directory");
  return templ;
}

struct Remover {
  std::string path;
  ~Remover() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

// One of the two leading counts as the reader takes it (white space, sign,
// digits), saturated; -1 when absent.
long LeadingCount(const uint8_t*& p, const uint8_t* end) {
  while (p != end && std::strchr(" \t\n\r\v\f", *p) != nullptr && *p != '\0') ++p;
  if (p != end && (*p == '+' || *p == '-')) ++p;
  if (p == end || *p < '0' || *p > '9') return -1;
  long value = 0;
  for (; p != end && *p >= '0' && *p <= '9'; ++p) value = std::min(value * 10 + (*p - '0'), 1L << 40);
  return value;
}

}  // namespace

bool TooSlowMatrixNet(const uint8_t* data, size_t size) {
  constexpr long kMaxNodesRead = 200000;
  const uint8_t* p = data;
  const long places = LeadingCount(p, data + size);
  const long transitions = LeadingCount(p, data + size);
  const long nodes = places + transitions;
  return nodes > kMaxNodesRead && places >= 0 && transitions >= 0 &&
         varnost::CountsFitMemory(static_cast<uint64_t>(places), static_cast<uint64_t>(transitions));
}

const std::string& ScratchDir() {
  static Remover dir{MakeScratchDir()};
  return dir.path;
}

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Fail("cannot create an input file");
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("cannot write an input file");
    data += n;
    size -= static_cast<size_t>(n);
  }
  close(fd);
}

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz oracle failed: %s\n", what);
  std::abort();
}

}  // namespace qxfuzz
