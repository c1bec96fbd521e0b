// SPDX-License-Identifier: MIT
// Client side of connection establishment: the client provider (creates the
// link and starts its peer program with the coordinates on the command line)
// and the client consumer (joins the link a gate file describes), over a FIFO
// pair or a TCP socket.
//
// Guarantees:
// - A client consumer whose gate file is missing, unreadable or malformed
//   fails at once (-1, kQx_AccessError, trace) and opens nothing.
// - A failed open closes the descriptors it had opened (the socket client
//   provider's listening socket excepted, see below).
// - A client provider whose program cannot be started fails at once and
//   leaves no half-made link: kQx_ExecvError (a FIFO client provider checks,
//   before it creates anything, that the shell finds a file it may run under
//   that name; the socket client provider learns it from its launch), or the
//   launcher's kQx_ForkError; a shell that could not be started gives
//   kQx_OpenError. A FIFO client provider removes its FIFOs again when its
//   open fails (a signal interrupting the wait for the peer included). A
//   program that did start but never opens the FIFOs is waited for: the FIFO
//   client provider does not watch its detached peer (bound it with alarm).
// - The socket client provider fails at once when its program cannot be
//   started at all (the launch's close-on-exec report says so, whatever
//   SIGCHLD's setting: kQx_ExecvError), and gives up waiting for its peer
//   when the program it started ends with a non-zero status or a signal
//   before connecting (kQx_OpenError), whatever SIGCHLD's setting: left at
//   its default, caught by a handler of the tool that reaps children, or
//   ignored (the program then runs under a watcher process that reports its
//   status, see StartPeerProgram). A program that exits with status 0 may
//   have left the real peer running in the background, so the connection is
//   then still awaited; so it is when the program's end cannot be known at
//   all (its watcher killed). SIGCHLD is held back from the launch to the end
//   of the wait, so a tool's handler that reaps children does not hide the
//   status meanwhile; any other caught signal ends the wait (kQx_OpenError),
//   which lets a caller bound it with alarm. Its listening socket
//   (close-on-exec) stays open in every case, and its child is never reaped.
// - FIFO ends are opened in the order that pairs with the server side: the
//   client provider reads first, the client consumer writes first.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "channel/link_internal.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"
#include "runtime/trace.h"
#include "support/format.h"

namespace {

using qx::link::ErrnoText;

constexpr ErrnoText kAccessReasons[] = {
    {ENOENT, "A component of the path prefix does not exist."},
    {ENOMEM, "Insufficient kernel memory was available."},
    {EACCES,
     "The requested access would be denied, either to the file itself or one of the "
     "directories in pathname."},
    {EFAULT, "pathname points outside your accessible address space."},
    {ENOTDIR, "A component of the path prefix is not a directory."},
    {EINVAL, "mode was incorrectly specified."},
    {ENAMETOOLONG, "pathname is too long."},
    {ELOOP,
     "pathname contains a reference to a circular symbolic link, i.e., a symbolic link "
     "containing a reference to itself."},
};

// How often the socket client provider looks whether its peer still lives
// while it waits for the connection.
constexpr int kPeerCheckMs = 100;

// The existence check of a client consumer's gate file: false, with
// kQx_AccessError and the two trace lines, when path cannot be reached.
bool GateExists(const char* operation, const char* path) {
  if (access(path, F_OK) == 0) return true;
  int err = errno;
  g_qxErrno = kQx_AccessError;
  qx::TraceF("%s:error on path = '%s' -> ", operation, path);
  errno = err;
  QXLAccessErrorMsg();
  return false;
}

// What is known of the started program while the provider waits for it.
enum class ChildState { kRunning, kEndedAbnormally, kEndedCleanly };

ChildState StateOfStatus(bool exited, int code) {
  return exited && code == 0 ? ChildState::kEndedCleanly : ChildState::kEndedAbnormally;
}

// The state of child, which stays waitable for its parent's own wait. A child
// whose end can no longer be looked at (the setting of SIGCHLD changed since
// the launch, and the system reaped it) ended in a way nobody can know, and
// counts as a clean end: it may have handed the link to a peer of its own.
ChildState StateOf(pid_t child) {
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    return errno == ECHILD ? ChildState::kEndedCleanly : ChildState::kRunning;
  }
  if (info.si_pid != child) return ChildState::kRunning;
  return StateOfStatus(info.si_code == CLD_EXITED, info.si_status);
}

// The end of the program that its watcher reported on endReport, once that is
// readable: its wait status, or the watcher's own end of file when it was
// killed before it could tell (an end nobody can know, taken as clean).
ChildState ReportedState(int endReport) {
  int status = 0;
  size_t got = 0;
  while (got < sizeof status) {
    const ssize_t n = read(endReport, reinterpret_cast<char*>(&status) + got, sizeof status - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  if (got < sizeof status) return ChildState::kEndedCleanly;
  return StateOfStatus(WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

// The trace of a wait for the peer that a signal ended.
void TraceInterrupted(const char* path) {
  qx::TraceF("Qx OpenSocketConnexionForClientProvider:wait for the peer interrupted by a "
             "signal, path='%s'",
             path);
}

// Accepts the peer's connection on listening, giving up when the program
// started as the peer ends abnormally before it connects, or when a signal
// interrupts the wait. The program's end is learnt from endReport (its
// watcher's report) when that is not -1, else from its wait status, looked at
// every kPeerCheckMs. Once the program has ended cleanly (or its end cannot
// be known) the connection is awaited in accept without limit. The child is
// not reaped.
int AcceptFromChild(int listening, pid_t child, int endReport, const char* path) {
  for (;;) {
    pollfd p[2] = {{listening, POLLIN, 0}, {endReport, POLLIN, 0}};
    const int ready = poll(p, 2, endReport >= 0 ? -1 : kPeerCheckMs);
    if (ready < 0) {
      if (errno == EINTR) TraceInterrupted(path);
      return -1;
    }
    if (p[0].revents != 0) return QXaccept(listening);
    ChildState state = ChildState::kRunning;
    if (endReport < 0) {
      state = StateOf(child);
    } else if (p[1].revents != 0) {
      state = ReportedState(endReport);
    }
    switch (state) {
      case ChildState::kRunning: break;
      case ChildState::kEndedCleanly: {
        int d = QXaccept(listening);
        if (d < 0 && errno == EINTR) TraceInterrupted(path);
        return d;
      }
      case ChildState::kEndedAbnormally:
        qx::TraceF("Qx OpenSocketConnexionForClientProvider:peer ended before connecting, "
                   "path='%s'",
                   path);
        return -1;
    }
  }
}

}  // namespace

extern "C" {

void QXLAccessErrorMsg(void) {
  int err = errno;
  if (const char* reason = qx::link::TextFor(kAccessReasons, err)) {
    QxTrace(reason);
    return;
  }
  g_qxErrno = kQx_InternalErr;
  qx::TraceF("QX creeFIFO:unknown errno = %d", err);
}

int OpenFifoConnexionForClientProvider(char* path, char* pin, char* pout, int* din,
                                       int* dout) noexcept {
  constexpr const char* kOp = "Qx OpenFifoConnexionForClientProvider";
  if (!qx::link::Given(kOp, "path", path) || !qx::link::Given(kOp, "din", din) ||
      !qx::link::Given(kOp, "dout", dout)) {
    return -1;
  }
  // A program the shell cannot run would leave the open waiting on FIFOs
  // nobody comes to: it fails here, before anything is created.
  int err = 0;
  if (!qx::link::ShellFindsProgram(path, &err)) {
    qx::TraceF("%s:cannot start the program path='%s': %s", kOp, path, std::strerror(err));
    g_qxErrno = kQx_ExecvError;
    return -1;
  }
  if (QXcreeFIFO(pin) != 0 || QxErrno() != kQx_NoErr) return -1;
  if (QXcreeFIFO(pout) != 0 || QxErrno() != kQx_NoErr) {
    qx::link::RemoveCreated({pin});
    return -1;
  }
  // The peer is told first the FIFO it reads (ours to write), then the one it
  // writes. A shell that could not be started leaves nobody to wait for.
  if (QXExecutionAsynchroneBySystem(path, const_cast<char*>("-s"), pout, pin, nullptr) != 0) {
    qx::TraceF("%s:peer not started, path='%s'", kOp, path);
    g_qxErrno = kQx_OpenError;
    qx::link::RemoveCreated({pin, pout});
    return -1;
  }
  if (!qx::link::OpenFifoEnds({pin, 1, din}, {pout, 0, dout})) {
    qx::link::RemoveFifoLink({pin, pout});
    return -1;
  }
  return 0;
}

int OpenFifoConnexionForClientConsumer(char* path, int* din, int* dout) noexcept {
  constexpr const char* kOp = "Qx OpenFifoConnexionForClientConsumer";
  g_qxErrno = kQx_NoErr;
  if (!qx::link::Given(kOp, "path", path) || !qx::link::Given(kOp, "din", din) ||
      !qx::link::Given(kOp, "dout", dout)) {
    return -1;
  }
  if (!GateExists("Open FifoConnexionForClientConsumer", path)) return -1;
  char host[kQxL_HostNameCapacity];
  char in[kQxL_GatePathCapacity];
  char out[kQxL_GatePathCapacity];
  if (lectureFIFO(path, host, in, out) != 0) {
    g_qxErrno = kQx_AccessError;
    return -1;
  }
  return qx::link::OpenFifoEnds({out, 0, dout}, {in, 1, din}) ? 0 : -1;
}

int OpenSocketConnexionForClientProvider(char* path, int* d) noexcept {
  constexpr const char* kOp = "Qx OpenSocketConnexionForClientProvider";
  g_qxErrno = kQx_NoErr;
  if (!qx::link::Given(kOp, "path", path) || !qx::link::Given(kOp, "d", d)) return -1;
  int port = 0;
  int listening = QXcreeSocket(&port);
  if (listening < 0) return -1;
  char portText[10];
  qx::FormatTo(portText, sizeof portText, "%d", port);
  // The listening socket stays open, whatever the outcome. A launch that
  // failed (fork, or a program that could not be started) has set its code.
  qx::link::ChildSignalHeld held;
  int endReport = -1;
  pid_t child = qx::link::StartPeerProgram(path, const_cast<char*>("-s"), portText, &endReport);
  if (child < 0 || QxErrno() != kQx_NoErr) return -1;
  *d = AcceptFromChild(listening, child, endReport, path);
  if (endReport >= 0) close(endReport);
  if (*d < 0) {
    g_qxErrno = kQx_OpenError;
    return -1;
  }
  return 0;
}

int OpenSocketConnexionForClientConsumer(char* path, int* d) noexcept {
  constexpr const char* kOp = "Qx OpenSocketConnexionForClientConsumer";
  g_qxErrno = kQx_NoErr;
  if (!qx::link::Given(kOp, "path", path) || !qx::link::Given(kOp, "d", d)) return -1;
  if (!GateExists("Open SocketConnexionForClientConsumer", path)) return -1;
  char host[kQxL_HostNameCapacity];
  int port = 0;
  if (lectureSOCKET(path, host, &port) != 0) {
    g_qxErrno = kQx_AccessError;
    return -1;
  }
  int s = QXinitConnexion(host, port);
  if (s < 0) return -1;
  *d = s;
  return 0;
}

int CloseFifoConnexionForClientProvider(char* pin, char* pout, int din, int dout) noexcept {
  qx::link::EndLink(din);
  qx::link::EndLink(dout);
  if (pin != nullptr) unlink(pin);
  if (pout != nullptr) unlink(pout);
  return 0;
}

int CloseFifoConnexionForClientConsumer(int din, int dout) noexcept {
  qx::link::EndLink(din);
  qx::link::EndLink(dout);
  return 0;
}

int CloseSocketConnexionForClientProvider(int d) noexcept {
  qx::link::EndLink(d);
  return 0;
}

int CloseSocketConnexionForClientConsumer(int d) noexcept {
  qx::link::EndLink(d);
  return 0;
}

}  // extern "C"
