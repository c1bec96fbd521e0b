// SPDX-License-Identifier: MIT
#include "tool_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "workspace.h"

namespace qxhost {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

void CloseFd(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

std::string FindProgram(const std::string& name, bool* denied) {
  if (denied != nullptr) *denied = false;
  if (name.find('/') != std::string::npos) return Absolute(name);
  const char* path = std::getenv("PATH");
  const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  for (size_t begin = 0;;) {
    const size_t end = dirs.find(':', begin);
    const std::string_view dir =
        std::string_view(dirs).substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    std::string candidate(dir.empty() ? std::string_view(".") : dir);
    candidate.append("/").append(name);
    if (IsExecutableFile(candidate)) return Absolute(candidate);
    if (denied != nullptr && ::access(candidate.c_str(), F_OK) == 0) *denied = true;
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  return {};
}

pid_t StartProgram(const std::vector<std::string>& args, const std::string& dir, int stdin_fd,
                   int stdout_fd, std::string* error) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  // The child reports a failure before or in exec through this pipe; a
  // successful exec closes it.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return -1;
  }
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    ::close(report[0]);
    ::close(report[1]);
    return -1;
  }
  if (pid == 0) {
    ::close(report[0]);
    // The stand-in ignores SIGPIPE for its own writes to the tool; the tool
    // gets the default action, as under the host.
    ::signal(SIGPIPE, SIG_DFL);
    int failure[2] = {0, 0};  // step, errno
    const int input_fd = stdin_fd == kNullInput ? ::open("/dev/null", O_RDONLY) : stdin_fd;
    if (::chdir(dir.c_str()) != 0) {
      failure[1] = errno;
    } else if ((stdout_fd != STDOUT_FILENO && ::dup2(stdout_fd, STDOUT_FILENO) < 0) ||
               (input_fd >= 0 && input_fd != STDIN_FILENO && ::dup2(input_fd, STDIN_FILENO) < 0)) {
      failure[0] = 1;
      failure[1] = errno;
    } else {
      ::execv(argv[0], argv.data());
      failure[0] = 2;
      failure[1] = errno;
    }
    (void)!::write(report[1], failure, sizeof failure);
    ::_exit(127);
  }
  ::close(report[1]);
  int failure[2];
  ssize_t got;
  do {
    got = ::read(report[0], failure, sizeof failure);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof failure)) {
    static const char* const kSteps[] = {"cannot enter the workspace ", "dup2 for the tool ",
                                         "cannot start the tool "};
    const std::string& what = failure[0] == 0 ? dir : args[0];
    *error = kSteps[failure[0]] + what + ": " + std::strerror(failure[1]);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  return pid;
}

}  // namespace qxhost
