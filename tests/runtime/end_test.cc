// SPDX-License-Identifier: MIT
// The end of a run in a process of its own: END_TOOL(n) and the exit status
// for each end status, at most one end per process, the end lock file, and
// QxExit / QxAbort in a program that has its own main.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "common/pipe_channel.h"
#include "common/qxtest.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXMain.h"
#include "runtime/exit_internal.h"

namespace {

// A model workspace for the child: the end lock file goes to its QX_MNGR.
class EndOfRun : public ::testing::Test {
 protected:
  void SetUp() override { ::mkdir(dir_.File("QX_MNGR").c_str(), 0777); }

  // Runs body in a child started by the host in standard-output mode, in the
  // workspace.
  qxtest::ChildResult InRun(const std::function<int()>& body) {
    return qxtest::RunInChild([&] {
      if (::chdir(dir_.path().c_str()) != 0) return 99;
      // The model workspace is the current directory; the basic-info file
      // itself is of no concern here (read before the host flags, so its
      // absence is not traced).
      QxEnvReadBasicInfo();
      g_qxStartedByQuarnel = kQx_True;
      g_qxStdOut = kQx_True;
      return body();
    });
  }

  std::string LockFile() const { return dir_.File("QX_MNGR/QX_exec_finished.lock"); }

  qxtest::TempDir dir_;
};

struct EndCase {
  int status;           // the QxEndStatus given
  const char* command;  // what the host receives
  int exit_status;
};

TEST_F(EndOfRun, CommandAndExitStatusForEachEnd) {
  const EndCase cases[] = {
      {kQx_EndNoProblem, "END_TOOL(0)\n", 0},
      {kQx_EndOnWarning, "END_TOOL(1)\n", 0},
      {kQx_EndOnError, "END_TOOL(2)\n", 1},
      {99, "END_TOOL(0)\n", 0},  // any other value ends without problem
  };
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.status);
    ::unlink(LockFile().c_str());
    const qxtest::ChildResult child =
        InRun([&] { return QXMainEndTool(static_cast<QxEndStatus>(c.status)); });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.status, c.exit_status);
    EXPECT_EQ(child.out, c.command);
    EXPECT_EQ(qxtest::ReadFile(LockFile()), "");
  }
}

// A process that the library's launchers started carries their mark, which
// names its own process id: main takes it out of the environment, and its end
// is not the end of the run whose output and workspace it shares with its
// launcher. A mark that names another process came through a program that is
// not a library program (a shell, a host started by a peer): the process is
// then a tool of its own and ends its run.
TEST_F(EndOfRun, OnlyAProcessTheMarkNamesIsAPeer) {
  enum class Mark { kNone, kOwnId, kParentId, kOne, kNotANumber, kOwnIdAndMore };
  struct Case {
    const char* name;
    Mark mark;
    const char* command;  // what the host receives
    bool lockFile;
  } cases[] = {
      {"started by the host", Mark::kNone, "END_TOOL(2)\n", true},
      {"started by a launcher of the library", Mark::kOwnId, "", false},
      {"started by a peer that is not a library program", Mark::kParentId, "END_TOOL(2)\n",
       true},
      {"a mark naming process 1", Mark::kOne, "END_TOOL(2)\n", true},
      {"a mark that is no number", Mark::kNotANumber, "END_TOOL(2)\n", true},
      {"its own id followed by more", Mark::kOwnIdAndMore, "END_TOOL(2)\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(LockFile().c_str());
    const qxtest::ChildResult child = InRun([&] {
      const std::string own = std::to_string(::getpid());
      const std::string values[] = {"", own, std::to_string(::getppid()), "1", "peer",
                                    own + "0"};
      if (c.mark != Mark::kNone) {
        ::setenv(qx::kLaunchedPeerVariable, values[static_cast<int>(c.mark)].c_str(), 1);
      }
      qx::TakeLaunchedPeerMark();
      if (std::getenv(qx::kLaunchedPeerVariable) != nullptr) return 20;
      return QXMainEndTool(kQx_EndOnError);
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.status, 1);
    EXPECT_EQ(child.out, c.command);
    EXPECT_EQ(qxtest::FileExists(LockFile()), c.lockFile);
  }
}

TEST_F(EndOfRun, EndsOnlyOnceAndKeepsTheFirstStatus) {
  const qxtest::ChildResult child = InRun([] {
    const int first = QXMainEndTool(kQx_EndOnError);
    const int second = QXMainEndTool(kQx_EndNoProblem);
    return first * 10 + second;
  });
  EXPECT_EQ(child.out, "END_TOOL(2)\n");
  EXPECT_EQ(child.status, 11);
}

// The end lock file tells the host that standard output holds the whole run:
// it appears only once END_TOOL(n) is in the pipe, stdio buffering that
// stream whole as it does on a pipe. The lock file is made a FIFO here, so
// the end routine's open of it waits for this test's: when that open
// returns, the pipe must already hold the command.
TEST_F(EndOfRun, TheLockFileAppearsOnlyOnceEndToolIsOnStandardOutput) {
  ASSERT_EQ(::mkfifo(LockFile().c_str(), 0600), 0);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::close(out[1]);
    if (::chdir(dir_.path().c_str()) != 0) ::_exit(99);
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    QxEnvReadBasicInfo();
    g_qxStartedByQuarnel = kQx_True;
    g_qxStdOut = kQx_True;
    ::_exit(QXMainEndTool(kQx_EndOnWarning));
  }
  ::close(out[1]);
  // Bounded by an alarm whose handler does not restart the open.
  struct sigaction caught {}, previous {};
  caught.sa_handler = [](int) {};
  ::sigemptyset(&caught.sa_mask);
  ::sigaction(SIGALRM, &caught, &previous);
  ::alarm(10);
  const int lock = ::open(LockFile().c_str(), O_RDONLY | O_CLOEXEC);
  ::alarm(0);
  ::sigaction(SIGALRM, &previous, nullptr);
  const std::string written = qxtest::ReadAvailable(out[0]);
  EXPECT_GE(lock, 0) << "the end routine never opened the lock file";
  EXPECT_EQ(written, "END_TOOL(1)\n");
  if (lock >= 0) ::close(lock);
  ::close(out[0]);
  const qxtest::ChildResult child = qxtest::WaitChild(pid, 10000);
  EXPECT_TRUE(child.exited && child.status == 0);
}

// END_TOOL(n) goes to the host's channel, the default one, even when the tool
// made another channel current (a peer's) and left it so.
TEST_F(EndOfRun, EndToolGoesToTheHostWhenAnotherChannelIsCurrent) {
  const qxtest::ChildResult child = qxtest::RunInChild([&] {
    if (::chdir(dir_.path().c_str()) != 0) return 99;
    QxEnvReadBasicInfo();
    qxtest::PipeChannel host, peer;
    g_qxPDefaultInputChannelIOParams = &host.in;
    g_qxPDefaultOutputChannelIOParams = &host.out;
    g_qxStartedByQuarnel = kQx_True;
    g_qxStdOut = kQx_False;
    QxClSetCurrentChannelIO(&peer.in, &peer.out);
    if (QXMainEndTool(kQx_EndOnWarning) != 0) return 10;
    if (qxtest::ReadFrame(host.peer_read) != "END_TOOL(1)") return 11;
    return qxtest::ReadAvailable(peer.peer_read).empty() ? 0 : 12;
  });
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 0) << child.err;
  EXPECT_FALSE(qxtest::FileExists(LockFile()));
}

// A current directory of 4,095 bytes is the longest a path can name: the
// model workspace path (with its "/") is refused as too long. The end routine
// composes the lock-file path without a word, so END_TOOL stays the last
// command, and the lock file still lands in the workspace.
TEST_F(EndOfRun, LongestWorkingDirectoryLeavesEndToolLast) {
  const qxtest::ChildResult child = qxtest::RunInChild([&] {
    if (::chdir(dir_.path().c_str()) != 0) return 90;
    char cwd[kQx_PathCapacity];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return 91;
    // Components of at most 200 bytes, made and entered one by one, until the
    // path has 4,095 bytes.
    for (size_t length = std::strlen(cwd); length < kQx_PathCapacity - 1;) {
      const size_t part = std::min<size_t>(200, kQx_PathCapacity - 2 - length);
      const std::string name(part, 'd');
      if (::mkdir(name.c_str(), 0777) != 0 || ::chdir(name.c_str()) != 0) return 92;
      length += 1 + part;
    }
    if (::getcwd(cwd, sizeof cwd) == nullptr || std::strlen(cwd) != kQx_PathCapacity - 1) return 93;
    if (::mkdir("QX_MNGR", 0777) != 0) return 94;
    QxEnvReadBasicInfo();
    g_qxStartedByQuarnel = kQx_True;
    g_qxStdOut = kQx_True;
    if (QXMainEndTool(kQx_EndNoProblem) != 0) return 95;
    return ::access("QX_MNGR/QX_exec_finished.lock", F_OK) == 0 ? 0 : 96;
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.out, "END_TOOL(0)\n");
  EXPECT_EQ(child.err, "");
}

// Without the host: nothing is sent; without QX_MNGR the lock file cannot be
// created, silently.
TEST_F(EndOfRun, StandaloneWithoutManagerDirectory) {
  ::rmdir(dir_.File("QX_MNGR").c_str());
  const qxtest::ChildResult child = InRun([] {
    g_qxStartedByQuarnel = kQx_False;
    return QXMainEndTool(kQx_EndOnWarning);
  });
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.out, "");
  EXPECT_EQ(child.err, "");
}

// In a program with its own main (no library main to return to), QxExit ends
// the run through the end routine and exits with its status.
TEST_F(EndOfRun, QxExitWithoutLibraryMain) {
  const qxtest::ChildResult child = InRun([] {
    QxExit(kQx_EndOnError);
    std::puts("not reached");
    return 0;
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.out, "END_TOOL(2)\n");
}

TEST_F(EndOfRun, AbortEndsTheRunThenAborts) {
  const qxtest::ChildResult aborted = InRun([] {
    QxAbort();
    return 0;
  });
  ASSERT_TRUE(aborted.signaled);
  EXPECT_EQ(aborted.signal, SIGABRT);
  EXPECT_EQ(aborted.out, "END_TOOL(2)\n");
  EXPECT_TRUE(qxtest::FileExists(LockFile()));

  ::unlink(LockFile().c_str());
  const qxtest::ChildResult refused = InRun([] {
    QxExit(static_cast<QxEndStatus>(0));
    return 0;
  });
  ASSERT_TRUE(refused.signaled);
  EXPECT_EQ(refused.signal, SIGABRT);
  EXPECT_EQ(refused.out, "TR(23:QxExit(0) not allowed !)\n");
  EXPECT_NE(refused.err.find("#(Varnost):QxExit(0) not allowed !\n"), std::string::npos);
  // A refused QxExit is no end of the run.
  EXPECT_FALSE(qxtest::FileExists(LockFile()));
}

}  // namespace
