// SPDX-License-Identifier: MIT
// The host stand-in itself: a conversation that goes wrong is reported with
// its own exit status, and no misbehaving tool makes it hang; the tool is found
// from the caller's directory; commands reach a tool that reads them; a file
// transfer is carried out; every command is checked against the syntax.
#include <sys/stat.h>
#include <unistd.h>

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

  // A usage error is its own line and one line pointing at --help, never the
  // whole help text.
  const struct {
    std::vector<std::string> args;
    const char* error;
  } kUsageErrors[] = {
      {{"--timeout", "5"}, "no tool given"},
      {{"--std-out", "--send", "x", "true"},
       "--send needs FIFO mode: in standard-output mode the tool has no input channel"},
      // Time limits: a number of seconds, more than 0 and at most a day.
      {{"--timeout", "0", "true"}, "bad time limit: 0"},
      {{"--timeout", "-5", "true"}, "bad time limit: -5"},
      {{"--timeout", "ten", "true"}, "bad time limit: ten"},
      {{"--timeout", "5s", "true"}, "bad time limit: 5s"},
      {{"--timeout", "", "true"}, "bad time limit: "},
      {{"--timeout", "nan", "true"}, "bad time limit: nan"},
      {{"--timeout", "90000", "true"}, "bad time limit: 90000"},
      {{"-t", "-0.5", "true"}, "bad time limit: -0.5"},
      {{"--expect-timeout", "0", "true"}, "bad time limit: 0"},
      {{"--expect-timeout", "-1", "true"}, "bad time limit: -1"},
      {{"--expect-timeout", "x1", "true"}, "bad time limit: x1"},
      {{"--close-after", "-1", "true"}, "bad command count: -1"},
      {{"--timeout"}, "option --timeout needs a value"},
      {{"--label", "marking", "true"}, "--label marking needs --model: it labels the drawn model"},
  };
  for (const auto& c : kUsageErrors) {
    const qxtest::ChildResult run = qxtest::RunProgram(QX_HOST_BIN, c.args);
    EXPECT_EQ(run.status, 1) << c.error;
    EXPECT_EQ(run.err, std::string("qxhost: ") + c.error +
                           "\nqxhost: see qxhost --help for the options\n");
    EXPECT_EQ(run.out, "");
  }

  // Every option is listed, so that the manual page made from this text is
  // complete.
  for (const char* option : {"--workspace", "--std-out", "--send", "--tool-option", "--timeout",
                             "--close-after", "--model", "--strict", "--script",
                             "--expect-timeout", "--record", "--label", "--help"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }

  e2e::Workspace workspace;
  const qxtest::ChildResult missing =
      e2e::RunHost(workspace, {}, workspace.File("no-such-tool"), {});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot start the tool " + workspace.File("no-such-tool") +
                             ": No such file or directory"),
            std::string::npos)
      << missing.err;

}

// A bare tool name is searched in PATH as the shell searches it: an empty
// entry (leading, trailing or doubled colon) is the stand-in's current
// directory, and a file found but not executable is said to be so, not
// missing. The stand-in runs in a directory that holds the probe tool
// (linked as "probe") and a plain file "not-a-tool".
TEST(HostStandIn, BareToolNamesAreSearchedInPathAsTheShellDoes) {
  e2e::Workspace workspace;
  const std::string tools = workspace.File("tools");
  ASSERT_EQ(::mkdir(tools.c_str(), 0777), 0);
  ASSERT_EQ(::symlink(QX_PROBE_BIN, (tools + "/probe").c_str()), 0);
  qxtest::WriteFile(tools + "/not-a-tool", "#!/bin/sh\nexit 0\n");
  const struct {
    std::string path;
    const char* tool;
    int status;
    std::string said;  // on standard error, or "" for a run of the probe
  } cases[] = {
      {"/nowhere:" + tools, "probe", 0, ""},
      {":/usr/bin", "probe", 0, ""},
      {"/nonexistent:", "probe", 0, ""},
      {"/nonexistent::/usr/bin", "probe", 0, ""},
      {"/nonexistent", "probe", 1, "qxhost: cannot start the tool probe: not found in PATH\n"},
      {"/nonexistent:", "no-such-tool", 1,
       "qxhost: cannot start the tool no-such-tool: not found in PATH\n"},
      {":/usr/bin", "not-a-tool", 1,
       "qxhost: cannot start the tool not-a-tool: Permission denied (found in PATH, not "
       "executable)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("PATH=" + c.path + ", " + c.tool);
    // The stand-in runs in the tools' directory, which only an empty entry
    // of PATH (or the first case's explicit one) searches.
    const qxtest::ChildResult run = qxtest::RunProgram(
        "/usr/bin/env",
        {"PATH=" + c.path, QX_HOST_BIN, "--workspace", workspace.path(), c.tool, "hello"},
        tools, 30000);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.status == 0) {
      EXPECT_TRUE(run.out.starts_with("START_TOOL(1:C,2,1,2,6,2,3,5:Probe,")) << run.out;
      EXPECT_TRUE(run.out.ends_with("RO(17)\nEND_TOOL(0)\n")) << run.out;
    } else {
      EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
      EXPECT_EQ(run.out, "");
    }
  }
}

std::string DirName(const std::string& path) { return path.substr(0, path.rfind('/')); }

// The README's example, as written, from a project root: the stand-in and the
// tool by paths relative to the caller's directory, the workspace "out" too;
// the tool's argument is relative to the workspace.
TEST(HostStandIn, RunsTheReadmeExampleFromTheProjectRoot) {
  const std::string varnost = QX_VARNOST_BIN;
  if (varnost.empty()) GTEST_SKIP() << "varnost is not part of this build";
  qxtest::TempDir root;
  ASSERT_EQ(::mkdir(root.File("build").c_str(), 0777), 0);
  ASSERT_EQ(::symlink(DirName(varnost).c_str(), root.File("build/bin").c_str()), 0);
  ASSERT_EQ(::mkdir(root.File("out").c_str(), 0777), 0);
  for (const char* name : {"peterson.mat", "peterson.mat.ref"}) {
    qxtest::WriteFile(root.File("out/") + name,
                      qxtest::ReadFile(std::string(QX_EXAMPLES_DIR) + "/" + name));
  }
  const qxtest::ChildResult host = qxtest::RunProgram(
      root.File("build/bin/qxhost"),
      {"--timeout", "20", "--workspace", "out", "build/bin/varnost", "peterson.mat"}, root.path(),
      30000);
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_EQ(host.out,
            "START_TOOL(1:C,2,1,2,6,2,3,7:Varnost,3:1.1,23:(c) the Varnost authors)\n"
            "END_TOOL(0)\n");
  EXPECT_TRUE(qxtest::ReadFile(root.File("out/peterson.mat.ll_net")).starts_with("PEP\n"));
}

// A tool name without a slash is searched in PATH, as a shell does.
const std::string kProbeStart =
    "START_TOOL(1:C,2,1,2,6,2,3,5:Probe,3:0.3,29:(c) probe, 2 lines, no rights)";

// The lines of a text, those marked as sent ("> ") apart from the others.
struct Printed {
  std::vector<std::string> sent;
  std::vector<std::string> received;
};

Printed SplitPrinted(const std::string& text) {
  Printed printed;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    if (line.starts_with("> ")) {
      printed.sent.push_back(line.substr(2));
    } else {
      printed.received.push_back(line);
    }
  }
  return printed;
}

// Runs the host stand-in with --send - and the lines piped into its standard
// input by a shell.
qxtest::ChildResult RunHostWithInput(const e2e::Workspace& workspace, const std::string& input,
                                     const std::string& tool,
                                     const std::vector<std::string>& tool_args) {
  const std::string file = workspace.File("piped-input");
  qxtest::WriteFile(file, input);
  std::vector<std::string> args = {"-c",          "f=$1; shift; cat \"$f\" | \"$@\"",
                                   "sh",          file,
                                   QX_HOST_BIN,   "--workspace",
                                   workspace.path(), "--timeout",
                                   "20",          "--send",
                                   "-",           tool};
  args.insert(args.end(), tool_args.begin(), tool_args.end());
  return qxtest::RunProgram("/bin/sh", args, "", 30000);
}

// A tool that reads commands gets each line of the --send input as one
// command, in order, after its START_TOOL; then the end of its input. Empty
// lines are not sent; a last line without a newline is. The input is a file,
// standard input, or a FIFO whose writer comes once the tool runs.
TEST(HostSend, LinesReachAToolThatReads) {
  const std::string input = "FE()\n\nXX(3:a,b)\nRO(7)";
  for (const char* source : {"file", "standard input", "FIFO"}) {
    SCOPED_TRACE(source);
    e2e::Workspace workspace;
    const std::string path = workspace.File("commands");
    qxtest::ChildResult host;
    if (std::string(source) == "standard input") {
      host = RunHostWithInput(workspace, input, QX_PROBE_BIN, {"echo"});
    } else if (std::string(source) == "file") {
      qxtest::WriteFile(path, input);
      host = e2e::RunHost(workspace, {"--send", path}, QX_PROBE_BIN, {"echo"});
    } else {
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
      // Written once the stand-in has opened the FIFO to read it.
      const pid_t writer = qxtest::FeedFifoLater(path, input);
      host = e2e::RunHost(workspace, {"--send", path}, QX_PROBE_BIN, {"echo"});
      EXPECT_TRUE(qxtest::WaitChild(writer, 10000).exited);
    }
    EXPECT_EQ(host.status, 0) << host.err;
    const Printed printed = SplitPrinted(host.out);
    EXPECT_EQ(printed.sent, (std::vector<std::string>{"FE()", "XX(3:a,b)", "RO(7)"})) << host.out;
    EXPECT_EQ(printed.received,
              (std::vector<std::string>{kProbeStart, "TR(8:got FE())", "TR(13:got XX(3:a,b))",
                                        "TR(9:got RO(7))", "TR(11:input ended)", "END_TOOL(0)"}))
        << host.out;
    // START_TOOL is printed before anything is sent.
    EXPECT_TRUE(host.out.starts_with(kProbeStart + "\n")) << host.out;
  }
}

// Without --send the stand-in closes the tool's input at once: a tool that
// reads meets its end instead of waiting for ever.
TEST(HostSend, WithoutSendTheToolMeetsTheEndOfItsInput) {
  e2e::Workspace workspace;
  const qxtest::ChildResult host = e2e::RunHost(workspace, {}, QX_PROBE_BIN, {"echo"});
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_EQ(host.out, kProbeStart + "\nTR(11:input ended)\nEND_TOOL(0)\n");
}

TEST(HostSend, SetUpErrors) {
  e2e::Workspace workspace;
  const qxtest::ChildResult std_out =
      e2e::RunHost(workspace, {"--std-out", "--send", "-"}, QX_PROBE_BIN, {"echo"});
  EXPECT_EQ(std_out.status, 1);
  EXPECT_EQ(std_out.err,
            "qxhost: --send needs FIFO mode: in standard-output mode the tool has no input channel\n"
            "qxhost: see qxhost --help for the options\n");
  EXPECT_EQ(std_out.out, "");

  const qxtest::ChildResult missing = e2e::RunHost(
      workspace, {"--send", workspace.File("no-such-file")}, QX_PROBE_BIN, {"echo"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot open --send input " + workspace.File("no-such-file") +
                             ": No such file or directory"),
            std::string::npos)
      << missing.err;
  EXPECT_EQ(missing.out, "");
}

// A tool that never reads cannot block the stand-in, however much is to be
// sent; a line longer than any message the tool can read is refused.
TEST(HostSend, InputTheToolCannotTake) {
  e2e::Workspace workspace;
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "RO(" + std::to_string(i) + ")\n";
  qxtest::WriteFile(workspace.File("many"), many);
  const auto start = std::chrono::steady_clock::now();
  const qxtest::ChildResult unread =
      e2e::RunHost(workspace, {"--send", workspace.File("many")}, QX_PROBE_BIN, {"hello"});
  EXPECT_EQ(unread.status, 0) << unread.err;
  // What the FIFO took before the tool ended is printed as sent whenever the
  // write happened, possibly after END_TOOL: the last command received is
  // what must be END_TOOL.
  const std::vector<std::string> received = SplitPrinted(unread.out).received;
  ASSERT_FALSE(received.empty()) << unread.out.substr(0, 1000);
  EXPECT_EQ(received.back(), "END_TOOL(0)") << unread.out.substr(0, 1000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));

  qxtest::WriteFile(workspace.File("long"), "FE()\nTR(" + std::string(70000, 'x') + ")\nRO(1)\n");
  const qxtest::ChildResult too_long =
      e2e::RunHost(workspace, {"--send", workspace.File("long")}, QX_PROBE_BIN, {"echo"});
  EXPECT_EQ(too_long.status, 1) << too_long.err;
  EXPECT_NE(too_long.err.find("line 2 of " + workspace.File("long") +
                              " is 70004 bytes long, more than 65536: not sent"),
            std::string::npos)
      << too_long.err;
  EXPECT_EQ(SplitPrinted(too_long.out).sent, (std::vector<std::string>{"FE()", "RO(1)"}));
}

// A tool that reads slowly keeps the FIFO full, so the stand-in's writes are
// refused for a while, and those of its long lines (more than the FIFO takes
// at once) are partial: every line still reaches the tool whole and in order,
// and only then is success reported.
TEST(HostSend, ASlowReaderGetsEveryLineInOrder) {
  e2e::Workspace workspace;
  std::string input;
  std::vector<std::string> lines;
  uint64_t hash = 1469598103934665603u;
  for (int i = 0; i < 20000; ++i) {
    const std::string text = std::to_string(i) + std::string(i % 400 == 7 ? 9000 : 0, 'x');
    lines.push_back("TR(" + std::to_string(text.size()) + ":" + text + ")");
    input += lines.back() + "\n";
  }
  for (const char c : input) hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211u;
  qxtest::WriteFile(workspace.File("many"), input);
  const qxtest::ChildResult host =
      e2e::RunHost(workspace, {"--send", workspace.File("many")}, QX_FAKE_TOOL_BIN, {"slow-read"});
  EXPECT_EQ(host.status, 0) << host.err;
  const Printed printed = SplitPrinted(host.out);
  EXPECT_TRUE(printed.sent == lines) << printed.sent.size() << " lines sent";
  const std::string summary = "20000 lines, hash " + std::to_string(hash);
  EXPECT_EQ(printed.received,
            (std::vector<std::string>{"START_TOOL(1:C,2,1,2,6,2,3,4:Fake,1:1,0:)",
                                      "TR(" + std::to_string(summary.size()) + ":" + summary + ")",
                                      "END_TOOL(0)"}));
  EXPECT_EQ(host.err.find("not sent"), std::string::npos) << host.err;
}

// SEND_KORA_FILE: the stand-in reads the file and prints its lines as commands
// of the tool, so that the conversation is the one the same tool prints in
// standard-output mode, where the library sends the lines itself.
// A last command without its line feed is taken whole.
TEST(HostFileTransfer, LinesOfTheFileAreTheToolsCommands) {
  const std::string expected = kProbeStart +
                               "\nTR(15:before the file)\nFE()\nRO(3)\nTR(8:a, (b) c)\n"
                               "TR(14:after the file)\nEND_TOOL(0)\n";
  const std::string contents[] = {"FE()\n\nRO(3)\nTR(8:a, (b) c)\n",
                                  "FE()\n\nRO(3)\nTR(8:a, (b) c)"};
  for (const std::string& content : contents)
  for (const bool std_out : {false, true}) {
    SCOPED_TRACE(std::string(std_out ? "standard output" : "FIFO") +
                 (content.ends_with('\n') ? "" : ", no last line feed"));
    e2e::Workspace workspace;
    qxtest::WriteFile(workspace.File("answer.kora"), content);
    std::vector<std::string> options;
    if (std_out) options.push_back("--std-out");
    const qxtest::ChildResult host =
        e2e::RunHost(workspace, options, QX_PROBE_BIN, {"send-file", "answer.kora", "0"});
    EXPECT_EQ(host.status, 0) << host.err;
    EXPECT_EQ(host.out, expected);
    EXPECT_NE(host.err.find("7 commands received"), std::string::npos) << host.err;
    EXPECT_EQ(qxtest::ReadFile(workspace.File("answer.kora")), content);
    if (!std_out) {
      EXPECT_NE(host.err.find("SEND_KORA_FILE(" +
                              std::to_string(workspace.File("answer.kora").size()) + ":" +
                              workspace.File("answer.kora") + ",0): 3 commands from"),
                std::string::npos)
          << host.err;
    }
  }
  // Post condition 1: the host deletes the file once read.
  e2e::Workspace workspace;
  qxtest::WriteFile(workspace.File("answer.kora"), contents[0]);
  const qxtest::ChildResult host =
      e2e::RunHost(workspace, {}, QX_PROBE_BIN, {"send-file", "answer.kora", "1"});
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_EQ(host.out, expected);
  EXPECT_FALSE(qxtest::FileExists(workspace.File("answer.kora")));
}

// A transfer the host cannot carry out is a protocol fault naming the path;
// a FIFO in its place never makes the stand-in wait.
TEST(HostFileTransfer, FaultsNameThePath) {
  struct Case {
    const char* what;
    const char* command;  // sent by the tool; "missing" etc. are relative to the workspace
    const char* report;   // after "protocol fault: "
  };
  const Case cases[] = {
      {"missing", "SEND_KORA_FILE(7:missing,0)", "SEND_KORA_FILE: cannot read {ws}/missing: No such file or directory"},
      {"directory", "SEND_KORA_FILE(7:QX_MNGR,1)", "SEND_KORA_FILE: cannot read {ws}/QX_MNGR: not a regular file"},
      {"fifo", "SEND_KORA_FILE(4:fifo,0)", "SEND_KORA_FILE: cannot read {ws}/fifo: not a regular file"},
      {"post condition 2", "SEND_KORA_FILE(4:fifo,2)", "SEND_KORA_FILE needs a path and 0 or 1: SEND_KORA_FILE(4:fifo,2)"},
      {"no path", "SEND_KORA_FILE(0:,0)", "SEND_KORA_FILE needs a path and 0 or 1"},
      {"itself", "SEND_KORA_FILE(4:self,0)", "SEND_KORA_FILE nested more than 8 deep"},
  };
  for (const Case& c : cases) {
    for (const bool std_out : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (std_out ? ", standard output" : ", FIFO"));
      e2e::Workspace workspace;
      ASSERT_EQ(::mkfifo(workspace.File("fifo").c_str(), 0600), 0);
      qxtest::WriteFile(workspace.File("self"), "SEND_KORA_FILE(4:self,0)\n");
      std::vector<std::string> options{"--timeout", "10"};
      if (std_out) options.push_back("--std-out");
      const qxtest::ChildResult host =
          e2e::RunHost(workspace, options, QX_FAKE_TOOL_BIN, {"send", c.command});
      ASSERT_TRUE(host.exited);
      EXPECT_EQ(host.status, 2) << host.err;
      std::string report = std::string("protocol fault: ") + c.report;
      if (const size_t at = report.find("{ws}"); at != std::string::npos)
        report.replace(at, 4, workspace.path());
      EXPECT_NE(host.err.find(report), std::string::npos) << host.err;
      EXPECT_TRUE(host.out.ends_with("END_TOOL(0)\n")) << host.out;
      EXPECT_TRUE(qxtest::FileExists(workspace.File("QX_MNGR")));
    }
  }
}

// Every command the library composes, from each of its senders, passes the
// syntax check in both modes, and both modes print the same conversation.
TEST(HostSyntax, EveryLibraryCommandParses) {
  std::string printed[2];
  for (const bool std_out : {false, true}) {
    SCOPED_TRACE(std_out ? "standard output" : "FIFO");
    e2e::Workspace workspace;
    std::vector<std::string> options;
    if (std_out) options.push_back("--std-out");
    const qxtest::ChildResult host = e2e::RunHost(workspace, options, QX_PROBE_BIN, {"senders"});
    EXPECT_EQ(host.status, 0) << host.err;
    EXPECT_EQ(host.err.find("malformed"), std::string::npos) << host.err;
    EXPECT_EQ(host.err.find("protocol fault"), std::string::npos) << host.err;
    printed[std_out] = host.out;
  }
  EXPECT_EQ(printed[0], printed[1]);
  EXPECT_NE(printed[0].find("\nXA(8,4:name,4:v)(,)\n"), std::string::npos) << printed[0];
}

// A malformed command is printed like the others, followed by where it
// breaks, and the run ends as a protocol fault; in standard-output mode a line
// that does not begin like a command is the tool's own output, not a fault.
TEST(HostSyntax, MalformedCommandIsAProtocolFault) {
  for (const bool std_out : {false, true}) {
    SCOPED_TRACE(std_out ? "standard output" : "FIFO");
    e2e::Workspace workspace;
    std::vector<std::string> options;
    if (std_out) options.push_back("--std-out");
    const qxtest::ChildResult host = e2e::RunHost(workspace, options, QX_FAKE_TOOL_BIN,
                                                  {"send", "RO(1)", "TR(5:abc)", "FE()"});
    EXPECT_EQ(host.status, 2) << host.err;
    EXPECT_EQ(host.out, "START_TOOL(1:C,2,1,2,6,2,3,4:Fake,1:1,0:)\nRO(1)\nTR(5:abc)\nFE()\n"
                        "END_TOOL(0)\n");
    EXPECT_NE(host.err.find("qxhost: malformed command, breaks after 9 bytes: the counted string "
                            "of 5 bytes runs past the end of the command (4 bytes left)\n"),
              std::string::npos)
        << host.err;
    EXPECT_NE(host.err.find("protocol fault: malformed command (breaks after 9 bytes"),
              std::string::npos)
        << host.err;
  }
  e2e::Workspace workspace;
  const qxtest::ChildResult host = e2e::RunHost(workspace, {"--std-out"}, QX_FAKE_TOOL_BIN,
                                                {"send", "Erreur (ligne 3)", "RO(1)"});
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_NE(host.err.find("qxhost: tool output: Erreur (ligne 3)\n"), std::string::npos)
      << host.err;
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
