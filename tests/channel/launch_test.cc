// SPDX-License-Identifier: MIT
// Launchers with real children: the peer program reports its arguments and
// the descriptors it was given; missing programs end their child through the
// abort path while the parent carries on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "channel/link_internal.h"
#include "channel/link_test_fixture.h"
#include "runtime/exit_internal.h"
#include "common/qxtest.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"

namespace {

constexpr int kChildMs = 15000;
using qxtest::Arg;

// What the peer program wrote in report mode.
struct PeerReport {
  std::vector<std::string> args;
  std::vector<int> fds;
  std::optional<std::string> input;
  std::optional<std::string> mark;  // the launched-peer mark
  std::string pid;                  // the peer's process id
};

PeerReport ParseReport(const std::string& text) {
  PeerReport report;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("arg:", 0) == 0) report.args.push_back(line.substr(4));
    if (line.rfind("fd:", 0) == 0) report.fds.push_back(std::stoi(line.substr(3)));
    if (line.rfind("stdin:", 0) == 0) report.input = line.substr(6);
    if (line.rfind("mark:", 0) == 0) report.mark = line.substr(5);
    if (line.rfind("pid:", 0) == 0) report.pid = line.substr(4);
  }
  return report;
}

bool Holds(const std::vector<int>& fds, int fd) {
  return std::find(fds.begin(), fds.end(), fd) != fds.end();
}

// Each test runs in its own working directory, where the peer writes its
// report, with traces kept to standard error.
class LaunchTest : public qxtest::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    cwd_.emplace(dir_.path());
  }
  void TearDown() override {
    cwd_.reset();
    LinkTest::TearDown();
  }

  std::string ReportPath() const { return dir_.File("qxpeer.report"); }
  PeerReport AwaitReport() const {
    EXPECT_TRUE(qxtest::WaitForFile(ReportPath(), kChildMs)) << "the peer never reported";
    return ParseReport(qxtest::ReadFile(ReportPath()));
  }

  std::optional<qxtest::ScopedChdir> cwd_;
};

struct ShellLineCase {
  std::vector<const char*> words;
  const char* line;
};

TEST(ShellCommandLineTest, QuotesOnlyWordsTheShellWouldSplitOrRun) {
  const ShellLineCase cases[] = {
      {{"prog", "-s", "a", "b"}, "prog -s a b &"},
      {{"/tmp/d/prog", "-s", "/tmp/x.out", "/tmp/x.in"}, "/tmp/d/prog -s /tmp/x.out /tmp/x.in &"},
      {{"prog", "a b"}, "prog 'a b' &"},
      {{"prog", "it's"}, "prog 'it'\\''s' &"},
      {{"prog", ""}, "prog '' &"},
      {{"prog", "$(touch x)", "a;b", "a|b", "~", "k=v"},
       "prog '$(touch x)' 'a;b' 'a|b' '~' 'k=v' &"},
      {{"my prog", "x"}, "'my prog' x &"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = c.words;
    argv.push_back(nullptr);
    std::string line;
    ASSERT_TRUE(qx::link::ShellCommandLine(argv.data(), &line)) << c.line;
    EXPECT_EQ(line, c.line);
  }
}

TEST(ShellCommandLineTest, RefusesALineLongerThan999Characters) {
  // One word of n characters gives a line of n + 2 ("word &").
  std::string fits(997, 'a');
  std::string tooLong(998, 'a');
  std::string line;
  const char* ok[] = {fits.c_str(), nullptr};
  ASSERT_TRUE(qx::link::ShellCommandLine(ok, &line));
  EXPECT_EQ(line.size(), 999u);
  const char* refused[] = {tooLong.c_str(), nullptr};
  EXPECT_FALSE(qx::link::ShellCommandLine(refused, &line));
}

// The peer started through the shell gets what its command line names and
// nothing of its launcher's links (a link end the launcher holds open here).
TEST_F(LaunchTest, ShellLaunchGivesEachArgumentAsOneWordAndRunsNothingElse) {
  const std::string fifo = dir_.File("link");
  ASSERT_EQ(QXcreeFIFO(fifo.c_str()), 0);
  const int holder = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  const int linkEnd = QXouvrirFIFO(fifo.c_str(), 1);
  ASSERT_GE(linkEnd, 0);
  std::string planted = dir_.File("planted");
  std::string injection = "$(touch " + planted + ")";
  int status = QXExecutionAsynchroneBySystem(Arg(QX_PEER_PATH), Arg("a b"), Arg("it's"),
                                             Arg(injection.c_str()), Arg(""), Arg(";true"),
                                             nullptr);
  EXPECT_EQ(status, 0);
  PeerReport report = AwaitReport();
  EXPECT_EQ(report.args, (std::vector<std::string>{QX_PEER_PATH, "a b", "it's", injection, "",
                                                   ";true"}));
  EXPECT_FALSE(qxtest::FileExists(planted));
  EXPECT_EQ(report.mark, report.pid) << "the peer is marked as launched, by its own id";
  EXPECT_EQ(getenv(qx::kLaunchedPeerVariable), nullptr) << "the launcher's own environment";
  EXPECT_FALSE(Holds(report.fds, linkEnd)) << "the peer holds its launcher's link";
  close(linkEnd);
  close(holder);
}

TEST_F(LaunchTest, ShellLaunchRefusesAnOverlongLineWithoutRunningIt) {
  std::string word(200, 'w');
  std::string err = qxtest::CaptureFd(2, [&] {
    EXPECT_EQ(QXExecutionAsynchroneBySystem(Arg(QX_PEER_PATH), Arg(word.c_str()),
                                            Arg(word.c_str()), Arg(word.c_str()),
                                            Arg(word.c_str()), Arg(word.c_str()), nullptr),
              -1);
  });
  EXPECT_NE(err.find("QX ExecutionAsynchroneBySystem:command line longer than 999 characters"),
            std::string::npos)
      << err;
}

TEST_F(LaunchTest, ForkExecPassesEightArgumentsInOrderAndOnlyTheStandardStreams) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  g_qxErrno = kQx_ParamErr;
  int pid = QXExecutionAsynchroneByForkExec(Arg(QX_PEER_PATH), Arg("1"), Arg("2"), Arg("3"),
                                            Arg("4"), Arg("5"), Arg("6"), Arg("7"), Arg("8"),
                                            nullptr);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  ASSERT_GT(pid, 0);
  qxtest::ChildResult child = qxtest::WaitChild(pid, kChildMs);
  close(p[0]);
  close(p[1]);
  EXPECT_TRUE(child.exited && child.status == 0);
  PeerReport report = AwaitReport();
  EXPECT_EQ(report.args,
            (std::vector<std::string>{QX_PEER_PATH, "1", "2", "3", "4", "5", "6", "7", "8"}));
  for (int fd : report.fds) EXPECT_LE(fd, 2) << "descriptor " << fd << " leaked into the peer";
  EXPECT_EQ(report.pid, std::to_string(pid));
  EXPECT_EQ(report.mark, report.pid) << "the peer is marked as launched, by its own id";
  EXPECT_EQ(getenv(qx::kLaunchedPeerVariable), nullptr) << "the launcher's own environment";
}

TEST_F(LaunchTest, SynchronePgmReturnsWhileTheChildRunsAndClosesItsFirstTwentyDescriptors) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  std::string go = dir_.File("go");
  int pid = QXExecutionSynchronePgm(Arg(QX_PEER_PATH), Arg("--wait-file"), Arg(go.c_str()),
                                    nullptr);
  ASSERT_GT(pid, 0);
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the launcher waited for its child";
  qxtest::WriteFile(go, "");
  qxtest::ChildResult child = qxtest::WaitChild(pid, kChildMs);
  close(p[0]);
  close(p[1]);
  EXPECT_TRUE(child.exited && child.status == 0);
  PeerReport report = AwaitReport();
  EXPECT_EQ(report.args, (std::vector<std::string>{QX_PEER_PATH, "--wait-file", go}));
  for (int fd : report.fds) EXPECT_GE(fd, 20) << "descriptor " << fd << " was not closed";
}

TEST_F(LaunchTest, ExecutionSearchesThePathAndPassesTheNumber) {
  std::string peer = QX_PEER_PATH;
  std::string peerDir = peer.substr(0, peer.rfind('/'));
  std::string peerName = peer.substr(peer.rfind('/') + 1);
  qxtest::ChildResult launcher = qxtest::RunInChild([&] {
    setenv("PATH", peerDir.c_str(), 1);
    int pid = QXexecution(Arg(peerName.c_str()), -42);
    if (pid <= 0) return 10;
    qxtest::ChildResult child = qxtest::WaitChild(pid, kChildMs);
    return child.exited ? child.status : 11;
  });
  EXPECT_TRUE(launcher.exited && launcher.status == 0) << launcher.err;
  PeerReport report = AwaitReport();
  EXPECT_EQ(report.args, (std::vector<std::string>{peerName, "-42"}));
  for (int fd : report.fds) EXPECT_GE(fd, 20) << "descriptor " << fd << " was not closed";
}

TEST_F(LaunchTest, ExcPipeFeedsTheChildWhatTheCallerWritesOnItsStandardOutput) {
  qxtest::ChildResult launcher = qxtest::RunInChild([&] {
    int pid = QXexcPipe(Arg(QX_PEER_PATH), Arg("--stdin"), 7);
    if (pid <= 0) return 10;
    std::printf("through the pipe");
    std::fflush(stdout);
    close(1);  // the child sees the end of its input
    qxtest::ChildResult child = qxtest::WaitChild(pid, kChildMs);
    return child.exited ? child.status : 11;
  });
  EXPECT_TRUE(launcher.exited && launcher.status == 0) << launcher.err;
  PeerReport report = AwaitReport();
  EXPECT_EQ(report.args, (std::vector<std::string>{QX_PEER_PATH, "--stdin", "7"}));
  EXPECT_EQ(report.input, "through the pipe");
  EXPECT_TRUE(Holds(report.fds, 0));
}

// A launcher given a program that does not exist.
struct MissingProgramCase {
  const char* name;
  int (*launch)(char* missing);
  // The launcher's messages, traced by the parent once the child said that
  // its exec failed.
  std::vector<std::string> messages;
};

constexpr const char* kMissing = "/nonexistent/qxpeer-missing";

// The launcher runs in a tool that the host started in standard-output mode,
// with a model workspace: a child that ran the tool's end path would send
// END_TOOL(2) on the output it shares with the parent and create the end lock
// file, so that the host would see the run end twice.
TEST_F(LaunchTest, MissingProgramIsReportedByTheParentAndTheChildLeavesQuietly) {
  const MissingProgramCase cases[] = {
      {"ForkExec",
       [](char* p) {
         int pid = QXExecutionAsynchroneByForkExec(p, Arg("x"), nullptr);
         return QxErrno() == kQx_ExecvError ? pid : -100;
       },
       {"QX ExecutionAsynchroneByForkExec error on execv path='/nonexistent/qxpeer-missing'"}},
      {"SynchronePgm",
       [](char* p) { return QXExecutionSynchronePgm(p, Arg("x"), nullptr); },
       {"QXimpression: Probleme ExecPgm (errno = 2)"}},
      {"execution",
       [](char* p) { return QXexecution(p, 3); },
       {"QXimpression: execl ne fonctionne pas,variable PATH mauvaise (errno = 2)"}},
      // /bin/on is not installed here.
      {"onExeComm",
       [](char* p) { return QXonExeComm(p, Arg("host"), Arg("x"), 3); },
       {"QXimpression: on ne fonctionne pas,variable PATH mauvaise (errno = 2)"}},
  };
  ASSERT_EQ(mkdir(dir_.File("QX_MNGR").c_str(), 0777), 0);
  const std::string lockFile = dir_.File("QX_MNGR/QX_exec_finished.lock");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::ChildResult run = qxtest::RunInChild([&] {
      g_qxStandalone = kQx_False;
      g_qxStartedByQuarnel = kQx_True;
      g_qxStdOut = kQx_True;
      int pid = c.launch(Arg(kMissing));
      // Written once: a child that came back into this code would say it twice.
      std::fprintf(stderr, "[launched %s]\n", pid > 0 ? "a child" : "nothing");
      if (pid <= 0) return 10;
      qxtest::ChildResult child = qxtest::WaitChild(pid, kChildMs);
      return child.exited && child.status == 127 ? 0 : 11;
    });
    EXPECT_TRUE(run.exited && run.status == 0) << run.err;
    size_t first = run.err.find("[launched a child]");
    EXPECT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("[launched", first + 1), std::string::npos) << run.err;
    for (const auto& m : c.messages) {
      size_t at = run.err.find(m);
      EXPECT_NE(at, std::string::npos) << run.err;
      EXPECT_EQ(run.err.find(m, at + 1), std::string::npos) << "traced twice: " << run.err;
    }
    EXPECT_EQ(run.out.find("END_TOOL"), std::string::npos) << run.out;
    EXPECT_FALSE(qxtest::FileExists(lockFile));
  }
}

// A descriptor the tool opened without close-on-exec, at the first number
// above the standard streams, does not reach the peer of the fork launcher,
// which keeps only its standard streams (the socket client provider starts
// its peer through it).
TEST_F(LaunchTest, ForkExecKeepsADescriptorThreeWithoutCloseOnExecFromThePeer) {
  qxtest::ChildResult run = qxtest::RunInChild([&] {
    int p[2];
    if (pipe(p) != 0 || (p[0] != 3 && dup2(p[0], 3) != 3)) return 10;
    if (fcntl(3, F_GETFD) != 0) return 11;
    const int pid = QXExecutionAsynchroneByForkExec(Arg(QX_PEER_PATH), nullptr);
    if (pid <= 0) return 12;
    return qxtest::WaitChild(pid, kChildMs).exited ? 0 : 13;
  });
  EXPECT_TRUE(run.exited && run.status == 0) << run.err;
  EXPECT_FALSE(Holds(AwaitReport().fds, 3)) << "descriptor 3 leaked into the peer";
}

// A signal caught while the launcher waits for its child's launch report,
// with a handler installed without SA_RESTART so that the wait's read is
// interrupted, does not hide an exec failure: a timer signals the launcher
// through many launches of a missing program, and each is reported.
TEST_F(LaunchTest, AnInterruptedWaitForTheLaunchReportStillSeesTheExecFailure) {
  qxtest::ChildResult run = qxtest::RunInChild(
      [&] {
        struct sigaction caught {};
        caught.sa_handler = [](int) {};
        sigemptyset(&caught.sa_mask);
        caught.sa_flags = 0;
        if (sigaction(SIGALRM, &caught, nullptr) != 0) return 10;
        const itimerval every{{0, 3000}, {0, 3000}};
        if (setitimer(ITIMER_REAL, &every, nullptr) != 0) return 11;
        int unseen = 0;
        for (int i = 0; i < 150; ++i) {
          const int pid = QXExecutionAsynchroneByForkExec(Arg(kMissing), nullptr);
          if (pid <= 0) return 12;
          if (QxErrno() != kQx_ExecvError) ++unseen;
          int status = 0;
          while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
          }
        }
        const itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        std::printf("%d launches seen as started", unseen);
        return unseen == 0 ? 0 : 20;
      },
      60000);
  EXPECT_TRUE(run.exited && run.status == 0) << run.out;
}

// QXexcPipe hands the caller's standard output to its child only once the
// program has started: a program that cannot start gives -1 with
// kQx_ExecvError, the launcher's two messages, and leaves standard output and
// the open descriptors as they were, so the rest of the run (END_TOOL in
// standard-output mode) still reaches the host.
TEST_F(LaunchTest, ExcPipeWithAProgramThatCannotStartKeepsStandardOutput) {
  qxtest::ChildResult run = qxtest::RunInChild([&] {
    const int before = qxtest::CountOpenFds();
    g_qxErrno = kQx_ParamErr;
    int pid = QXexcPipe(Arg(kMissing), Arg("host"), 3);
    if (pid != -1) return 10;
    if (QxErrno() != kQx_ExecvError) return 11;
    if (qxtest::CountOpenFds() != before) return 12;
    std::printf("still the host's\n");
    std::fflush(stdout);
    return 0;
  });
  EXPECT_TRUE(run.exited && run.status == 0) << run.status << "\n" << run.err;
  EXPECT_EQ(run.out, "still the host's\n");
  for (const char* m : {"QXimpression: /nonexistent/qxpeer-missing (errno = 2)",
                        "QXimpression: probleme dans un execlp (errno = 2)"}) {
    EXPECT_NE(run.err.find(m), std::string::npos) << run.err;
  }
}

using QXimpressionTest = qxtest::LinkTest;

TEST_F(QXimpressionTest, TracesTheTextWithErrno) {
  std::string err = qxtest::CaptureFd(2, [] {
    errno = ENOENT;
    QXimpression("creation socket impossible");
  });
  EXPECT_EQ(err, "#(Varnost):QXimpression: creation socket impossible (errno = 2)\n");
}

}  // namespace
