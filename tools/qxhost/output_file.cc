// SPDX-License-Identifier: MIT
#include "output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "signal_cleanup.h"
#include "tool_process.h"

namespace qxhost {

bool WriteAll(int fd, std::string_view text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

OutputFile::~OutputFile() {
  CloseFd(&fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  KeepOnSignal(guard_);
}

bool OutputFile::Open(const std::string& path, const char* what, std::string* error) {
  what_ = what;
  const auto fail = [&](int number) {
    *error = std::string("cannot write ") + what_ + " " + path + ": " + std::strerror(number);
    return false;
  };
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return fail(EISDIR);
  path_ = path;
  std::string name = path + ".XXXXXX";
  fd_ = CreateRemovedOnSignal(&name, &guard_);
  if (fd_ < 0) return fail(errno);
  temporary_ = name;
  return true;
}

std::string OutputFile::WriteError() const {
  return std::string("cannot write ") + what_ + " " + path_ + ": " + std::strerror(errno);
}

bool OutputFile::Commit(std::string* error) {
  // The file gets the mode a new file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!closed || ::rename(temporary_.c_str(), path_.c_str()) != 0) {
    *error = WriteError();
    return false;
  }
  temporary_.clear();
  KeepOnSignal(guard_);
  guard_ = -1;
  return true;
}

}  // namespace qxhost
