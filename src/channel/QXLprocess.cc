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
//   (kLaunchedPeerVariable), whose value is the child's own process id: a
//   program built on the library's main that finds its own id there knows it
//   was started as a peer and never ends its launcher's run for the host (no
//   END_TOOL, no end lock file). A mark inherited from further up names
//   another process and is replaced, so the programs that a peer starts in
//   turn are not taken for peers.
// - A client provider's peer program, when the caller's SIGCHLD setting hides
//   the end of its children (ignored, or SA_NOCLDWAIT), runs under a watcher
//   process that waits for it with SIGCHLD at its default and reports its
//   wait status on a close-on-exec pipe (StartPeerProgram), so that a program
//   that fails is known to have failed; the caller's own signal settings are
//   never changed, and no process of the launch is left a zombie.
// - Between fork and exec a child makes only async-signal-safe calls: its
//   environment and argument vectors are built before the fork, and the
//   child only writes its process id into the mark's reserved text.
// - A start through the shell runs the shell as a background process of its
//   own (stdin on /dev/null, SIGINT and SIGQUIT ignored, as for an
//   asynchronous list) that is not the caller's child; the shell execs the
//   program in that same process. Whether the shell started is known from the
//   close-on-exec report, never from a wait status, so SIGCHLD's setting
//   cannot change the result.
// - Standard streams are flushed before every fork, so buffered output is
//   never written twice.
// - The variadic launchers read at most kMaxArguments arguments after chemin:
//   they stop at the caller's NULL, and a list without a NULL among its first
//   eight arguments is cut there instead of being read past its end.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Writes value in decimal at out, NUL-terminated; out holds at least 21
// bytes. Safe after fork: no library call.
void WriteDecimal(long value, char* out) {
  char digits[20];
  int n = 0;
  unsigned long v = value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (value < 0) *out++ = '-';
  while (n > 0) *out++ = digits[--n];
  *out = '\0';
}

// The environment of a launched child: the launcher's, without any
// launched-peer mark it holds itself, plus the mark naming the child. Built
// before the fork (it allocates); in the child, ForThisProcess only writes
// the child's process id into the mark's reserved text.
class PeerEnvironment {
 public:
  PeerEnvironment() {
    const size_t nameLength = sizeof qx::kLaunchedPeerVariable - 1;
    std::memcpy(mark_, qx::kLaunchedPeerVariable, nameLength);
    mark_[nameLength] = '=';
    value_ = mark_ + nameLength + 1;
    *value_ = '\0';
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
      if (std::strncmp(*entry, mark_, nameLength + 1) != 0) entries_.push_back(*entry);
    }
    entries_.push_back(mark_);
    entries_.push_back(nullptr);
  }
  PeerEnvironment(const PeerEnvironment&) = delete;
  PeerEnvironment& operator=(const PeerEnvironment&) = delete;

  // The environment of the calling process as the launched program: its own
  // process id in the mark.
  char** ForThisProcess() {
    WriteDecimal(static_cast<long>(getpid()), value_);
    return entries_.data();
  }

 private:
  char mark_[sizeof qx::kLaunchedPeerVariable + 21];
  char* value_;
  std::vector<char*> entries_;
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
// which execs the program with the environment it is given and returns only
// when it cannot. The child then writes start's errno into a close-on-exec
// pipe and leaves with _exit(127); the parent waits only until the pipe
// closes (the exec happened) or tells the errno. setUp and start run in the
// child and must keep to async-signal-safe calls (descriptor moves, exec).
// A pid of -1 with errno set when no child was created (ENOMEM when the
// child's environment could not be built).
template <typename SetUp, typename Start>
Launch LaunchChild(SetUp setUp, Start start) {
  Launch launch;
  std::optional<PeerEnvironment> environment;
  try {
    environment.emplace();
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return launch;
  }
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return launch;
  std::fflush(nullptr);
  launch.pid = fork();
  if (launch.pid == 0) {
    int out = fcntl(report[1], F_DUPFD_CLOEXEC, kReportDescriptorFloor);
    qx::link::RestoreMaskInChild();
    setUp();
    start(*environment);
    int err = errno != 0 ? errno : ENOEXEC;
    if (out >= 0) {
      ssize_t written = write(out, &err, sizeof err);
      (void)written;
    }
    _exit(127);
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

// execve of chemin with the collected arguments and env; returns only on
// failure, with errno set (EFAULT for a null path).
void ExecOrFail(const char* chemin, ArgumentVector& v, char** env) {
  if (chemin == nullptr) {
    errno = EFAULT;
    return;
  }
  execve(chemin, v.entries, env);
}

// The same through the PATH search of execvp, for the launchers that search.
void ExecSearchingPath(const char* file, char* const* argv, char** env) {
  if (file == nullptr) {
    errno = EFAULT;
    return;
  }
  execvpe(file, argv, env);
}

// The highest descriptor number a process may hold, plus one; read before a
// fork, since getrlimit is not among the calls a child may make.
long DescriptorLimit() {
  rlimit limit{};
  return getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
             ? static_cast<long>(limit.rlim_cur)
             : 65536;
}

// Marks every descriptor above the standard streams close-on-exec: the program
// a provider starts gets its standard streams and nothing of its parent's
// links, so a parent's FIFO or socket never stays open through its peer.
// Runs between fork and exec, so it makes only async-signal-safe calls: on a
// kernel without close_range, fcntl on every number below limit (from
// DescriptorLimit, read before the fork).
void CloseOnExecAboveStandardStreams(long limit) {
  if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  for (long fd = 3; fd < limit; ++fd) fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
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

// Whether the end of a child of this process escapes the process's own wait:
// SIGCHLD ignored, or caught with SA_NOCLDWAIT; the system then discards the
// child's status as it ends. setting receives SIGCHLD's current action.
bool ChildEndHidden(struct sigaction* setting) {
  if (sigaction(SIGCHLD, nullptr, setting) != 0) return false;
  return ((setting->sa_flags & SA_SIGINFO) == 0 && setting->sa_handler == SIG_IGN) ||
         (setting->sa_flags & SA_NOCLDWAIT) != 0;
}

void SetAction(int sig, void (*handler)(int)) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

// The watcher of a launched program (see ForkExecLaunch): keeps only report
// (every other descriptor of the tool is closed, so that no link of the tool
// stays open through it), gives every caught signal its default action (no
// handler of the tool runs in it), waits for program with SIGCHLD at its
// default, writes the program's wait status on report and ends. Runs between
// fork and exit: async-signal-safe calls only (limit read before the fork).
[[noreturn]] void WatchProgram(pid_t program, int report, long limit) {
  for (int sig = 1; sig < NSIG; ++sig) {
    struct sigaction current;
    if (sigaction(sig, nullptr, &current) != 0) continue;
    const bool caught = (current.sa_flags & SA_SIGINFO) != 0 ||
                        (current.sa_handler != SIG_IGN && current.sa_handler != SIG_DFL);
    if (caught) SetAction(sig, SIG_DFL);
  }
  if (report != 0) {
    dup2(report, 0);
    report = 0;
  }
  if (close_range(1, ~0U, 0) != 0) {
    for (long fd = 1; fd < limit; ++fd) close(static_cast<int>(fd));
  }
  int status = 0;
  pid_t ended;
  while ((ended = waitpid(program, &status, 0)) < 0 && errno == EINTR) {
  }
  if (ended == program) {
    ssize_t written = write(report, &status, sizeof status);
    (void)written;
  }
  _exit(0);
}

// QXExecutionAsynchroneByForkExec on a collected argument vector. With
// endReport >= 0 (the write end of a close-on-exec pipe; for a caller whose
// children's ends the system discards) the program is not the caller's
// child: the child is a watcher that, with SIGCHLD at its default, forks the
// program and reports its wait status on endReport when it ends
// (WatchProgram). The program is reaped by the watcher, and the watcher by
// the system, as the caller's setting says; none is left a zombie, nor
// handed to a process that may not reap it. The program gets the caller's
// SIGCHLD action back before it execs. The result is then the watcher's id.
int ForkExecLaunch(char* chemin, ArgumentVector& v, int endReport) {
  g_qxErrno = kQx_NoErr;
  const long limit = DescriptorLimit();
  const auto setUp = [limit] { CloseOnExecAboveStandardStreams(limit); };
  Launch launch;
  if (endReport < 0) {
    launch = LaunchChild(setUp, [&](PeerEnvironment& environment) {
      ExecOrFail(chemin, v, environment.ForThisProcess());
    });
  } else {
    struct sigaction setting;
    sigaction(SIGCHLD, nullptr, &setting);
    launch = LaunchChild(setUp, [&](PeerEnvironment& environment) {
      SetAction(SIGCHLD, SIG_DFL);
      const pid_t program = fork();
      if (program == 0) {
        sigaction(SIGCHLD, &setting, nullptr);
        ExecOrFail(chemin, v, environment.ForThisProcess());
        return;  // the program reports errno, and the watcher its end
      }
      if (program < 0) return;
      WatchProgram(program, endReport, limit);
    });
  }
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

bool ShellFindsProgram(const char* name, int* err) {
  const auto runnable = [](const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
  };
  const auto exists = [](const std::string& path) { return access(path.c_str(), F_OK) == 0; };
  *err = ENOENT;
  if (name == nullptr || *name == '\0') return false;
  if (std::strchr(name, '/') != nullptr) {
    if (runnable(name)) return true;
    if (exists(name)) *err = EACCES;
    return false;
  }
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : kShellDefaultPath;
  for (;;) {
    const size_t end = dirs.find(':');
    const std::string_view dir = dirs.substr(0, end);
    std::string candidate;
    candidate.reserve(dir.size() + std::strlen(name) + 2);
    candidate.append(dir.empty() ? std::string_view(".") : dir);
    candidate.push_back('/');
    candidate.append(name);
    if (runnable(candidate)) return true;
    if (exists(candidate)) *err = EACCES;
    if (end == std::string_view::npos) return false;
    dirs.remove_prefix(end + 1);
  }
}

int StartThroughShell(const char* line) {
  // The shell runs the words of the line itself, without its "&": the
  // launcher makes it a background process, so that the program it execs
  // keeps the process id the launched-peer mark names.
  std::string_view words(line);
  if (words.ends_with('&')) words.remove_suffix(1);
  std::string script = "exec ";
  script.append(words);
  char shell[] = "/bin/sh";
  char name[] = "sh";
  char option[] = "-c";
  char* argv[] = {name, option, script.data(), nullptr};
  Launch launch = LaunchChild([] {}, [&](PeerEnvironment& environment) {
    // This child only starts the background process and leaves at once, so
    // that the shell and its program are nobody's children here.
    pid_t background = fork();
    if (background != 0) {
      if (background > 0) _exit(0);
      return;  // fork failed: errno is reported
    }
    struct sigaction ignore;
    std::memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, nullptr);
    sigaction(SIGQUIT, &ignore, nullptr);
    int null = open("/dev/null", O_RDONLY);
    if (null >= 0) MoveDescriptor(null, 0);
    execve(shell, argv, environment.ForThisProcess());
  });
  if (launch.pid < 0) return -1;
  // The intermediate child has ended or is about to: reaped here, whatever
  // its status (which SIGCHLD's setting may hide, and which says nothing of
  // the program).
  while (waitpid(launch.pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  return launch.execErrno == 0 ? 0 : -1;
}

int StartPeerProgram(char* chemin, char* first, char* second, int* endReport) {
  *endReport = -1;
  struct sigaction setting;
  if (!ChildEndHidden(&setting)) {
    return QXExecutionAsynchroneByForkExec(chemin, first, second, nullptr);
  }
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    qx::TraceF("QX ExecutionAsynchroneByForkExec:fork error");
    g_qxErrno = kQx_ForkError;
    return -1;
  }
  ArgumentVector v;
  v.entries[0] = chemin;
  v.entries[1] = first;
  v.entries[2] = second;
  const int result = ForkExecLaunch(chemin, v, ends[1]);
  close(ends[1]);
  if (result < 0 || QxErrno() != kQx_NoErr) {
    close(ends[0]);
  } else {
    *endReport = ends[0];
  }
  return result;
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
        return qx::link::StartThroughShell(line.c_str());
      },
      -1);
}

int QXExecutionAsynchroneByForkExec(char* chemin, ...) noexcept {
  va_list ap;
  va_start(ap, chemin);
  ArgumentVector v = CollectArguments(chemin, ap);
  va_end(ap);
  return ForkExecLaunch(chemin, v, -1);
}

int QXExecutionSynchronePgm(char* chemin, ...) noexcept {
  va_list ap;
  va_start(ap, chemin);
  ArgumentVector v = CollectArguments(chemin, ap);
  va_end(ap);
  Launch launch = LaunchChild([] { CloseDescriptors(0, 19); }, [&](PeerEnvironment& environment) {
    ExecOrFail(chemin, v, environment.ForThisProcess());
  });
  if (launch.pid < 0) return -1;
  if (launch.execErrno != 0) ReportExecFailure(launch.execErrno, {"Probleme ExecPgm"});
  return launch.pid;
}

// The parent keeps its standard output stream: it is flushed and descriptor 1
// becomes the pipe, so whatever the caller writes afterwards, through the
// stream or the descriptor, reaches the child's standard input. Descriptor 1
// is moved only once the program has started: a launch that fails leaves the
// caller's standard output as it was.
int QXexcPipe(char* programme, char* hostName, int portEmis) noexcept {
  g_qxErrno = kQx_NoErr;
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) {
    QXimpression("impossible d'ouvrir un pipeline");
    QxAbort();
  }
  DecimalText port(portEmis);
  char* argv[] = {programme, hostName, port.text, nullptr};
  Launch launch = LaunchChild(
      [&] {
        close(p[1]);
        MoveDescriptor(p[0], 0);
      },
      [&](PeerEnvironment& environment) {
        ExecSearchingPath(programme, argv, environment.ForThisProcess());
      });
  if (launch.pid < 0 || launch.execErrno != 0) {
    if (launch.pid < 0) {
      QXimpression("QXexcPipe:echec du lancement, probleme systeme");
      g_qxErrno = kQx_ForkError;
    } else {
      ReportExecFailure(launch.execErrno, {Shown(programme), "probleme dans un execlp"});
      g_qxErrno = kQx_ExecvError;
    }
    close(p[0]);
    close(p[1]);
    return -1;
  }
  close(p[0]);
  std::fflush(stdout);
  MoveDescriptor(p[1], 1);
  return launch.pid;
}

int QXexecution(char* programme, int arg) noexcept {
  DecimalText number(arg);
  char* argv[] = {programme, number.text, nullptr};
  Launch launch = LaunchChild([] { CloseDescriptors(0, 19); }, [&](PeerEnvironment& environment) {
    ExecSearchingPath(programme, argv, environment.ForThisProcess());
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
  char on[] = "/bin/on";
  char name[] = "on";
  char option[] = "-n";
  char* argv[] = {name, option, arg0, programme, arg1, number.text, nullptr};
  Launch launch = LaunchChild([] { CloseDescriptors(3, 19); }, [&](PeerEnvironment& environment) {
    ExecSearchingPath(on, argv, environment.ForThisProcess());
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
