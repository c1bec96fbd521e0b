// SPDX-License-Identifier: MIT
// The end of a run: QxExit, QxAbort and the end routine QXMainEndTool.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "kora/kora_compose.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXMain.h"
#include "runtime/basic_info.h"
#include "runtime/exit_internal.h"
#include "support/format.h"

namespace {

// Set once the end routine has run: END_TOOL leaves a process at most once,
// and every later call answers with the exit status of that one end.
bool g_ended = false;
int g_endExitStatus = 0;

// Set by main once it is ready to catch qx::ToolExit.
bool g_exitArmed = false;

// Set by main when the process carries the launched-peer mark.
bool g_launchedPeer = false;

// The argument of END_TOOL: 1 after a warning, 2 after an error, else 0.
int EndCode(QxEndStatus status) {
  switch (status) {
    case kQx_EndOnWarning:
      return 1;
    case kQx_EndOnError:
      return 2;
    default:
      return 0;
  }
}

// Creates the empty end lock file "QX_MNGR/QX_exec_finished.lock" of the model
// workspace. Failures stay silent: the run has ended whatever happens here,
// and END_TOOL must stay the last command the host receives, so the path is
// composed here without the path operation (which traces a path it refuses).
void WriteEndLockFile() {
  static constexpr char kLockFile[] = "QX_MNGR/QX_exec_finished.lock";
  // Composed without the heap: the end of a run must not depend on memory. A
  // workspace that is not known, or whose lock-file path would not fit a
  // path, stands for the current directory, which is the model workspace of
  // a run.
  char path[kQx_PathCapacity];
  const char* workspace = g_qxModelWorkSpace != nullptr ? g_qxModelWorkSpace : "";
  if (!qx::FormatTo(path, sizeof path, "%s%s", workspace, kLockFile)) {
    qx::CopyTo(path, sizeof path, kLockFile);
  }
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd >= 0) ::close(fd);
}

}  // namespace

namespace qx {

void ArmToolExit() { g_exitArmed = true; }

void TakeLaunchedPeerMark() {
  // The mark names the one process a launcher started. A value naming
  // another process was inherited from a peer that is not a library program
  // (or from any other ancestor): this process is then a tool in its own
  // right, started by whatever started it.
  const char* mark = std::getenv(kLaunchedPeerVariable);
  g_launchedPeer = false;
  if (mark != nullptr && *mark != '\0') {
    char* end = nullptr;
    errno = 0;
    const long long pid = std::strtoll(mark, &end, 10);
    g_launchedPeer = errno == 0 && *end == '\0' && pid == static_cast<long long>(getpid());
  }
  unsetenv(kLaunchedPeerVariable);
}

int ExitStatusOf(QxEndStatus status) { return status == kQx_EndOnError ? 1 : 0; }

}  // namespace qx

extern "C" {

int QXMainEndTool(QxEndStatus qxEndStatus) {
  if (g_ended) return g_endExitStatus;
  g_ended = true;
  g_endExitStatus = qx::ExitStatusOf(qxEndStatus);

  QxClSetCurrentChannelIO(g_qxPDefaultInputChannelIOParams, g_qxPDefaultOutputChannelIOParams);
  // A launched peer shares its launcher's output and workspace: its end is not
  // the end of that run.
  if (g_launchedPeer) return g_endExitStatus;
  if (g_qxStartedByQuarnel) qx::KoraCommand("END_TOOL").Number(EndCode(qxEndStatus)).Send();
  if (g_qxStdOut) {
    // The lock file tells the host that standard output holds the whole run:
    // every stream (standard output and any stream commands were redirected
    // to) is flushed before it exists.
    std::fflush(nullptr);
    WriteEndLockFile();
  }
  return g_endExitStatus;
}

void QxExit(QxEndStatus qxEndStatus) {
  if (qxEndStatus == 0) {
    QxTrace("QxExit(0) not allowed !");
    std::abort();
  }
  if (!g_exitArmed) {
    // No library main to return to: end the run here with the same effects.
    std::exit(QXMainEndTool(qxEndStatus));
  }
  throw qx::ToolExit(qxEndStatus);
}

void QxAbort(void) noexcept {
  QXMainEndTool(kQx_EndOnError);
  std::abort();
}

}  // extern "C"
