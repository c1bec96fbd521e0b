// Process launching: the peer programs of the providers and four further
// launchers, and QXimpression, the failure message carrying errno.
//
// Guarantees:
// - No launcher waits for its child; each returns the child's process id, or a
//   negative number when no child was created.
// - A child whose program cannot be started never returns into its caller's
//   code: it reports and ends through QxAbort.
// - Standard streams are flushed before every fork, so buffered output is
//   never written twice.
// - The variadic launchers read at most kMaxArguments arguments after chemin:
//   they stop at the caller's NULL, and a list without a NULL among its first
//   eight arguments is cut there instead of being read past its end.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

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

pid_t ForkFlushed() {
  std::fflush(nullptr);
  return fork();
}

void CloseDescriptors(int from, int to) {
  for (int fd = from; fd <= to; ++fd) close(fd);
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
  pid_t pid = ForkFlushed();
  if (pid < 0) {
    qx::TraceF("QX ExecutionAsynchroneByForkExec:fork error");
    g_qxErrno = kQx_ForkError;
    return pid;
  }
  if (pid == 0) {
    CloseOnExecAboveStandardStreams();
    if (chemin != nullptr) execv(chemin, v.entries);
    qx::TraceF("QX ExecutionAsynchroneByForkExec error on execv path='%s'", Shown(chemin));
    g_qxErrno = kQx_ExecvError;
    QxAbort();
  }
  return pid;
}

int QXExecutionSynchronePgm(char* chemin, ...) noexcept {
  va_list ap;
  va_start(ap, chemin);
  ArgumentVector v = CollectArguments(chemin, ap);
  va_end(ap);
  pid_t pid = ForkFlushed();
  if (pid < 0) return -1;
  if (pid == 0) {
    CloseDescriptors(0, 19);
    if (chemin != nullptr) execv(chemin, v.entries);
    QXimpression("Probleme ExecPgm");
    QxAbort();
  }
  return pid;
}

// The parent keeps its standard output stream: it is flushed and descriptor 1
// becomes the pipe, so whatever the caller writes afterwards, through the
// stream or the descriptor, reaches the child's standard input.
int QXexcPipe(char* programme, char* hostName, int portEmis) noexcept {
  int p[2];
  if (pipe(p) != 0) {
    QXimpression("impossible d'ouvrir un pipeline");
    QxAbort();
  }
  pid_t pid = ForkFlushed();
  if (pid < 0) {
    QXimpression("QXexcPipe:echec du lancement, probleme systeme");
    close(p[0]);
    close(p[1]);
    return -1;
  }
  if (pid == 0) {
    close(p[1]);
    if (p[0] != 0) {
      dup2(p[0], 0);
      close(p[0]);
    }
    DecimalText port(portEmis);
    if (programme != nullptr) execlp(programme, programme, hostName, port.text, nullptr);
    QXimpression(programme);
    QXimpression("probleme dans un execlp");
    QxAbort();
  }
  close(p[0]);
  std::fflush(stdout);
  if (p[1] != 1) {
    dup2(p[1], 1);
    close(p[1]);
  }
  return pid;
}

int QXexecution(char* programme, int arg) noexcept {
  pid_t pid = ForkFlushed();
  if (pid < 0) {
    QXimpression("QX execution:echec du lancement, probleme systeme");
    return -1;
  }
  if (pid == 0) {
    CloseDescriptors(0, 19);
    DecimalText number(arg);
    if (programme != nullptr) execlp(programme, programme, number.text, nullptr);
    QXimpression("execl ne fonctionne pas,variable PATH mauvaise");
    QxAbort();
  }
  return pid;
}

int QXonExeComm(char* programme, char* arg0, char* arg1, int arg2) noexcept {
  pid_t pid = ForkFlushed();
  if (pid < 0) {
    QXimpression("echec du lancement, probleme systeme");
    return -1;
  }
  if (pid == 0) {
    CloseDescriptors(3, 19);
    DecimalText number(arg2);
    execlp("/bin/on", "on", "-n", arg0, programme, arg1, number.text, nullptr);
    QXimpression("on ne fonctionne pas,variable PATH mauvaise");
    QxAbort();
  }
  return pid;
}

}  // extern "C"
