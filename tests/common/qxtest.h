// SPDX-License-Identifier: MIT
// Shared helpers of the test suite: temporary directories, captured standard
// streams, bounded child processes and FIFO pairs. Every blocking wait here has
// a time limit, so a hang fails a test instead of blocking the run.
#ifndef QUARNEL_TESTS_COMMON_QXTEST_H
#define QUARNEL_TESTS_COMMON_QXTEST_H

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace qxtest {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents at the
// end of the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Changes the working directory for the scope, and back.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& dir);
  ~ScopedChdir();
  ScopedChdir(const ScopedChdir&) = delete;
  ScopedChdir& operator=(const ScopedChdir&) = delete;

 private:
  std::string previous_;
};

std::string ReadFile(const std::string& path);
// Names of the entries of a directory but "." and "..", sorted.
std::vector<std::string> ListDir(const std::string& dir);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

// Runs body with descriptor fd (1 or 2) redirected to a temporary file and
// returns what was written there. C stdio is flushed before and after.
std::string CaptureFd(int fd, const std::function<void()>& body);

// What CaptureOutput saw.
struct Output {
  std::string out;  // standard output
  std::string err;  // standard error
};
// Runs body with both standard output and standard error captured.
Output CaptureOutput(const std::function<void()>& body);

// Result of a child process.
struct ChildResult {
  bool exited = false;      // ended by exit(); status holds the code
  int status = -1;          // exit code when exited
  bool signaled = false;    // ended by a signal; signal holds it
  int signal = 0;
  bool timed_out = false;   // killed by the time limit
  std::string out;          // its standard output
  std::string err;          // its standard error
};

// Forks; the child runs body and exits with its result (flushing stdio). The
// parent waits at most timeout_ms, killing the child after that.
ChildResult RunInChild(const std::function<int()>& body, int timeout_ms = 10000);

// Runs a program with arguments (argv[0] = path), in working directory cwd when
// not empty, with stdin from /dev/null; waits at most timeout_ms. `setup`, when
// given, runs in the child just before the program starts (to set a resource
// limit, for instance); the child ends with 127 when it returns false.
ChildResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                       const std::string& cwd = "", int timeout_ms = 20000,
                       const std::function<bool()>& setup = nullptr);

// Waits for the child pid at most timeout_ms, killing it after that.
ChildResult WaitChild(pid_t pid, int timeout_ms);

// Forks a child that runs body and ends with its result (flushing stdio),
// without waiting for it: collect it with WaitChild. Its standard streams are
// the caller's.
pid_t StartChild(const std::function<int()>& body);

// Polls until path exists, at most timeout_ms. True when it appeared.
bool WaitForFile(const std::string& path, int timeout_ms);

// Opens the FIFO at path for writing once a reader has opened it (or waits in
// its open), without ever blocking: a non-blocking open for writing fails with
// ENXIO until a reader exists. The descriptor is blocking again when
// returned; -1 after timeout_ms or on another error.
int OpenFifoOnceRead(const std::string& path, int timeout_ms);

// Makes path a FIFO (unless it is one already) and starts a child that opens
// it for writing once its reader has come (OpenFifoOnceRead, at most 10 s),
// writes content and ends with 0; with 1 when the open or the write fails.
// The reader is thus always there first. Collect the child with WaitChild.
pid_t FeedFifoLater(const std::string& path, const std::string& content);

// Arms alarm(seconds) for the scope so that a blocking call in the test itself
// ends the test binary instead of hanging the run.
class Watchdog {
 public:
  explicit Watchdog(unsigned seconds);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
};

// Number of open descriptors of this process.
int CountOpenFds();

// True when this host's own name (gethostname) resolves to an IPv4 address.
// The socket links bind and connect by that name; a machine whose name does
// not resolve cannot run them, and their tests skip there.
bool LocalHostNameResolves();

}  // namespace qxtest

#endif
