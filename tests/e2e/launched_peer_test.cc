// SPDX-License-Identifier: MIT
// The launched-peer mark reaches only the process a launcher of the library
// started: a tool that such a peer starts in its turn, directly or through the
// host stand-in, is a tool of its own and ends its run for the host.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "channel/link_test_fixture.h"
#include "e2e_support.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"

namespace {

using qxtest::Arg;

TEST(LaunchedPeerMark, AToolStartedByALaunchedProgramEndsItsOwnRun) {
  struct Case {
    const char* name;
    const char* script;  // run by /bin/sh -c with $0 the workspace, $1 qxhost, $2 the tool
    const char* output;  // the file that receives the host's commands
    bool lockFile;
  } cases[] = {
      // The shell is the launched peer; the tool is its child.
      {"a tool a launched shell starts", "cd \"$0\" && \"$2\" -std_out -end_env_p hello > out; exit $?",
       "out", true},
      // The stand-in is the launched peer itself; it starts the tool as a host does.
      {"the host stand-in launched",
       "cd \"$0\" && exec \"$1\" --workspace \"$0\" --std-out \"$2\" hello > out 2> err", "out",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    e2e::Workspace workspace;
    const qxtest::ChildResult launcher = qxtest::RunInChild(
        [&] {
          int pid = QXExecutionAsynchroneByForkExec(
              Arg("/bin/sh"), Arg("-c"), Arg(c.script), Arg(workspace.path()), Arg(QX_HOST_BIN),
              Arg(QX_PROBE_BIN), nullptr);
          if (pid <= 0 || QxErrno() != kQx_NoErr) return 90;
          const qxtest::ChildResult peer = qxtest::WaitChild(pid, 15000);
          return peer.exited ? peer.status : 91;
        },
        20000);
    EXPECT_TRUE(launcher.exited && launcher.status == 0)
        << "status " << launcher.status << "\n" << launcher.err
        << qxtest::ReadFile(workspace.File("err"));
    const std::string out = qxtest::ReadFile(workspace.File(c.output));
    EXPECT_TRUE(out.ends_with("END_TOOL(0)\n")) << out;
    EXPECT_EQ(qxtest::FileExists(workspace.LockFile()), c.lockFile);
  }
}

}  // namespace
