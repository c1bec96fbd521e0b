// SPDX-License-Identifier: MIT
// Hostile command lines against the real converter: empty strings, very long
// arguments, options without their values at every position, a marker as the
// last argument, format directives, many arguments. Each gives its specified
// messages and status; none kills the process.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hardening/hardening_support.h"

namespace {

using hardening::kVarnost;

constexpr char kToolUsage[] = "usage:\tVarnost [-m] [-.] filename1\n\t-m by default\n";

// The argument list that a command-line error writes on standard error.
std::string Listing(const std::vector<std::string>& args) {
  std::string text = "argv[0] = " + kVarnost + "\n";
  for (size_t i = 0; i < args.size(); ++i) {
    text += "argv[" + std::to_string(i + 1) + "] = " + args[i] + "\n";
  }
  return text;
}

std::string TooFew(const std::vector<std::string>& args) {
  return "There is too few parameters (" + std::to_string(args.size() + 1) + ").\n" + Listing(args);
}

struct LineCase {
  std::string name;
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
};

std::vector<LineCase> Cases() {
  const std::string longWord(131000, 'a');  // near the kernel's limit for one argument
  std::vector<LineCase> cases = {
      {"NoArgument", {}, 1, "",
       "standalone usage " + kVarnost + " -version | -kit_name | -s [your parameters]\n" + Listing({})},
      {"EmptyString", {""}, 1, "", TooFew({""})},
      {"TwoEmptyStrings", {"", ""}, 1, "", TooFew({"", ""})},
      {"MarkerAlone", {"-s"}, 1, kToolUsage, ""},
      {"EndMarkerAlone", {"-end_env_p"}, 1, kToolUsage, ""},
      {"MarkerLastAfterFlags", {"-stt_msg_allowed", "-send_kora_file_allowed", "-x", "-s"}, 1,
       kToolUsage, ""},
      {"EmptyMatrixPath", {"-s", ""}, 1, "le fichier  n'existe pas\n", ""},
      {"FormatDirectivesInPath", {"-s", "%s%n%x%%"}, 1, "le fichier %s%n%x%% n'existe pas\n", ""},
      {"LongMatrixPath", {"-s", longWord}, 1, "le fichier " + longWord + " n'existe pas\n", ""},
      {"LongUserName", {"-u_name", longWord, "-s", "f"}, 1, "le fichier f n'existe pas\n", ""},
      {"LongUnknownOption", {longWord}, 1, "", TooFew({longWord})},
      {"TooManyToolArguments", {"-s", "a", "b", "c", "d"}, 1, kToolUsage, ""},
      {"FormatOptionLast", {"-s", "-m", "-t", "f"}, 1, "", ""},
      {"LanguageEmptyValue", {"-language", "", "-s", "f"}, 1, "",
       "Waiting for 'ENGLISH' or 'FRENCH' found ''\n" + Listing({"-language", "", "-s", "f"})},
      {"LanguageTakesTheMarker", {"-language", "-s", "f"}, 1, "",
       "Waiting for 'ENGLISH' or 'FRENCH' found '-s'\n" + Listing({"-language", "-s", "f"})},
      {"VersionNotFirst", {"-x", "-version", "-s"}, 1, kToolUsage, ""},
      {"KitName", {"-kit_name", "-s", ""}, 0, "MIRLAN\n", ""},
  };
  // Every option with values, without them, at the end of lists of growing
  // length, and with the marker taken as its value.
  const std::vector<std::string> prefixes[] = {{}, {"-x"}, {"-stt_msg_allowed", ""}};
  for (const char* option : {"-u_name", "-language", "-obj_file", "-fifo_in_out"}) {
    for (const auto& prefix : prefixes) {
      std::vector<std::string> args = prefix;
      args.push_back(option);
      cases.push_back({std::string("NoValue") + (option + 1) + "At" + std::to_string(args.size()),
                       args, 1, "", TooFew(args)});
    }
    std::vector<std::string> args = {option, "-s"};
    std::string err = TooFew(args);
    if (std::string(option) == "-language") {
      err = "Waiting for 'ENGLISH' or 'FRENCH' found '-s'\n" + Listing(args);
    }
    cases.push_back({std::string("MarkerAsValueOf") + (option + 1), args, 1, "", err});
  }
  std::vector<std::string> many(20000, "-x");
  cases.push_back({"TwentyThousandUnknownArguments", many, 1, "", TooFew(many)});
  return cases;
}

class HostileCommandLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(HostileCommandLineTest, GivesTheSpecifiedMessagesAndStatus) {
  const LineCase& c = GetParam();
  qxtest::TempDir dir;
  const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, c.args, dir.path(), 20000);
  ASSERT_FALSE(run.timed_out);
  ASSERT_TRUE(run.exited) << "killed by signal " << run.signal;
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Lines, HostileCommandLineTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.name; });

// The version line whatever follows "-version".
TEST(HostileCommandLine, VersionIgnoresWhatFollows) {
  const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-version", "", "-s", "-fifo_in_out"});
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("Varnost 1.1 [", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("]\nDataMngr 2.1 EnvCom 2.6 UsrInterf 2.3 Tools 3.5\n"), std::string::npos);
}

// "-fifo_in_out" whose paths are not FIFOs: the channel is refused before
// anything is written, so a regular file given there is left as it was.
TEST(HostileCommandLine, FifoPathsThatAreNotFifosAreRefusedAndLeftIntact) {
  qxtest::TempDir dir;
  const std::string victim = dir.File("victim");
  const std::string content = "precious data\n";
  qxtest::WriteFile(victim, content);
  const std::vector<std::string> args = {"-framwrk_on_fifo", "-fifo_in_out", "/dev/null", victim,
                                         "-end_env_p", "net.mat"};
  const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, args, dir.path(), 10000);
  ASSERT_FALSE(run.timed_out);
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("### Qx EnvInit: Qx OpenChannel: QxErrno=-10\n" + Listing(args)), std::string::npos)
      << run.err;
  EXPECT_EQ(qxtest::ReadFile(victim), content);
}

// Standard-output mode with the marker last: the conversation is complete
// and the run ends on error.
TEST(HostileCommandLine, StandardOutputModeWithMarkerLast) {
  qxtest::TempDir dir;
  const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-std_out", "-end_env_p"}, dir.path());
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.rfind("START_TOOL(1:C,2,1,2,6,2,3,7:Varnost,3:1.1,", 0), 0u) << run.out;
  EXPECT_NE(run.out.find(kToolUsage), std::string::npos);
  EXPECT_GE(run.out.size(), 12u);
  EXPECT_EQ(run.out.substr(run.out.size() - 12), "END_TOOL(2)\n");
}

}  // namespace
