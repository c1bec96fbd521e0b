// SPDX-License-Identifier: MIT
#include "workspace.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qxhost {

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool WriteNew(const std::string& path, const std::string& content, std::string* error) {
  if (Exists(path)) return true;
  FILE* file = std::fopen(path.c_str(), "w");
  bool ok = file != nullptr && std::fwrite(content.data(), 1, content.size(), file) == content.size();
  if (file != nullptr && std::fclose(file) != 0) ok = false;
  if (!ok) *error = "cannot write " + path + ": " + std::strerror(errno);
  return ok;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

}  // namespace

bool ReadRegularFile(const std::string& path, std::string* content, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0;
  if (!ok) {
    *error = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    *error = "not a regular file";
    ok = false;
  }
  char buffer[65536];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = std::strerror(errno);
      ok = false;
    }
    if (n <= 0) break;
    content->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> cwd(4096);
  if (::getcwd(cwd.data(), cwd.size()) == nullptr) return path;
  return std::string(cwd.data()) + "/" + path;
}

bool PrepareWorkspace(const std::string& dir, std::string* error) {
  const std::string mngr = dir + "/QX_MNGR";
  if (::mkdir(mngr.c_str(), 0777) != 0 && errno != EEXIST) {
    *error = "cannot create " + mngr + ": " + std::strerror(errno);
    return false;
  }
  const char* tmp = std::getenv("TMPDIR");
  // Lines: operating-system directory name, global administration data, main
  // workspace, executables, temporary data, tools. Directories without their
  // final slash; the tool's reader adds it.
  const std::string info = "linux\n" + dir + "\n" + dir + "\n" + dir + "\n" +
                           std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "\n" +
                           dir + "\n";
  return WriteNew(dir + "/qx_basic_info", info, error) &&
         WriteNew(mngr + "/.formalism", "TAV-Net\n", error);
}

std::string MakeTempDir(const char* prefix, std::string* error) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/" +
                        prefix + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) {
    *error = "cannot create a directory " + pattern + ": " + std::strerror(errno);
    return {};
  }
  return name.data();
}

void RemoveTree(const std::string& dir) {
  ::nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace qxhost
