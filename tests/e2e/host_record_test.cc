// SPDX-License-Identifier: MIT
// The host stand-in's --record: the conversation written as a script, which
// replays green on the same tool and input and breaks at the first command
// that differs when the tool changes.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

// The lines of text from the first that begins with "= " or "> ".
std::string Body(const std::string& text) {
  size_t at = 0;
  while (at < text.size() && text[at] == '#') at = text.find('\n', at) + 1;
  return text.substr(at);
}

qxtest::ChildResult Replay(const e2e::Workspace& workspace, const std::string& script,
                           std::vector<std::string> options, const std::string& tool,
                           const std::vector<std::string>& args) {
  options.push_back("--script");
  options.push_back(script);
  return e2e::RunHost(workspace, options, tool, args);
}

// Standard-output mode: the script is every command received, in order, as a
// "=" line; counted strings by their text where it is printable.
TEST(HostRecord, RecordsEveryCommandAndReplays) {
  e2e::Workspace workspace;
  const std::string script = workspace.File("run.script");
  const std::vector<std::string> args = {"send", "RO(1)", "TR(5:a*b\\c)", "TR(3:a\tb)"};
  const qxtest::ChildResult host =
      e2e::RunHost(workspace, {"--std-out", "--record", script}, QX_FAKE_TOOL_BIN, args);
  ASSERT_EQ(host.status, 0) << host.err;
  const std::string recorded = qxtest::ReadFile(script);
  EXPECT_TRUE(recorded.starts_with("# The conversation of " + std::string(QX_FAKE_TOOL_BIN) +
                                   " send RO(1) "))
      << recorded;
  EXPECT_NE(recorded.find("\n# Replay: qxhost --script " + script + " --std-out " +
                          QX_FAKE_TOOL_BIN + " send RO(1) "),
            std::string::npos)
      << recorded;
  EXPECT_EQ(Body(recorded),
            "= START_TOOL(\"C\",2,1,2,6,2,3,\"Fake\",\"1\",\"\")\n"
            "= RO(1)\n"
            "= TR(\"a*b\\\\c\")\n"
            "= TR(3:a\tb)\n"
            "= END_TOOL(0)\n");

  EXPECT_EQ(Replay(workspace, script, {"--std-out"}, QX_FAKE_TOOL_BIN, args).status, 0);
  // A changed text, a command more, a command less: each breaks the script.
  struct Change {
    const char* what;
    std::vector<std::string> args;
    const char* report;
  };
  const Change changes[] = {
      {"changed text", {"send", "RO(1)", "TR(5:a*b\\d)", "TR(3:a\tb)"},
       "line 5: = TR(\"a*b\\\\c\")\nqxhost: the conversation differs from the script: the "
       "command TR(5:a*b\\d) came where"},
      {"a command more", {"send", "RO(1)", "DE(5:from:,3)", "TR(5:a*b\\c)", "TR(3:a\tb)"},
       "the command DE(5:from:,3) came where"},
      {"a command less", {"send", "RO(1)", "TR(5:a*b\\c)"}, "the command END_TOOL(0) came where"},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    const qxtest::ChildResult replay =
        Replay(workspace, script, {"--std-out"}, QX_FAKE_TOOL_BIN, change.args);
    EXPECT_EQ(replay.status, 5) << replay.err;
    EXPECT_NE(replay.err.find(change.report), std::string::npos) << replay.err;
  }
}

// FIFO mode with --send: the commands sent become ">" lines, the close of the
// tool's input a lone ">"; the replay sends them again. A tool that answers
// otherwise breaks it.
TEST(HostRecord, SentCommandsReplayOverTheFifoPair) {
  e2e::Workspace workspace;
  const std::string script = workspace.File("echo.script");
  qxtest::WriteFile(workspace.File("send.txt"), "FE()\nRO(7)\n");
  const qxtest::ChildResult host = e2e::RunHost(
      workspace, {"--send", workspace.File("send.txt"), "--record", script}, QX_PROBE_BIN, {"echo"});
  ASSERT_EQ(host.status, 0) << host.err;
  const std::string recorded = qxtest::ReadFile(script);
  for (const char* line : {"\n= START_TOOL(\"C\",2,1,2,6,2,3,\"Probe\",\"0.3\",\"(c) probe, 2 lines, no rights\")\n",
                           "\n> FE()\n> RO(7)\n>\n", "\n= TR(\"got FE()\")\n",
                           "\n= TR(\"got RO(7)\")\n= TR(\"input ended\")\n= END_TOOL(0)\n"}) {
    EXPECT_NE(recorded.find(line), std::string::npos) << line << "\n---\n" << recorded;
  }
  const qxtest::ChildResult replay = Replay(workspace, script, {}, QX_PROBE_BIN, {"echo"});
  EXPECT_EQ(replay.status, 0) << replay.err;
  EXPECT_NE(replay.out.find("> FE()\n"), std::string::npos) << replay.out;
  // The probe's other mode answers nothing.
  EXPECT_EQ(Replay(workspace, script, {"--expect-timeout", "2"}, QX_PROBE_BIN, {"hello"}).status, 5);
}

// A file that cannot be written is a set-up error before the tool starts; a
// run that fails still leaves its record.
TEST(HostRecord, SetUpErrorAndFailedRuns) {
  e2e::Workspace workspace;
  const qxtest::ChildResult bad = e2e::RunHost(
      workspace, {"--record", workspace.File("none/r.script")}, QX_FAKE_TOOL_BIN, {"send"});
  EXPECT_EQ(bad.status, 1) << bad.err;
  EXPECT_NE(bad.err.find("qxhost: cannot write the recorded script " +
                         workspace.File("none/r.script") + ": No such file or directory"),
            std::string::npos)
      << bad.err;
  EXPECT_EQ(bad.out, "");

  const qxtest::ChildResult died = e2e::RunHost(
      workspace, {"--record", workspace.File("die.script")}, QX_FAKE_TOOL_BIN, {"die"});
  EXPECT_EQ(died.status, 4) << died.err;
  // The input is closed at once; the record notes it after START_TOOL(...).
  const std::string recorded = Body(qxtest::ReadFile(workspace.File("die.script")));
  EXPECT_TRUE(recorded == "= START_TOOL(\"C\",2,1,2,6,2,3,\"Fake\",\"1\",\"\")\n>\n") << recorded;
}

}  // namespace
