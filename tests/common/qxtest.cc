// SPDX-License-Identifier: MIT
#include "common/qxtest.h"

#include <dirent.h>
#include <netdb.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace qxtest {

namespace fs = std::filesystem;

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/qxtest.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

ScopedChdir::ScopedChdir(const std::string& dir) {
  char buf[4096];
  if (getcwd(buf, sizeof buf) != nullptr) previous_ = buf;
  if (chdir(dir.c_str()) != 0) throw std::runtime_error("chdir failed: " + dir);
}

ScopedChdir::~ScopedChdir() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::perror("chdir back");
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (const dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

namespace {

std::string DrainFd(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  return text;
}

int TempFileFd() {
  char name[] = "/tmp/qxcapture.XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  unlink(name);
  return fd;
}

}  // namespace

std::string CaptureFd(int fd, const std::function<void()>& body) {
  std::fflush(stdout);
  std::fflush(stderr);
  int tmp = TempFileFd();
  int saved = dup(fd);
  dup2(tmp, fd);
  body();
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(saved, fd);
  close(saved);
  std::string text = DrainFd(tmp);
  close(tmp);
  return text;
}

Output CaptureOutput(const std::function<void()>& body) {
  Output result;
  result.err = CaptureFd(2, [&] { result.out = CaptureFd(1, body); });
  return result;
}

ChildResult WaitChild(pid_t pid, int timeout_ms) {
  ChildResult result;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 && errno != EINTR) return result;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFEXITED(status)) {
    result.exited = true;
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signaled = true;
    result.signal = WTERMSIG(status);
  }
  return result;
}

namespace {

// Forks with standard output and standard error going to temporary files; the
// child runs body (which ends it), the parent waits at most timeout_ms and
// collects both streams.
ChildResult ForkCaptured(const std::function<void()>& body, int timeout_ms) {
  std::fflush(stdout);
  std::fflush(stderr);
  int out = TempFileFd();
  int err = TempFileFd();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(out, 1);
    dup2(err, 2);
    body();
    _exit(127);
  }
  ChildResult result = WaitChild(pid, timeout_ms);
  result.out = DrainFd(out);
  result.err = DrainFd(err);
  close(out);
  close(err);
  return result;
}

}  // namespace

ChildResult RunInChild(const std::function<int()>& body, int timeout_ms) {
  return ForkCaptured(
      [&] {
        int code = body();
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(code);
      },
      timeout_ms);
}

ChildResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                       const std::string& cwd, int timeout_ms, const std::function<bool()>& setup) {
  return ForkCaptured(
      [&] {
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        if (setup && !setup()) _exit(127);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(path.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
      },
      timeout_ms);
}

pid_t StartChild(const std::function<int()>& body) {
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int code = body();
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(code);
  }
  return pid;
}

bool WaitForFile(const std::string& path, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!FileExists(path)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

int OpenFifoOnceRead(const std::string& path, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int fd;
  while ((fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
    if (errno != ENXIO || std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  fcntl(fd, F_SETFL, 0);
  return fd;
}

pid_t FeedFifoLater(const std::string& path, const std::string& content) {
  struct stat info;
  const bool isFifo = stat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
  if (!isFifo && mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed: " + path);
  return StartChild([=] {
    const int fd = OpenFifoOnceRead(path, 10000);
    if (fd < 0) return 1;
    const bool written = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    close(fd);
    return written ? 0 : 1;
  });
}

Watchdog::Watchdog(unsigned seconds) { alarm(seconds); }
Watchdog::~Watchdog() { alarm(0); }

int CountOpenFds() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (struct dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the directory's own descriptor
}

bool LocalHostNameResolves() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0) return false;
  freeaddrinfo(found);
  return true;
}

}  // namespace qxtest
