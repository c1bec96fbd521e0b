// SPDX-License-Identifier: MIT
// Whole runs of pnconv on what each format holds: token counts and weights
// beyond 32 bits, kept where the target holds them and refused, before
// anything is written, where it does not.
#include <gtest/gtest.h>

#include <string>

#include "common/previous_output.h"
#include "common/qxtest.h"

namespace {

const std::string kPnconv = PNCONV_BIN;

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

}  // namespace
