// SPDX-License-Identifier: MIT
// The host stand-in's --script: a conversation test. Sent lines are printed
// as they are sent, between the answers; a script the conversation does not
// follow ends with status 5 and a report naming the script line, its pattern
// and the last commands received; every wait is bounded.
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

const std::string kProbeStart =
    "START_TOOL(1:C,2,1,2,6,2,3,5:Probe,3:0.3,29:(c) probe, 2 lines, no rights)";

qxtest::ChildResult RunScript(const e2e::Workspace& workspace, const std::string& script,
                              std::vector<std::string> options, const std::string& tool,
                              const std::vector<std::string>& tool_args) {
  qxtest::WriteFile(workspace.File("test.script"), script);
  options.push_back("--script");
  options.push_back(workspace.File("test.script"));
  return e2e::RunHost(workspace, options, tool, tool_args);
}

// A tool that answers each command gets the next one only after its answer:
// the printed conversation alternates, and after the last line the tool's
// input is closed.
TEST(HostScript, PassingScriptsPrintTheConversationInOrder) {
  e2e::Workspace workspace;
  const qxtest::ChildResult host = RunScript(workspace,
                                             "# the probe echoes each command\n"
                                             "< START_TOOL(*5:Probe*)\n"
                                             "\n"
                                             "> FE()\n"
                                             "< TR(8:got FE())\n"
                                             "> RO(7)\n"
                                             "< TR(*RO(7)*)\n",
                                             {}, QX_PROBE_BIN, {"echo"});
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_EQ(host.out, kProbeStart +
                          "\n> FE()\nTR(8:got FE())\n> RO(7)\nTR(9:got RO(7))\n"
                          "TR(11:input ended)\nEND_TOOL(0)\n");

  // Stars and backslashes: "\*" is a star, "\\" a backslash; commands before
  // a match are allowed. In standard-output mode "<" lines work alike.
  for (const bool std_out : {false, true}) {
    SCOPED_TRACE(std_out ? "standard output" : "FIFO");
    std::vector<std::string> options;
    if (std_out) options.push_back("--std-out");
    const qxtest::ChildResult stars = RunScript(workspace,
                                                "< TR(3:a*b)\n"
                                                "< TR(5:*\\\\c\\*)\n"
                                                "< TR(4:ab*ba)\n"
                                                "< END_TOOL(*)\n",
                                                options, QX_FAKE_TOOL_BIN,
                                                {"send", "RO(1)", "TR(3:a*b)", "TR(5:ab\\c*)",
                                                 "TR(4:abba)"});
    EXPECT_EQ(stars.status, 0) << stars.err;
  }
}

// Each way a conversation can differ from its script ends with status 5 and
// the report.
TEST(HostScript, DifferencesEndWithStatusFive) {
  struct Case {
    const char* what;
    const char* script;
    const char* tool;
    std::vector<std::string> args;
    std::vector<std::string> report;  // parts of standard error, {ws} the workspace
    // The bound of each wait: long where a command must arrive before it
    // (the echo the report lists), so that a slow machine cannot change the
    // outcome.
    const char* bound = "0.5";
  };
  const Case cases[] = {
      {"wrong answer", "> FE()\n< TR(8:got XX())\n", QX_PROBE_BIN, {"echo"},
       {"qxhost: script {ws}/test.script line 2: < TR(8:got XX())\n",
        "qxhost: the conversation differs from the script: no command matched the pattern "
        "within 4 s (the tool was then killed)\n",
        "qxhost: the last 2 of 2 commands received:\nqxhost:   " + kProbeStart +
            "\nqxhost:   TR(8:got FE())\n"},
       "4"},
      {"tool ends early", "# first\n< RO(17)\n< RO(18)\n", QX_PROBE_BIN, {"hello"},
       {"qxhost: script {ws}/test.script line 3: < RO(18)\n",
        "qxhost: the conversation differs from the script: the tool ended before a command "
        "matched the pattern\n",
        "qxhost:   RO(17)\nqxhost:   END_TOOL(0)\n"}},
      // The ends around a star may not share bytes: "aba" is not "ab" then "ba".
      {"star between overlapping ends", "< TR(3:ab*ba)\n", QX_FAKE_TOOL_BIN,
       {"send", "TR(3:aba)"},
       {"qxhost: script {ws}/test.script line 1: < TR(3:ab*ba)\n",
        "the tool ended before a command matched the pattern\n"}},
      {"time-out", "< TR(*)\n", QX_FAKE_TOOL_BIN, {"hang"},
       {"qxhost: script {ws}/test.script line 1: < TR(*)\n",
        "no command matched the pattern within 0.5 s",
        "qxhost: the last 1 of 1 commands received:\nqxhost:   START_TOOL("}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    e2e::Workspace workspace;
    const auto start = std::chrono::steady_clock::now();
    const qxtest::ChildResult host =
        RunScript(workspace, c.script, {"--expect-timeout", c.bound}, c.tool, c.args);
    EXPECT_EQ(host.status, 5) << host.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    for (std::string part : c.report) {
      if (const size_t at = part.find("{ws}"); at != std::string::npos)
        part.replace(at, 4, workspace.path());
      EXPECT_NE(host.err.find(part), std::string::npos) << part << "\n---\n" << host.err;
    }
  }
}

// --expect-timeout bounds each wait on its own: waits that are each well
// within it pass, though together they last longer.
TEST(HostScript, TheBoundIsPerWait) {
  e2e::Workspace workspace;
  const auto start = std::chrono::steady_clock::now();
  const qxtest::ChildResult host =
      RunScript(workspace, "< TR(1:a)\n< TR(1:b)\n< TR(1:c)\n< END_TOOL(0)\n",
                {"--expect-timeout", "1.5"}, QX_FAKE_TOOL_BIN,
                {"paced", "500", "TR(1:a)", "TR(1:b)", "TR(1:c)"});
  EXPECT_EQ(host.status, 0) << host.err;
  // The tool's four pauses: the script outlasted its bound.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
}

// "=" asks for the very next command, "!" forbids a command from its line to
// the end of the run (after the last line too); a break stops the tool at once
// and names the line and the command. A pattern may give a counted string by
// its text.
TEST(HostScript, NextAndNeverLines) {
  struct Case {
    const char* what;
    const char* script;
    std::vector<std::string> sent;  // the fake tool's commands between START_TOOL and END_TOOL
    int status;
    std::string report;  // part of standard error, {ws} the workspace; empty: none
  };
  const std::vector<std::string> sent = {"RO(1)", "TR(3:abc)", "RO(2)"};
  const Case cases[] = {
      {"every command in its place", "= START_TOOL(*)\n= RO(1)\n= TR(\"abc\")\n= RO(2)\n= END_TOOL(0)\n",
       sent, 0, ""},
      {"a command in between", "= START_TOOL(*)\n= RO(1)\n= RO(2)\n", sent, 5,
       "qxhost: script {ws}/test.script line 3: = RO(2)\n"
       "qxhost: the conversation differs from the script: the command TR(3:abc) came where the "
       "next command must match this \"=\" line\n"},
      {"\"<\" lets commands pass, \"=\" then takes the next", "< RO(1)\n= TR(*)\n< END_TOOL(0)\n",
       sent, 0, ""},
      {"a forbidden command", "! TR(*b*)\n< END_TOOL(0)\n", sent, 5,
       "qxhost: script {ws}/test.script line 1: ! TR(*b*)\n"
       "qxhost: the conversation differs from the script: the command TR(3:abc) matches this "
       "\"!\" line\n"},
      {"forbidden after the last line", "< START_TOOL(*)\n! RO(2)\n", sent, 5,
       "line 2: ! RO(2)\nqxhost: the conversation differs from the script: the command RO(2) "
       "matches"},
      {"in force only from its line", "< TR(*)\n! RO(1)\n< END_TOOL(0)\n", sent, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    e2e::Workspace workspace;
    std::vector<std::string> args{"send"};
    args.insert(args.end(), c.sent.begin(), c.sent.end());
    const qxtest::ChildResult host = RunScript(workspace, c.script, {}, QX_FAKE_TOOL_BIN, args);
    EXPECT_EQ(host.status, c.status) << host.err;
    std::string report = c.report;
    if (const size_t at = report.find("{ws}"); at != std::string::npos)
      report.replace(at, 4, workspace.path());
    if (!report.empty()) {
      EXPECT_NE(host.err.find(report), std::string::npos) << host.err;
    }
  }

  // A break stops the tool at once, long before any wait would run out.
  e2e::Workspace workspace;
  const auto start = std::chrono::steady_clock::now();
  const qxtest::ChildResult host = RunScript(workspace, "! START_TOOL(*)\n< END_TOOL(0)\n",
                                             {"--expect-timeout", "60"}, QX_FAKE_TOOL_BIN, {"hang"});
  EXPECT_EQ(host.status, 5) << host.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// A lone ">" closes the tool's input there: a tool that answers the end of
// its input does so before the lines after it.
TEST(HostScript, LoneSendLineClosesTheInput) {
  e2e::Workspace workspace;
  const qxtest::ChildResult host = RunScript(workspace,
                                             "= START_TOOL(*)\n"
                                             "> FE()\n"
                                             ">\n"
                                             "= TR(\"got FE()\")\n"
                                             "= TR(\"input ended\")\n"
                                             "= END_TOOL(0)\n",
                                             {"--expect-timeout", "5"}, QX_PROBE_BIN, {"echo"});
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_EQ(host.out, kProbeStart + "\n> FE()\nTR(8:got FE())\nTR(11:input ended)\nEND_TOOL(0)\n");
}

// Scripts that cannot be run are set-up errors, found before the tool
// starts: a "> " line where the tool has no input, a line of no known form.
TEST(HostScript, SetUpErrors) {
  struct Case {
    const char* script;
    bool std_out;
    const char* message;  // after "qxhost: script {ws}/test.script line "
  };
  const Case cases[] = {
      {"< START_TOOL(*)\n> FE()\n", true,
       "2: a \"> \" line needs FIFO mode: in standard-output mode the tool has no input channel"},
      {"< RO(1)\nRO(2)\n", false, "2: not a \"> TEXT\", \"< PATTERN\", \"= PATTERN\", \"! PATTERN\", \">\" or \"#\" line: RO(2)"},
      {"> \n", false, "1: nothing after \">\""},
      {"< RO(1) \n", false, "1: a blank at the end of the pattern (no command ends in a blank)"},
      {"= RO(1)\t\n", false, "1: a blank at the end of the pattern (no command ends in a blank)"},
      {"# x\n! RO(1) \r\n", false, "2: a blank at the end of the pattern"},
      {"< TR(\"abc)\n", false, "1: the text at byte 4 has no closing quote"},
      {">\n> FE()\n", false, "2: a \">\" line after the tool's input was closed at line 1"},
      {"~ RO(1)\n", false, "1: not a \"> TEXT\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    e2e::Workspace workspace;
    std::vector<std::string> options;
    if (c.std_out) options.push_back("--std-out");
    const qxtest::ChildResult host = RunScript(workspace, c.script, options, QX_PROBE_BIN, {"hello"});
    EXPECT_EQ(host.status, 1) << host.err;
    EXPECT_NE(host.err.find("qxhost: script " + workspace.File("test.script") + " line " +
                            c.message),
              std::string::npos)
        << host.err;
    EXPECT_EQ(host.out, "");
  }
}

}  // namespace

namespace {

// The example tools' own script over standard output catches what a tool
// author breaks on purpose: an error result in the middle of the run, an arc
// pointed elsewhere; the conversation as the tools hold it passes.
TEST(HostScript, ExampleScriptCatchesBrokenTools) {
  const std::vector<std::string> run = {
      "TR(12:hello from C)",   "STT_MSG(18:building the model)",
      "CN(5:place,2)",         "CT(4:name,2,2:p1)",
      "pO(2,40,40)",           "STT_MSG(10:places 1/2)",
      "CN(5:place,3)",         "CT(4:name,3,2:p2)",
      "pO(3,80,40)",           "STT_MSG(10:places 2/2)",
      "CN(10:transition,4)",   "CT(4:name,4,1:t)",
      "CA(3:arc,5,2,4)",       "CT(9:valuation,5,1:1)",
      "CA(3:arc,6,3,4)",       "CT(9:valuation,6,1:1)",
      "DE(12:from HelloC:,1)", "RT(36:a net of 2 places and one transition)",
      "FE()"};
  struct Break {
    const char* what;
    std::vector<std::string> commands;
    int status;          // an arc to no node is a model fault too: 2 with --strict
    const char* report;  // the script line that caught it; null for none
  };
  std::vector<std::string> error_result = run;
  error_result.insert(error_result.begin() + 6, {"DE(12:from HelloC:,3)", "RT(4:oops)", "FE()"});
  std::vector<std::string> repointed = run;
  repointed[14] = "CA(3:arc,6,3,9)";
  const Break breaks[] = {
      {"as the tools run", run, 0, nullptr},
      {"an error result in the middle", error_result, 5, "hello_std_out.script line 4: ! DE(*,3)\n"},
      {"an arc to a node that does not exist", repointed, 2,
       "hello_std_out.script line 11: = CA(\"arc\",6,3,4)\n"},
  };
  for (const Break& b : breaks) {
    SCOPED_TRACE(b.what);
    e2e::Workspace workspace;
    std::vector<std::string> args{"send"};
    args.insert(args.end(), b.commands.begin(), b.commands.end());
    const qxtest::ChildResult host = e2e::RunHost(
        workspace,
        {"--std-out", "--strict", "--script", QX_EXAMPLES_DIR "/tool/hello_std_out.script"},
        QX_FAKE_TOOL_BIN, args);
    EXPECT_EQ(host.status, b.status) << host.err;
    if (b.report != nullptr) {
      EXPECT_NE(host.err.find(b.report), std::string::npos) << host.err;
    }
  }
}

}  // namespace
