// The host stand-in itself: a conversation that goes wrong is reported with
// its own exit status, and no misbehaving tool makes it hang.
#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

struct FaultCase {
  const char* behaviour;  // what the fake tool does
  int host_status;        // 2 protocol fault, 4 abnormal end
  const char* report;     // part of the stand-in's report
  bool std_out = false;   // standard-output mode
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.behaviour; }

class HostFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(HostFaults, ReportedWithItsStatus) {
  const FaultCase& c = GetParam();
  e2e::Workspace workspace;
  const auto start = std::chrono::steady_clock::now();
  // Only the hanging tool meets the time limit; the others get room to spare
  // on a loaded machine.
  const std::string limit = std::string(c.behaviour) == "hang" ? "1" : "5";
  std::vector<std::string> options{"--timeout", limit};
  if (c.std_out) options.push_back("--std-out");
  const qxtest::ChildResult host =
      e2e::RunHost(workspace, options, QX_FAKE_TOOL_BIN, {c.behaviour});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(host.exited) << "the stand-in did not end by itself";
  EXPECT_EQ(host.status, c.host_status) << host.err;
  EXPECT_NE(host.err.find(c.report), std::string::npos) << host.err;
  EXPECT_LT(elapsed, std::chrono::seconds(10));
}

INSTANTIATE_TEST_SUITE_P(
    Misbehaviours, HostFaults,
    ::testing::Values(
        FaultCase{"bad-length", 2, "protocol fault: bad frame length 1099511627776"},
        FaultCase{"cut", 2, "protocol fault: a frame cut short"},
        FaultCase{"no-start", 2, "protocol fault: the first command is not START_TOOL"},
        FaultCase{"no-end", 2, "protocol fault: END_TOOL(n) missing at the end"},
        FaultCase{"after-end", 2, "protocol fault: a command after END_TOOL(0): TR(5:later)"},
        FaultCase{"die", 4, "tool killed by signal 9"},
        FaultCase{"hang", 4, "time limit of 1000 ms reached: tool killed"},
        FaultCase{"lock-early", 2, "the end lock file existed before END_TOOL(n)", true},
        FaultCase{"no-lock", 2, "no end lock file", true}),
    [](const auto& info) {
      std::string name = info.param.behaviour;
      for (char& ch : name)
        if (ch == '-') ch = '_';
      return name;
    });

TEST(HostStandIn, UsageAndSetUpErrors) {
  const qxtest::ChildResult help = qxtest::RunProgram(QX_HOST_BIN, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("exit status:"), std::string::npos);

  const qxtest::ChildResult no_tool = qxtest::RunProgram(QX_HOST_BIN, {"--timeout", "5"});
  EXPECT_EQ(no_tool.status, 1);
  EXPECT_NE(no_tool.err.find("no tool given"), std::string::npos) << no_tool.err;

  e2e::Workspace workspace;
  const qxtest::ChildResult missing =
      e2e::RunHost(workspace, {}, workspace.File("no-such-tool"), {});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot start the tool"), std::string::npos) << missing.err;
}

// Without --workspace the stand-in prepares a temporary workspace itself.
TEST(HostStandIn, PreparesATemporaryWorkspace) {
  const qxtest::ChildResult host =
      qxtest::RunProgram(QX_HOST_BIN, {"--timeout", "20", QX_PROBE_BIN, "hello"}, "", 30000);
  EXPECT_EQ(host.status, 0) << host.err;
  // The basic information was there to be read: no trace about it.
  EXPECT_EQ(host.err.find("EnvReadBasicInfo"), std::string::npos) << host.err;
}

}  // namespace
