// SPDX-License-Identifier: MIT
// Tools on the library run as processes under the host stand-in: the commands
// the host receives in each mode, how each way of ending a service becomes
// END_TOOL(n) and an exit status, and a host that goes away mid-run.
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

const std::string kProbeStart =
    "START_TOOL(1:C,2,1,2,6,2,3,5:Probe,3:0.3,29:(c) probe, 2 lines, no rights)\n";

struct EndCase {
  const char* request;     // what the probe tool is asked to do
  std::string commands;    // what the host prints, in order
  int host_status;         // 0 ok, 3 tool failure, 4 abnormal end
  const char* tool_end;    // the host's line about the tool's end
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.request; }

class ProbeEnds : public ::testing::TestWithParam<std::tuple<EndCase, bool>> {};

TEST_P(ProbeEnds, CommandsAndStatuses) {
  const auto& [c, std_out] = GetParam();
  e2e::Workspace workspace;
  std::vector<std::string> options;
  if (std_out) options.push_back("--std-out");
  const qxtest::ChildResult host = e2e::RunHost(workspace, options, QX_PROBE_BIN, {c.request});
  ASSERT_TRUE(host.exited) << host.err;
  EXPECT_EQ(host.out, c.commands);
  EXPECT_EQ(host.status, c.host_status) << host.err;
  EXPECT_NE(host.err.find(c.tool_end), std::string::npos) << host.err;
  EXPECT_EQ(host.err.find("protocol fault"), std::string::npos) << host.err;
  // Nothing of the service runs after QxExit or QxAbort.
  EXPECT_EQ(host.err.find("not reached"), std::string::npos) << host.err;
  // The end lock file marks the end of a standard-output run, an aborted one
  // included; a FIFO run has none.
  EXPECT_EQ(qxtest::FileExists(workspace.LockFile()), std_out);
}

INSTANTIATE_TEST_SUITE_P(
    AllEnds, ProbeEnds,
    ::testing::Combine(
        ::testing::Values(
            EndCase{"hello",
                    kProbeStart + "TR(16:probe says hello)\nSTT_MSG(7:probing)\nRO(17)\nEND_TOOL(0)\n",
                    0, "tool exited with status 0"},
            EndCase{"warning", kProbeStart + "TR(13:about to warn)\nEND_TOOL(1)\n", 0,
                    "tool exited with status 0"},
            EndCase{"error", kProbeStart + "END_TOOL(2)\n", 3, "tool exited with status 1"},
            EndCase{"abort", kProbeStart + "END_TOOL(2)\n", 4, "tool killed by signal 6"}),
        ::testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).request) +
             (std::get<1>(info.param) ? "_StdOut" : "_Fifo");
    });

// QxExit(0) is refused: the trace, then an abnormal end without END_TOOL,
// which the host reports as a missing end besides the abort.
TEST(ProbeRun, QxExitZeroIsRefused) {
  e2e::Workspace workspace;
  const qxtest::ChildResult host = e2e::RunHost(workspace, {}, QX_PROBE_BIN, {"exit0"});
  EXPECT_EQ(host.status, 4);
  EXPECT_EQ(host.out, kProbeStart + "TR(23:QxExit(0) not allowed !)\n");
  EXPECT_NE(host.err.find("#(Probe):QxExit(0) not allowed !\n"), std::string::npos) << host.err;
  EXPECT_NE(host.err.find("END_TOOL(n) missing at the end"), std::string::npos) << host.err;
  EXPECT_NE(host.err.find("tool killed by signal 6"), std::string::npos) << host.err;
}

// Standalone: the service sees an empty program name and its own arguments,
// nothing is sent, and the end lock file is written.
TEST(ProbeRun, StandaloneArguments) {
  e2e::Workspace workspace;
  const qxtest::ChildResult run =
      qxtest::RunProgram(QX_PROBE_BIN, {"-u_name", "ann", "-s", "args", "-std_out", "x y"},
                         workspace.path());
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "probe argv[0]=<>\nprobe argv[1]=<args>\nprobe argv[2]=<-std_out>\n"
            "probe argv[3]=<x y>\n");
  EXPECT_TRUE(qxtest::FileExists(workspace.LockFile()));
  EXPECT_EQ(qxtest::ReadFile(workspace.LockFile()), "");
}

// A tool whose kit name is DEFAULT, or that defines no identity constant at
// all, is noted and runs on; without constants it announces, traces and
// names (-version) its tool as DEFAULT, never by an empty name, with an empty
// version and copyright.
TEST(ProbeRun, DefaultIdentityIsNotedAndTheRunGoesOn) {
  const struct {
    const char* name;
    const char* tool;
    std::string start;  // the first command
    const char* trace;    // the trace line on standard error
    const char* version;  // the first line of -version
  } cases[] = {
      {"kit name DEFAULT", QX_PROBE_DEFAULT_BIN, kProbeStart, "#(Probe):probe says hello\n",
       "Probe 0.3 [(c) probe, 2 lines, no rights]\n"},
      {"no identity constant", QX_PROBE_ANONYMOUS_BIN,
       "START_TOOL(1:C,2,1,2,6,2,3,7:DEFAULT,0:,0:)\n", "#(DEFAULT):probe says hello\n",
       "DEFAULT  []\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    e2e::Workspace workspace;
    const qxtest::ChildResult host = e2e::RunHost(workspace, {}, c.tool, {"hello"});
    EXPECT_EQ(host.status, 0) << host.err;
    EXPECT_NE(host.err.find("Please\n* copy file QXServVersions in you interface directory,\n"
                            "* change the static strings.\n"
                            "* put $(PROJECT_ROOT)/interface at the beginning of the INCDIR "
                            "section\n"
                            "  of your specific.make,\n"
                            "* gmake clean or remove *.d file before gmake\n"),
              std::string::npos)
        << host.err;
    EXPECT_TRUE(host.out.starts_with(c.start)) << host.out;
    EXPECT_NE(host.out.find("TR(16:probe says hello)\n"), std::string::npos) << host.out;
    EXPECT_NE(host.err.find(c.trace), std::string::npos) << host.err;
    const qxtest::ChildResult version = qxtest::RunProgram(c.tool, {"-version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with(c.version)) << version.out;
  }
}

// The host closes its ends after two commands; the tool's next writes fail and
// it still ends through its end routine, with status 0, not by SIGPIPE.
TEST(ProbeRun, HostGoesAwayMidRun) {
  for (bool std_out : {false, true}) {
    SCOPED_TRACE(std_out ? "standard output" : "FIFO");
    e2e::Workspace workspace;
    std::vector<std::string> options = {"--close-after", "2"};
    if (std_out) options.push_back("--std-out");
    const qxtest::ChildResult host =
        e2e::RunHost(workspace, options, QX_PROBE_BIN, {"until-broken"});
    ASSERT_TRUE(host.exited);
    EXPECT_EQ(host.status, 0) << host.err;
    EXPECT_EQ(host.out, kProbeStart + "RO(0)\n");
    EXPECT_NE(host.err.find("probe: the host has gone"), std::string::npos) << host.err;
    EXPECT_NE(host.err.find("tool exited with status 0"), std::string::npos) << host.err;
  }
}

// A C++ tool: QxExit unwinds the frames in between (destructors run), and an
// exception escaping the service ends the run as a failure the host hears of.
TEST(CxxToolRun, ExitUnwindsAndEscapedExceptionFails) {
  e2e::Workspace workspace;
  const qxtest::ChildResult raii = e2e::RunHost(workspace, {}, QX_CXX_PROBE_BIN, {"raii"});
  EXPECT_EQ(raii.status, 0) << raii.err;
  EXPECT_TRUE(raii.out.ends_with("END_TOOL(1)\n")) << raii.out;
  EXPECT_NE(raii.err.find("cxx probe: destructor ran"), std::string::npos) << raii.err;
  EXPECT_EQ(raii.err.find("not reached"), std::string::npos) << raii.err;

  const qxtest::ChildResult thrown = e2e::RunHost(workspace, {}, QX_CXX_PROBE_BIN, {"throw"});
  EXPECT_EQ(thrown.status, 3) << thrown.err;
  EXPECT_NE(thrown.out.find("TR(4:boom)\n"), std::string::npos) << thrown.out;
  EXPECT_TRUE(thrown.out.ends_with("END_TOOL(2)\n")) << thrown.out;
}

}  // namespace
