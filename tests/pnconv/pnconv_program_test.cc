// SPDX-License-Identifier: MIT
// Whole runs of the pnconv program: exit statuses and messages, what is
// written and what is kept, and byte equality with varnost on the example
// nets.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/previous_output.h"
#include "common/qxtest.h"

namespace {

const std::string kPnconv = PNCONV_BIN;
const std::string kVarnost = VARNOST_BIN;
const std::string kExamples = PNCONV_EXAMPLES_DIR;
const std::string kReadme = PNCONV_README;
// peterson.ll_net: the net of examples/peterson.mat as the unfolders' example
// set holds it (default lines, FORMAT_N2, empty phantom sections).
const std::string kData = PNCONV_DATA_DIR;

const char kWeighted[] =
    "<?xml version=\"1.0\"?>\n<pnml>\n<net id=\"w\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">"
    "<page id=\"g\">\n<place id=\"p\"><initialMarking><text>3</text></initialMarking></place>\n"
    "<transition id=\"t\"/>\n<arc id=\"a\" source=\"p\" target=\"t\"><inscription><text>2</text></inscription></arc>\n"
    "</page></net></pnml>\n";

// A symmetric net: place q holds colours of E = a, b, c, which transition t
// puts there one at a time (3 places, 3 transitions, 3 arcs unfolded).
const char kColoured[] =
    "<?xml version=\"1.0\"?>\n<pnml><net id=\"c\" type=\"http://www.pnml.org/version-2009/grammar/symmetricnet\">"
    "<page id=\"g\"><place id=\"q\"><type><structure><usersort declaration=\"E\"/></structure></type></place>"
    "<transition id=\"t\"/><arc id=\"a\" source=\"t\" target=\"q\"><hlinscription><structure>"
    "<variable refvariable=\"x\"/></structure></hlinscription></arc></page>"
    "<declaration><structure><declarations><namedsort id=\"E\" name=\"E\"><cyclicenumeration>"
    "<feconstant id=\"a\"/><feconstant id=\"b\"/><feconstant id=\"c\"/></cyclicenumeration></namedsort>"
    "<variabledecl id=\"x\" name=\"x\"><usersort declaration=\"E\"/></variabledecl>"
    "</declarations></structure></declaration></net></pnml>\n";

struct RunCase {
  const char* name;
  std::vector<std::string> args;  // "DIR/" stands for the run's directory
  int status;
  const char* err;      // a part of standard error ("" : it is empty)
  const char* written;  // a file that must exist afterwards, or null
  const char* absent;   // a file that must not exist afterwards, or null
};

std::string Substitute(std::string text, const std::string& dir) {
  for (size_t at; (at = text.find("DIR/")) != std::string::npos;) text.replace(at, 4, dir + "/");
  return text;
}

class Runs : public ::testing::TestWithParam<RunCase> {};

TEST_P(Runs, StatusMessageAndFiles) {
  const RunCase& c = GetParam();
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("w.pnml"), kWeighted);
  qxtest::WriteFile(dir.File("bad.pnml"), "<pnml>\n  <net id=\"n\" type=\"ptnet\">\n    <arc/>\n");
  qxtest::WriteFile(dir.File("c.pnml"), kColoured);
  std::vector<std::string> args;
  for (const auto& a : c.args) args.push_back(Substitute(a, dir.path()));
  const auto run = qxtest::RunProgram(kPnconv, args, dir.path());
  ASSERT_TRUE(run.exited) << run.err;
  EXPECT_EQ(run.status, c.status) << run.err;
  if (*c.err == '\0') {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(Substitute(c.err, dir.path())), std::string::npos) << run.err;
  }
  if (c.written != nullptr) {
    EXPECT_TRUE(qxtest::FileExists(dir.File(c.written))) << c.written;
  }
  if (c.absent != nullptr) {
    EXPECT_FALSE(qxtest::FileExists(dir.File(c.absent))) << c.absent;
  }
  qxtest::ExpectNoTemporaryFile(dir.path());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Runs,
    ::testing::Values(
        RunCase{"converts_and_says_what_is_lost", {"w.pnml", "w.ll_net"}, 0,
                "w.ll_net: 1 arcs of weight above 1 written as plain arcs", "w.ll_net", nullptr},
        RunCase{"quiet", {"-q", "w.pnml", "w.ll_net"}, 0, "", "w.ll_net", nullptr},
        RunCase{"formats_by_option", {"--from=pnml", "--to", "mat", "w.pnml", "w.txt"}, 0, "", "w.txt.ref", nullptr},
        RunCase{"strict_refuses_a_loss", {"--strict", "w.pnml", "w.ll_net"}, 3,
                "w.ll_net: refused (--strict): 1 arcs of weight above 1", nullptr, "w.ll_net"},
        RunCase{"strict_passes_an_exact_conversion", {"--strict", "w.pnml", "w.mat"}, 0, "", "w.mat", nullptr},
        RunCase{"bad_input_with_line_and_column", {"bad.pnml", "b.ll_net"}, 1,
                "pnconv: bad.pnml:3:5: an arc without an id", nullptr, "b.ll_net"},
        RunCase{"missing_input", {"none.pnml", "n.ll_net"}, 1, "none.pnml: cannot open: No such file", nullptr,
                "n.ll_net"},
        RunCase{"unreadable_pep_input", {"--from", "pep", "DIR/", "n.pnml"}, 1, "cannot read: Is a directory",
                nullptr, "n.pnml"},
        RunCase{"output_cannot_be_written", {"w.pnml", "no/such/dir/w.pnml"}, 4,
                "no/such/dir/w.pnml: cannot be written", nullptr, nullptr},
        RunCase{"no_arguments", {}, 2, "an input and an output file are needed", nullptr, nullptr},
        RunCase{"unknown_option", {"--fast", "w.pnml", "w.ll_net"}, 2, "unknown option --fast", nullptr, "w.ll_net"},
        RunCase{"unknown_format", {"--to", "svg", "w.pnml", "w.svg"}, 2, "unknown format \"svg\"", nullptr, nullptr},
        RunCase{"written_only_format", {"--from", "dot", "w.pnml", "w.ll_net"}, 2, "can be written, not read",
                nullptr, nullptr},
        RunCase{"name_tells_no_format", {"w.pnml", "w.txt"}, 2, "give --to", nullptr, "w.txt"},
        RunCase{"dash_needs_the_option", {"-", "w.ll_net"}, 2, "give --from", nullptr, nullptr},
        RunCase{"read_arcs_only_for_pep", {"--read-arcs", "w.pnml", "w.dot"}, 2, "--read-arcs applies to PEP",
                nullptr, "w.dot"},
        RunCase{"too_many_arguments", {"w.pnml", "a.pnml", "b.pnml"}, 2, "too many arguments", nullptr, nullptr},
        RunCase{"unfolds_a_symmetric_net_and_says_so", {"c.pnml", "c.ll_net"}, 0,
                "pnconv: c.pnml: a symmetric net of 1 places, 1 transitions and 1 arcs, unfolded into 3 places, "
                "3 transitions and 3 arcs\n",
                "c.ll_net", nullptr},
        RunCase{"quiet_unfolding", {"-q", "c.pnml", "c.mat"}, 0, "", "c.mat", nullptr},
        RunCase{"unfolding_past_the_limit", {"--max-nodes=5", "c.pnml", "c.ll_net"}, 1,
                "c.pnml: the unfolding passes the limit of 5 places and transitions (--max-nodes): 3 places and 3 "
                "transitions so far, at transition t",
                nullptr, "c.ll_net"},
        RunCase{"limit_is_a_number", {"--max-nodes", "5k", "c.pnml", "c.ll_net"}, 2, "--max-nodes needs a whole number",
                nullptr, "c.ll_net"}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

TEST(Program, HelpAndVersion) {
  const auto help = qxtest::RunProgram(kPnconv, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: pnconv"), std::string::npos);
  const auto version = qxtest::RunProgram(kPnconv, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("pnconv ", 0), 0u) << version.out;
}

TEST(Program, RefusalKeepsThePreviousOutput) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("w.pnml"), kWeighted);
  qxtest::WriteFile(dir.File("w.ll_net"), qxtest::PreviousOutput());
  qxtest::WriteFile(dir.File("bad.pnml"), "<pnml><net id=\"n\" type=\"ptnet\"><place/>");
  for (const char* input : {"w.pnml", "bad.pnml"}) {
    const auto run = qxtest::RunProgram(kPnconv, {"--strict", input, "w.ll_net"}, dir.path());
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(qxtest::HoldsPreviousOutput(dir.File("w.ll_net")));
  }
  // A matrix file and its reference file go together: when the reference
  // file cannot be written (a directory holds its name), the previous matrix
  // file stays.
  qxtest::WriteFile(dir.File("w.mat"), qxtest::PreviousOutput());
  ASSERT_EQ(::mkdir(dir.File("w.mat.ref").c_str(), 0777), 0);
  const auto run = qxtest::RunProgram(kPnconv, {"w.pnml", "w.mat"}, dir.path());
  EXPECT_EQ(run.status, 4) << run.err;
  EXPECT_NE(run.err.find("w.mat.ref: cannot be written"), std::string::npos) << run.err;
  EXPECT_TRUE(qxtest::HoldsPreviousOutput(dir.File("w.mat")));
  qxtest::ExpectNoTemporaryFile(dir.path());
}

// An output that is a FIFO (or a device) is written into, as by any writer:
// it is never replaced by a file.
TEST(Program, FifoOutputIsWrittenInto) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("w.pnml"), kWeighted);
  ASSERT_EQ(::mkfifo(dir.File("out.ll_net").c_str(), 0600), 0);
  const auto run = qxtest::RunProgram(
      "/bin/sh", {"-c", "timeout 10 cat out.ll_net > got & \"$0\" -q w.pnml out.ll_net; s=$?; wait; exit $s", kPnconv},
      dir.path(), 15000);
  ASSERT_TRUE(run.exited) << run.err;
  EXPECT_EQ(run.status, 0) << run.err;
  struct stat info;
  ASSERT_EQ(::stat(dir.File("out.ll_net").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(qxtest::ReadFile(dir.File("got")), "PEP\nPetriBox\nFORMAT_N\nPL\n1\"p\"50@50M1\nTR\n1\"t\"50@50\nTP\nPT\n1>1\n");
  // A matrix file into a FIFO has no reference file beside it, as on
  // standard output.
  ASSERT_EQ(::mkfifo(dir.File("out.mat").c_str(), 0600), 0);
  const auto mat = qxtest::RunProgram(
      "/bin/sh", {"-c", "timeout 10 cat out.mat > got & \"$0\" w.pnml out.mat; s=$?; wait; exit $s", kPnconv},
      dir.path(), 15000);
  EXPECT_EQ(mat.status, 0) << mat.err;
  EXPECT_EQ(qxtest::ReadFile(dir.File("got")), "1\n1\n2\n0\n3\n");
  EXPECT_FALSE(qxtest::FileExists(dir.File("out.mat.ref")));
}

TEST(Program, StandardInputToStandardOutput) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("w.pnml"), kWeighted);
  const auto run =
      qxtest::RunProgram("/bin/sh", {"-c", "\"$0\" -q --from pnml --to pep - - < w.pnml", kPnconv}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "PEP\nPetriBox\nFORMAT_N\nPL\n1\"p\"50@50M1\nTR\n1\"t\"50@50\nTP\nPT\n1>1\n");
}

// A PEP file as PEP and the unfolders write it is read whole: the matrices
// are those of the same net's matrix file.
TEST(Program, PepFileOfTheFieldGivesTheMatrixNet) {
  qxtest::TempDir dir;
  const auto run = qxtest::RunProgram(kPnconv, {"--strict", kData + "/peterson.ll_net", dir.File("p.mat")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(qxtest::ReadFile(dir.File("p.mat")) == qxtest::ReadFile(kExamples + "/peterson.mat"));
}

// For a matrix input, pnconv's PEP file is varnost's, byte for byte.
TEST(Program, MatrixToPepIsVarnostsFile) {
  for (const char* name : {"dme2", "elevator_2", "key_2", "mutual", "peterson"}) {
    SCOPED_TRACE(name);
    qxtest::TempDir dir;
    const std::string mat = dir.File(std::string(name) + ".mat");
    qxtest::WriteFile(mat, qxtest::ReadFile(kExamples + "/" + name + ".mat"));
    qxtest::WriteFile(mat + ".ref", qxtest::ReadFile(kExamples + "/" + name + ".mat.ref"));
    const auto varnost = qxtest::RunProgram(kVarnost, {"-s", mat}, dir.path());
    ASSERT_EQ(varnost.status, 0) << varnost.out;
    const auto pnconv = qxtest::RunProgram(kPnconv, {"--strict", mat, dir.File("p.ll_net")}, dir.path());
    ASSERT_EQ(pnconv.status, 0) << pnconv.err;
    EXPECT_TRUE(qxtest::ReadFile(mat + ".ll_net") == qxtest::ReadFile(dir.File("p.ll_net")));
    // And through PNML and back to the matrix format: the same matrices.
    ASSERT_EQ(qxtest::RunProgram(kPnconv, {mat, dir.File("n.pnml")}).status, 0);
    ASSERT_EQ(qxtest::RunProgram(kPnconv, {dir.File("n.pnml"), dir.File("back.mat")}).status, 0);
    const auto again = qxtest::RunProgram(kPnconv, {"--strict", dir.File("back.mat"), dir.File("q.ll_net")});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(qxtest::ReadFile(mat + ".ll_net") == qxtest::ReadFile(dir.File("q.ll_net")));
  }
}

// The README's "Converting nets" commands, as written, from a project root
// where make run has been: build/bin holds the programs, out/ exists.
TEST(Program, ReadmeCommandsWorkAsWritten) {
  const std::string readme = qxtest::ReadFile(kReadme);
  const size_t section = readme.find("## Converting nets");
  ASSERT_NE(section, std::string::npos);
  const size_t start = readme.find("```sh\n", section);
  const size_t end = readme.find("```\n", start + 6);
  ASSERT_NE(end, std::string::npos);
  std::istringstream lines(readme.substr(start + 6, end - start - 6));
  qxtest::TempDir root;
  ASSERT_EQ(::mkdir(root.File("build").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir(root.File("out").c_str(), 0777), 0);
  const std::string bin = kPnconv.substr(0, kPnconv.rfind('/'));
  ASSERT_EQ(::symlink(bin.c_str(), root.File("build/bin").c_str()), 0);
  ASSERT_EQ(::symlink(kExamples.c_str(), root.File("examples").c_str()), 0);
  int commands = 0;
  for (std::string line; std::getline(lines, line);) {
    SCOPED_TRACE(line);
    const auto run = qxtest::RunProgram("/bin/sh", {"-ec", line}, root.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ++commands;
  }
  EXPECT_EQ(commands, 5);
  EXPECT_NE(qxtest::ReadFile(root.File("out/philosophers.pnml")).find("<place id=\"Think_Id1\">"), std::string::npos);
  EXPECT_TRUE(qxtest::ReadFile(root.File("out/referendum.ll_net")).starts_with("PEP\n"));
  EXPECT_NE(qxtest::ReadFile(root.File("out/peterson.pnml")).find("grammar/ptnet"), std::string::npos);
  EXPECT_TRUE(qxtest::ReadFile(root.File("out/peterson.dot")).starts_with("digraph"));
}

}  // namespace
