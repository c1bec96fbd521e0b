// SPDX-License-Identifier: MIT
// Process launching: the peer programs of the providers and four further
// launchers, and QXimpression, the failure message carrying errno.
//
// Guarantees:
// - No launcher waits for its child to end; each returns the child's process
//   id, or a negative number when no child was created.
// - A child whose program cannot be started never runs any of its parent's
//   code: it reports the failure's errno to the parent through a close-on-exec
//   pipe and leaves with _exit(127). It sends nothing to the host, touches no
//   end lock file and writes nothing on the streams it shares with the parent;
//   the parent traces the launcher's failure messages itself, once it knows
//   whether the exec happened (the fork launcher then also sets
//   kQx_ExecvError).
// - Every child carries the launched-peer mark in its environment
//   (kLaunchedPeerVariable), so that a program built on the library's main
//   knows it was started as a peer and never ends its launcher's run for the
//   host (no END_TOOL, no end lock file).
// - Standard streams are flushed before every fork, so buffered output is
//   never written twice.
// - The variadic launchers read at most kMaxArguments arguments after chemin:
//   they stop at the caller's NULL, and a list without a NULL among its first
//   eight arguments is cut there instead of being read past its end.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <optional>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "channel/link_internal.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"
#include "quarnel/QXMain.h"
#include "runtime/exit_internal.h"
#include "runtime/trace.h"
#include "support/format.h"
#include "support/memory_guard.h"

namespace {

constexpr int kMaxArguments = 8;

// chemin, at most kMaxArguments arguments and the null entry.
struct ArgumentVector {
  char* entries[kMaxArguments + 2] = {};
};

ArgumentVector CollectArguments(char* chemin, va_list ap) {
  ArgumentVector v;
  v.entries[0] = chemin;
  int n = 1;
  while (n <= kMaxArguments) {
    char* arg = va_arg(ap, char*);
    if (arg == nullptr) break;
    v.entries[n++] = arg;
  }
  v.entries[n] = nullptr;
  return v;
}

// A number as the decimal text a child receives on its command line.
struct DecimalText {
  char text[20];
  explicit DecimalText(int value) { qx::FormatTo(text, sizeof text, "%d", value); }
};

// Sets the launched-peer mark in this process's environment for its scope,
// so that the children forked (or started through the shell) meanwhile
// inherit it; the previous value, normally none since the library's main
// clears it, comes back afterwards. The process is single-threaded, so no
// other thread reads the environment meanwhile.
class PeerMark {
 public:
  PeerMark() {
    if (const char* value = std::getenv(qx::kLaunchedPeerVariable)) previous_.emplace(value);
    setenv(qx::kLaunchedPeerVariable, "1", 1);
  }
  ~PeerMark() {
    if (previous_) {
      setenv(qx::kLaunchedPeerVariable, previous_->c_str(), 1);
    } else {
      unsetenv(qx::kLaunchedPeerVariable);
    }
  }
  PeerMark(const PeerMark&) = delete;
  PeerMark& operator=(const PeerMark&) = delete;

 private:
  std::optional<std::string> previous_;
};

// The first descriptor number that no child setup closes (some close 0 to
// 19): the child's end of the report pipe is moved there.
constexpr int kReportDescriptorFloor = 20;

// How a launch went: the child's process id (negative when fork failed, errno
// then set) and, when the child could not start its program, the errno of
// that failure (0 when the exec happened).
struct Launch {
  pid_t pid = -1;
  int execErrno = 0;
};

// Reads the errno a child reports, retrying interrupted reads: 0 when the
// pipe ends without one (the exec closed it).
int ReportedErrno(int fd) {
  int err = 0;
  size_t got = 0;
  while (got < sizeof err) {
    ssize_t n = read(fd, reinterpret_cast<char*>(&err) + got, sizeof err - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  return got == sizeof err ? err : 0;
}

// Forks a child, marked as a launched peer, that runs setUp and then start,
// which execs the program and returns only when it cannot. The child then
// writes start's errno into a close-on-exec pipe and leaves with _exit(127);
// the parent waits only until the pipe closes (the exec happened) or tells
// the errno. setUp and start run in the child and must keep to what is safe
// after fork (descriptor moves, exec).
template <typename SetUp, typename Start>
Launch LaunchChild(SetUp setUp, Start start) {
  Launch launch;
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return launch;
  std::fflush(nullptr);
  {
    PeerMark mark;
    launch.pid = fork();
    if (launch.pid == 0) {
      // Still inside the mark's scope: the child leaves through _exit or exec
      // and never takes the mark back out of its own environment.
      int out = fcntl(report[1], F_DUPFD_CLOEXEC, kReportDescriptorFloor);
      setUp();
      start();
      int err = errno != 0 ? errno : ENOEXEC;
      if (out >= 0) {
        ssize_t written = write(out, &err, sizeof err);
        (void)written;
      }
      _exit(127);
    }
  }
  int forkErrno = errno;
  close(report[1]);
  if (launch.pid > 0) launch.execErrno = ReportedErrno(report[0]);
  close(report[0]);
  errno = forkErrno;
  return launch;
}

// Traces the launcher's messages about a child that could not start its
// program, each with the errno of that failure.
void ReportExecFailure(int execErrno, std::initializer_list<const char*> messages) {
  for (const char* message : messages) {
    errno = execErrno;
    QXimpression(message);
  }
}

void CloseDescriptors(int from, int to) {
  for (int fd = from; fd <= to; ++fd) close(fd);
}

// Makes fd the descriptor target, inherited across exec (target keeps no
// close-on-exec flag), and closes fd's own number.
void MoveDescriptor(int fd, int target) {
  if (fd == target) {
    fcntl(fd, F_SETFD, 0);
    return;
  }
  dup2(fd, target);
  close(fd);
}

// execv of chemin with the collected arguments; returns only on failure, with
// errno set (EFAULT for a null path).
void ExecOrFail(const char* chemin, ArgumentVector& v) {
  if (chemin == nullptr) {
    errno = EFAULT;
    return;
  }
  execv(chemin, v.entries);
}

// Marks every descriptor above the standard streams close-on-exec: the program
// a provider starts gets its standard streams and nothing of its parent's
// links, so a parent's FIFO or socket never stays open through its peer.
void CloseOnExecAboveStandardStreams() {
  if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  if (DIR* dir = opendir("/proc/self/fd")) {
    int own = dirfd(dir);
    while (dirent* entry = readdir(dir)) {
      int fd = std::atoi(entry->d_name);
      if (fd > 2 && fd != own) fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    closedir(dir);
    return;
  }
  rlimit limit{};
  long max = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                 ? static_cast<long>(limit.rlim_cur)
                 : 65536;
  for (long fd = 3; fd < max; ++fd) fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
}

const char* Shown(const char* s) { return s != nullptr ? s : "(null)"; }

bool IsPlainShellWord(std::string_view word) {
  if (word.empty()) return false;
  for (char c : word) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 std::strchr("-_./:,+@%", c) != nullptr;
    if (!plain) return false;
  }
  return true;
}

void AppendShellWord(std::string* line, std::string_view word) {
  if (IsPlainShellWord(word)) {
    line->append(word);
    return;
  }
  line->push_back('\'');
  for (char c : word) {
    if (c == '\'') {
      line->append("'\\''");
    } else {
      line->push_back(c);
    }
  }
  line->push_back('\'');
}

}  // namespace

namespace qx::link {

bool ShellCommandLine(const char* const* argv, std::string* line) {
  line->clear();
  for (const char* const* word = argv; *word != nullptr; ++word) {
    AppendShellWord(line, *word);
    line->push_back(' ');
    if (line->size() >= kShellLineMax) return false;  // no room left for "&"
  }
  line->push_back('&');
  return true;
}

}  // namespace qx::link

extern "C" {

void QXimpression(const char* s) noexcept {
  int err = errno;
  qx::TraceF("QXimpression: %s (errno = %d)", Shown(s), err);
}

int QXExecutionAsynchroneBySystem(char* chemin, ...) noexcept {
  va_list ap;
  va_start(ap, chemin);
  ArgumentVector v = CollectArguments(chemin, ap);
  va_end(ap);
  if (chemin == nullptr) {
    qx::TraceF("QX ExecutionAsynchroneBySystem:chemin==NULL");
    return -1;
  }
  return qx::GuardMemory(
      "ExecutionAsynchroneBySystem",
      [&] {
        std::string line;
        if (!qx::link::ShellCommandLine(v.entries, &line)) {
          qx::TraceF(
              "QX ExecutionAsynchroneBySystem:command line longer than %zu characters, path='%s'",
              qx::link::kShellLineMax, chemin);
          return -1;
        }
        std::fflush(nullptr);
        PeerMark mark;
        return std::system(line.c_str());
      },
      -1);
}

int QXExecutionAsynchroneByForkExec(char* chemin, ...) noexcept {
  g_qxErrno = kQx_NoErr;
  va_list ap;
  va_start(ap, chemin);
  ArgumentVector v = CollectArguments(chemin, ap);
  va_end(ap);
  Launch launch = LaunchChild(CloseOnExecAboveStandardStreams, [&] { ExecOrFail(chemin, v); });
  if (launch.pid < 0) {
    qx::TraceF("QX ExecutionAsynchroneByForkExec:fork error");
    g_qxErrno = kQx_ForkError;
    return launch.pid;
  }
  if (launch.execErrno != 0) {
    qx::TraceF("QX ExecutionAsynchroneByForkExec error on execv path='%s'", Shown(chemin));
    g_qxErrno = kQx_ExecvError;
  }
  return launch.pid;
}

int QXExecutionSynchronePgm(char* chemin, ...) noexcept {
  va_list ap;
  va_start(ap, chemin);
  ArgumentVector v = CollectArguments(chemin, ap);
  va_end(ap);
  Launch launch = LaunchChild([] { CloseDescriptors(0, 19); }, [&] { ExecOrFail(chemin, v); });
  if (launch.pid < 0) return -1;
  if (launch.execErrno != 0) ReportExecFailure(launch.execErrno, {"Probleme ExecPgm"});
  return launch.pid;
}

// The parent keeps its standard output stream: it is flushed and descriptor 1
// becomes the pipe, so whatever the caller writes afterwards, through the
// stream or the descriptor, reaches the child's standard input.
int QXexcPipe(char* programme, char* hostName, int portEmis) noexcept {
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) {
    QXimpression("impossible d'ouvrir un pipeline");
    QxAbort();
  }
  DecimalText port(portEmis);
  Launch launch = LaunchChild(
      [&] {
        close(p[1]);
        MoveDescriptor(p[0], 0);
      },
      [&] {
        if (programme != nullptr) execlp(programme, programme, hostName, port.text, nullptr);
      });
  if (launch.pid < 0) {
    QXimpression("QXexcPipe:echec du lancement, probleme systeme");
    close(p[0]);
    close(p[1]);
    return -1;
  }
  if (launch.execErrno != 0) {
    ReportExecFailure(launch.execErrno, {Shown(programme), "probleme dans un execlp"});
  }
  close(p[0]);
  std::fflush(stdout);
  MoveDescriptor(p[1], 1);
  return launch.pid;
}

int QXexecution(char* programme, int arg) noexcept {
  DecimalText number(arg);
  Launch launch = LaunchChild([] { CloseDescriptors(0, 19); }, [&] {
    if (programme != nullptr) execlp(programme, programme, number.text, nullptr);
  });
  if (launch.pid < 0) {
    QXimpression("QX execution:echec du lancement, probleme systeme");
    return -1;
  }
  if (launch.execErrno != 0) {
    ReportExecFailure(launch.execErrno, {"execl ne fonctionne pas,variable PATH mauvaise"});
  }
  return launch.pid;
}

int QXonExeComm(char* programme, char* arg0, char* arg1, int arg2) noexcept {
  DecimalText number(arg2);
  Launch launch = LaunchChild([] { CloseDescriptors(3, 19); }, [&] {
    execlp("/bin/on", "on", "-n", arg0, programme, arg1, number.text, nullptr);
  });
  if (launch.pid < 0) {
    QXimpression("echec du lancement, probleme systeme");
    return -1;
  }
  if (launch.execErrno != 0) {
    ReportExecFailure(launch.execErrno, {"on ne fonctionne pas,variable PATH mauvaise"});
  }
  return launch.pid;
}

}  // extern "C"
