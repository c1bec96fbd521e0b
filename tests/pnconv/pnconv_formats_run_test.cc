// SPDX-License-Identifier: MIT
// Whole runs of pnconv on what each format holds: token counts and weights
// (beyond 32 bits too) and names, kept where the target holds them and
// refused, before anything is written, where it does not; PEP inputs the
// net cannot be read from.
#include <gtest/gtest.h>

#include <string>

#include "common/previous_output.h"
#include "common/qxtest.h"
#include "net_check.h"

namespace {

const std::string kPnconv = PNCONV_BIN;
const std::string kVarnost = VARNOST_BIN;

// A contest model's shape: a place marked beyond 32 bits, an arc as heavy.
std::string BigNet(const std::string& tokens, const std::string& weight) {
  return "<?xml version=\"1.0\"?>\n<pnml><net id=\"n\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">"
         "<page id=\"g\">\n<place id=\"p\"><initialMarking><text>" +
         tokens + "</text></initialMarking></place>\n<transition id=\"t\"/>\n"
                  "<arc id=\"a\" source=\"t\" target=\"p\"><inscription><text>" +
         weight + "</text></inscription></arc>\n</page></net></pnml>\n";
}

TEST(ValuesRun, BeyondThirtyTwoBitsKeptByPnmlAndDotRefusedByTheMatrixFormat) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("big.pnml"), BigNet("4000000000", "9223372036854775807"));

  const auto pnml = qxtest::RunProgram(kPnconv, {"--strict", "big.pnml", "back.pnml"}, dir.path());
  ASSERT_EQ(pnml.status, 0) << pnml.err;
  const std::string back = qxtest::ReadFile(dir.File("back.pnml"));
  EXPECT_NE(back.find("<initialMarking><text>4000000000</text></initialMarking>"), std::string::npos) << back;
  EXPECT_NE(back.find("<inscription><text>9223372036854775807</text></inscription>"), std::string::npos) << back;

  const auto dot = qxtest::RunProgram(kPnconv, {"--strict", "big.pnml", "big.dot"}, dir.path());
  ASSERT_EQ(dot.status, 0) << dot.err;
  const std::string drawing = qxtest::ReadFile(dir.File("big.dot"));
  EXPECT_NE(drawing.find("p0 [shape=circle, label=\"p\\n4000000000\"];"), std::string::npos) << drawing;
  EXPECT_NE(drawing.find("t0 -> p0 [label=\"9223372036854775807\"];"), std::string::npos) << drawing;

  // Refused with or without --strict: no option makes the matrix format
  // hold the value. Nothing is written, not even the reference file.
  for (const char* strict : {"-q", "--strict"}) {
    const auto mat = qxtest::RunProgram(kPnconv, {strict, "big.pnml", "big.mat"}, dir.path());
    EXPECT_EQ(mat.status, 4) << mat.err;
    EXPECT_EQ(mat.err,
              "pnconv: big.mat: place \"p\" holds 4000000000 tokens, more than the matrix format holds (varnost "
              "reads values up to 2147483647); nothing written\n");
    EXPECT_FALSE(qxtest::FileExists(dir.File("big.mat")));
    EXPECT_FALSE(qxtest::FileExists(dir.File("big.mat.ref")));
  }
  qxtest::WriteFile(dir.File("heavy.pnml"), BigNet("1", "2147483648"));
  const auto heavy = qxtest::RunProgram(kPnconv, {"--to", "mat", "heavy.pnml", "-"}, dir.path());
  EXPECT_EQ(heavy.status, 4) << heavy.err;
  EXPECT_EQ(heavy.out, "");
  EXPECT_EQ(heavy.err,
            "pnconv: standard output: the arc from \"t\" to \"p\" weighs 2147483648, more than the matrix format holds "
            "(varnost reads values up to 2147483647); nothing written\n");
  qxtest::ExpectNoTemporaryFile(dir.path());
}

// The largest values each side of the matrix format's limit: held exactly.
TEST(ValuesRun, TheLargestThirtyTwoBitValuesMakeAMatrixFile) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("edge.pnml"), BigNet("2147483647", "2147483647"));
  const auto run = qxtest::RunProgram(kPnconv, {"--strict", "edge.pnml", "edge.mat"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(qxtest::ReadFile(dir.File("edge.mat")), "1\n1\n0\n2147483647\n2147483647\n");
}

// The net of a PNML file, as the tests compare nets (ids left out: PEP
// numbers the nodes).
std::string NetOf(const std::string& path) {
  netfmt::Problem problem;
  const auto net = pnconvtest::Pnml(qxtest::ReadFile(path), &problem);
  EXPECT_TRUE(net) << path << ": " << problem.message;
  return net ? pnconvtest::Dump(*net) : "";
}

const char kCounted[] =
    "<?xml version=\"1.0\"?>\n<pnml><net id=\"n\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">"
    "<page id=\"g\">\n"
    "<place id=\"p\"><name><text>say \"hi\"</text></name><initialMarking><text>4000000000</text></initialMarking>"
    "</place>\n"
    "<place id=\"q\"><name><text>it's</text></name><initialMarking><text>1</text></initialMarking></place>\n"
    "<place id=\"r\"/>\n<transition id=\"t\"><name><text>fire</text></name></transition>\n"
    "<arc id=\"a1\" source=\"p\" target=\"t\"><inscription><text>3</text></inscription></arc>\n"
    "<arc id=\"a2\" source=\"t\" target=\"q\"/>\n"
    "<arc id=\"a3\" source=\"t\" target=\"r\"><inscription><text>9223372036854775807</text></inscription></arc>\n"
    "</page></net></pnml>\n";

// PNML -> PEP -> PNML gives the net back, every count, weight and name
// (one holding a double quote between single quotes), with nothing said and
// --strict content.
TEST(PepRun, PnmlThroughPepKeepsCountsWeightsAndNames) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("n.pnml"), kCounted);
  const auto there = qxtest::RunProgram(kPnconv, {"--strict", "n.pnml", "n.ll_net"}, dir.path());
  ASSERT_EQ(there.status, 0) << there.err;
  EXPECT_EQ(there.err, "");
  EXPECT_EQ(qxtest::ReadFile(dir.File("n.ll_net")),
            "PEP\nPetriBox\nFORMAT_N\nPL\n1'say \"hi\"'50@50M4000000000\n2\"it's\"50@50M1\n3\"r\"50@50\n"
            "TR\n1\"fire\"50@50\nTP\n1<2\n1<3w9223372036854775807\nPT\n1>1w3\n");
  const auto back = qxtest::RunProgram(kPnconv, {"--strict", "n.ll_net", "back.pnml"}, dir.path());
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_EQ(back.err, "");
  // Place r had no name: PEP gives it its id.
  std::string expected = NetOf(dir.File("n.pnml"));
  expected.replace(expected.find("place [] 0"), 10, "place [r] 0");
  EXPECT_EQ(NetOf(dir.File("back.pnml")), expected);
}

// A name PEP cannot hold (both quotes, a line feed or carriage return) is
// replaced by the node's id, said once, and refused by --strict; an id PEP
// cannot hold either gives the default name.
TEST(PepRun, NamesPepCannotHoldAreSaidAndReplaced) {
  qxtest::TempDir dir;
  qxtest::WriteFile(
      dir.File("n.pnml"),
      "<?xml version=\"1.0\"?>\n<pnml><net id=\"n\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">"
      "<page id=\"g\"><place id=\"p\"><name><text>a\"b'c</text></name></place>"
      "<place id=\"q\"><name><text>two&#10;lines</text></name></place>"
      "<place id=\"r\"><name><text>carriage&#13;return</text></name></place>"
      "<transition id=\"say&quot;it's\"><name><text>x\"y'z</text></name></transition>"
      "</page></net></pnml>\n");
  const auto strict = qxtest::RunProgram(kPnconv, {"--strict", "n.pnml", "n.ll_net"}, dir.path());
  EXPECT_EQ(strict.status, 3);
  EXPECT_EQ(strict.err,
            "pnconv: n.ll_net: refused (--strict): 4 names PEP cannot hold (both quotes, or a line break) replaced "
            "by node ids\n");
  EXPECT_FALSE(qxtest::FileExists(dir.File("n.ll_net")));
  const auto run = qxtest::RunProgram(kPnconv, {"n.pnml", "n.ll_net"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "pnconv: n.ll_net: 4 names PEP cannot hold (both quotes, or a line break) replaced by node ids\n");
  EXPECT_EQ(qxtest::ReadFile(dir.File("n.ll_net")),
            "PEP\nPetriBox\nFORMAT_N\nPL\n1\"p\"50@50\n2\"q\"50@50\n3\"r\"50@50\nTR\n1\"T1\"50@50\nTP\nPT\n");
}

// varnost's file says which places are marked and carries no weights, as
// documented; pnconv's PEP file of the same matrix net holds the counts and
// weights (and is varnost's when none is above 1: Program tests).
TEST(PepRun, MatrixNetWithCountsAndWeights) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("w.mat"), "2\n1\n2\n0\n0\n1\n3 1\n");
  const auto varnost = qxtest::RunProgram(kVarnost, {"-s", "w.mat"}, dir.path());
  ASSERT_EQ(varnost.status, 0) << varnost.out;
  EXPECT_EQ(qxtest::ReadFile(dir.File("w.mat.ll_net")),
            "PEP\nPetriBox\nFORMAT_N\nPL\n1\"P1\"50@50M1\n2\"P2\"50@50M1\nTR\n1\"T1\"50@50\nTP\n1<2\nPT\n1>1\n");
  const auto pnconv = qxtest::RunProgram(kPnconv, {"--strict", "w.mat", "p.ll_net"}, dir.path());
  ASSERT_EQ(pnconv.status, 0) << pnconv.err;
  EXPECT_EQ(qxtest::ReadFile(dir.File("p.ll_net")),
            "PEP\nPetriBox\nFORMAT_N\nPL\n1\"P1\"50@50M3\n2\"P2\"50@50M1\nTR\n1\"T1\"50@50\nTP\n1<2\nPT\n1>1w2\n");
}

// --read-arcs, run as a user would: only a loop of weight 1 both ways
// becomes a read arc; a heavier loop stays two weighted arcs.
TEST(PepRun, ReadArcsForWeightOneLoopsOnly) {
  qxtest::TempDir dir;
  qxtest::WriteFile(
      dir.File("n.pnml"),
      "<?xml version=\"1.0\"?>\n<pnml><net id=\"n\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">"
      "<page id=\"g\"><place id=\"a\"/><place id=\"b\"/><transition id=\"t\"/>"
      "<arc id=\"x1\" source=\"a\" target=\"t\"/><arc id=\"x2\" source=\"t\" target=\"a\"/>"
      "<arc id=\"x3\" source=\"b\" target=\"t\"><inscription><text>2</text></inscription></arc>"
      "<arc id=\"x4\" source=\"t\" target=\"b\"><inscription><text>2</text></inscription></arc>"
      "</page></net></pnml>\n");
  const auto run = qxtest::RunProgram(kPnconv, {"--strict", "--read-arcs", "n.pnml", "n.ll_net"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string pep = qxtest::ReadFile(dir.File("n.ll_net"));
  EXPECT_EQ(pep, "PEP\nPetriBox\nFORMAT_N\nPL\n1\"a\"50@50\n2\"b\"50@50\nTR\n1\"t\"50@50\nTP\n1<2w2\nPT\n2>1w2\nRA\n1<1\n");
  // And back: the same net, named by the ids.
  ASSERT_EQ(qxtest::RunProgram(kPnconv, {"--strict", "n.ll_net", "back.pnml"}, dir.path()).status, 0);
  EXPECT_EQ(NetOf(dir.File("back.pnml")), "place [a] 0\nplace [b] 0\ntransition [t] in 0*1 1*2 out 0*1 1*2\n");
}

struct RefusedPep {
  const char* name;
  const char* text;
  const char* message;
};

class PepRefusedRun : public ::testing::TestWithParam<RefusedPep> {};

// Refused with status 1 and the reason; the previous output stays whole.
TEST_P(PepRefusedRun, SaysWhyAndWritesNothing) {
  const RefusedPep& c = GetParam();
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("in.ll_net"), c.text);
  qxtest::WriteFile(dir.File("out.pnml"), qxtest::PreviousOutput());
  const auto run = qxtest::RunProgram(kPnconv, {"in.ll_net", "out.pnml"}, dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, std::string("pnconv: in.ll_net") + c.message + "\n");
  EXPECT_TRUE(qxtest::HoldsPreviousOutput(dir.File("out.pnml")));
  qxtest::ExpectNoTemporaryFile(dir.path());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PepRefusedRun,
    ::testing::Values(
        // The first lines of a real net: its places only.
        RefusedPep{"cut_short", "PEP\nPetriBox\nFORMAT_N\nPL\n1\"p1\"50@50M1\n2\"p2\"50@50\n",
                   ": section TR is missing (a PEP net has the sections PL, TR, TP and PT): the file may be cut "
                   "short"},
        RefusedPep{"reset_arcs", "PEP\nPetriBox\nFORMAT_N\nPL\n1\"p\"\nTR\n1\"t\"\nTP\nPT\nRD\n1>1\nRS\n1>1\n",
                   ":13: section RS (reset arcs) cannot be held by a place/transition net"}),
    [](const ::testing::TestParamInfo<RefusedPep>& info) { return std::string(info.param.name); });

}  // namespace
