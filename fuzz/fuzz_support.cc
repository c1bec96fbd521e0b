#include "fuzz_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

}  // namespace

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
