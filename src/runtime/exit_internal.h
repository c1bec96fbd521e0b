// SPDX-License-Identifier: MIT
// The end of a run, shared between main and the end routine. Not part of the
// public interface.
#ifndef QUARNEL_SRC_RUNTIME_EXIT_INTERNAL_H
#define QUARNEL_SRC_RUNTIME_EXIT_INTERNAL_H

#include "quarnel/QXTypes.h"

extern "C" {
// The end routine: makes the default channel requests current again, sends
// END_TOOL(n) when the host started the tool, writes the end lock file in
// standard-output mode (neither of the two in a process started by the
// library's launchers, see TakeLaunchedPeerMark), and returns the process exit status (0, or 1 for
// kQx_EndOnError). Its effects happen at most once per process; a later call
// only returns the exit status of that first end.
int QXMainEndTool(QxEndStatus qxEndStatus);
}

namespace qx {

// What QxExit throws and only main catches. It deliberately derives from
// nothing, so a tool's catch (const std::exception&) never swallows it.
class ToolExit {
 public:
  explicit ToolExit(QxEndStatus status) : status_(status) {}
  QxEndStatus status() const { return status_; }

 private:
  QxEndStatus status_;
};

// Called by main before anything else: from then on QxExit throws ToolExit
// back to main. Before it (a program with its own main), QxExit ends the run
// through the end routine and exits with its status.
void ArmToolExit();

// Exit status of an end status: 1 for kQx_EndOnError, 0 otherwise.
int ExitStatusOf(QxEndStatus status);

// The environment variable by which the library's launchers mark every
// program they start: its value is the started program's process id. Such a
// program is a peer of its launcher, not a tool the host started.
inline constexpr char kLaunchedPeerVariable[] = "QX_LAUNCHED_PEER";

// Called by main before anything else: reads the launched-peer mark and
// removes it from the environment (the programs this process starts get it
// only from its own launchers). Only a mark that names this very process
// counts: one that names another (inherited through a program that is not a
// library program) is ignored. The end routine of a marked process neither
// sends END_TOOL nor creates the end lock file: its standard output and its
// workspace are those of the launcher's run, which is not over.
void TakeLaunchedPeerMark();

}  // namespace qx

#endif
