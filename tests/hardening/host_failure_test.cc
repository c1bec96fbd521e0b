// SPDX-License-Identifier: MIT
// The host goes away at each stage of a run of the real converter over a FIFO
// pair: before reading START_TOOL, while the service runs, before END_TOOL (it
// stops reading but keeps the tool's input open), or it only closes the tool's
// input; in standard-output mode it closes the tool's standard output. The
// host side is played here with raw FIFO and pipe ends. The converter is
// never killed by a signal, never hangs, ends with the status of its own work,
// and its .ll_net is complete.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/pipe_channel.h"
#include "common/previous_output.h"
#include "hardening/hardening_support.h"

namespace {

using hardening::kVarnost;

const std::string& kPrevious = qxtest::PreviousOutput();

// When the host closes one of its ends.
enum class Stage {
  kNever,            // keeps it open to the end
  kBeforeStartTool,  // right after the opens, nothing read
  kAfterStartTool,   // once START_TOOL has been read
};

struct HostCase {
  const char* name;
  bool goodNet;
  Stage closeReading;  // the host's reading end: the tool's output
  Stage closeWriting;  // the host's writing end: the tool's input
  int status;
  bool endToolRead;  // END_TOOL reaches the host
};

class HostFailureTest : public ::testing::TestWithParam<HostCase> {};

// Opens the host's ends of the FIFO pair the tool opens as a server consumer
// (its output first, then its input), without ever blocking: false after
// timeout_ms.
bool OpenHostEnds(const std::string& toTool, const std::string& fromTool, int* writeEnd,
                  int* readEnd, int timeout_ms) {
  *readEnd = open(fromTool.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (*readEnd < 0) return false;
  // Opens once the tool has opened its input, which it does after its
  // output: then both of its ends are open.
  *writeEnd = qxtest::OpenFifoOnceRead(toTool, timeout_ms);
  if (*writeEnd < 0) return false;
  fcntl(*readEnd, F_SETFL, 0);
  return true;
}

TEST_P(HostFailureTest, ToolEndsByItselfWithItsOwnStatusAndCompleteOutput) {
  const HostCase& c = GetParam();
  qxtest::TempDir dir;
  const std::string net = dir.File("net.mat");
  if (c.goodNet) {
    qxtest::WriteFile(net, hardening::ExampleNet("elevator_2"));
    qxtest::WriteFile(net + ".ref", hardening::ExampleRef("elevator_2"));
  } else {
    qxtest::WriteFile(net, "3\n3\n1 0\n");
  }
  qxtest::WriteFile(net + ".ll_net", kPrevious);
  const std::string toTool = dir.File("to_tool");
  const std::string fromTool = dir.File("from_tool");
  ASSERT_EQ(mkfifo(toTool.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(fromTool.c_str(), 0600), 0);

  const pid_t tool = qxtest::StartChild([&] {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (chdir(dir.path().c_str()) != 0) return 126;
    execl(kVarnost.c_str(), kVarnost.c_str(), "-framwrk_on_fifo", "-fifo_in_out", toTool.c_str(),
          fromTool.c_str(), "-end_env_p", net.c_str(), static_cast<char*>(nullptr));
    return 127;
  });
  int writeEnd = -1;
  int readEnd = -1;
  const bool opened = OpenHostEnds(toTool, fromTool, &writeEnd, &readEnd, 10000);
  std::vector<std::string> received;
  if (opened) {
    auto closeAt = [&](Stage stage) {
      if (c.closeReading == stage && readEnd >= 0) {
        close(readEnd);
        readEnd = -1;
      }
      if (c.closeWriting == stage && writeEnd >= 0) {
        close(writeEnd);
        writeEnd = -1;
      }
    };
    closeAt(Stage::kBeforeStartTool);
    if (readEnd >= 0) {
      if (auto first = qxtest::ReadFrame(readEnd, 10000)) received.push_back(*first);
      closeAt(Stage::kAfterStartTool);
    }
    while (readEnd >= 0) {
      auto frame = qxtest::ReadFrame(readEnd, 10000);
      if (!frame) break;
      received.push_back(*frame);
    }
  }
  const qxtest::ChildResult run = qxtest::WaitChild(tool, 20000);
  if (readEnd >= 0) close(readEnd);
  if (writeEnd >= 0) close(writeEnd);
  ASSERT_TRUE(opened) << "the tool never opened its FIFO ends";

  ASSERT_FALSE(run.timed_out) << "the tool hung after the host went away";
  ASSERT_TRUE(run.exited) << "the tool was killed by signal " << run.signal;
  EXPECT_EQ(run.status, c.status);
  if (c.closeReading != Stage::kBeforeStartTool) {
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.front().rfind("START_TOOL(", 0), 0u) << received.front();
  }
  const std::string endTool = c.status == 0 ? "END_TOOL(0)" : "END_TOOL(2)";
  EXPECT_EQ(!received.empty() && received.back() == endTool, c.endToolRead);
  EXPECT_EQ(qxtest::ReadFile(net + ".ll_net"),
            c.goodNet ? hardening::ConvertedExample("elevator_2") : kPrevious);
}

INSTANTIATE_TEST_SUITE_P(
    Stages, HostFailureTest,
    ::testing::Values(
        HostCase{"ClosesAllBeforeStartTool", true, Stage::kBeforeStartTool,
                 Stage::kBeforeStartTool, 0, false},
        HostCase{"ClosesAllDuringService", true, Stage::kAfterStartTool, Stage::kAfterStartTool,
                 0, false},
        HostCase{"StopsReadingBeforeEndTool", true, Stage::kAfterStartTool, Stage::kNever, 0,
                 false},
        HostCase{"ClosesOnlyToolInput", true, Stage::kNever, Stage::kBeforeStartTool, 0, true},
        HostCase{"ClosesAllDuringFailingService", false, Stage::kAfterStartTool,
                 Stage::kAfterStartTool, 1, false},
        HostCase{"StaysForFailingService", false, Stage::kNever, Stage::kNever, 1, true}),
    [](const ::testing::TestParamInfo<HostCase>& info) { return std::string(info.param.name); });

// In standard-output mode the host reads the tool's standard output: when it
// closes its end before reading, or after the first line, the tool is not
// killed by SIGPIPE; it converts, creates the end lock file and ends with 0.
TEST(StandardOutputHostFailure, ToolSurvivesTheHostClosingItsStandardOutput) {
  for (const bool readFirstLine : {false, true}) {
    SCOPED_TRACE(readFirstLine ? "after the first line" : "before reading");
    qxtest::TempDir dir;
    ASSERT_EQ(mkdir(dir.File("QX_MNGR").c_str(), 0755), 0);
    const std::string net = dir.File("net.mat");
    qxtest::WriteFile(net, hardening::ExampleNet("elevator_2"));
    qxtest::WriteFile(net + ".ref", hardening::ExampleRef("elevator_2"));
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    const pid_t tool = qxtest::StartChild([&] {
      dup2(out[1], 1);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 2);
      if (chdir(dir.path().c_str()) != 0) return 126;
      execl(kVarnost.c_str(), kVarnost.c_str(), "-std_out", "-end_env_p", net.c_str(),
            static_cast<char*>(nullptr));
      return 127;
    });
    close(out[1]);
    if (readFirstLine) {
      pollfd p{out[0], POLLIN, 0};
      ASSERT_EQ(poll(&p, 1, 10000), 1);
      char c = 0;
      while (read(out[0], &c, 1) == 1 && c != '\n') {
      }
    }
    close(out[0]);
    const qxtest::ChildResult run = qxtest::WaitChild(tool, 20000);
    ASSERT_FALSE(run.timed_out);
    ASSERT_TRUE(run.exited) << "the tool was killed by signal " << run.signal;
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(qxtest::ReadFile(net + ".ll_net"), hardening::ConvertedExample("elevator_2"));
    EXPECT_TRUE(qxtest::FileExists(dir.File("QX_MNGR/QX_exec_finished.lock")));
  }
}

}  // namespace
