// SPDX-License-Identifier: MIT
// Two output files committed together (a matrix file and its reference
// file): both targets replaced, or both as they were, whichever rename fails.
#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/qxtest.h"
#include "file_pair.h"

namespace {

struct PairCase {
  const char* name;
  bool firstExisted;    // the first target held "old first" before
  bool secondExisted;   // the second target held "old second" before
  int blocked;          // 0: none; 1 or 2: that target becomes a directory before the commit
};

// The entries of dir but the open output files' temporary ones.
std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const std::string& name : qxtest::ListDir(dir)) {
    if (name.find(".tmp") == std::string::npos) names.push_back(name);
  }
  return names;
}

class FilePair : public ::testing::TestWithParam<PairCase> {};

TEST_P(FilePair, BothOrNeither) {
  const PairCase& c = GetParam();
  qxtest::TempDir dir;
  const std::string first = dir.File("n.mat");
  const std::string second = dir.File("n.mat.ref");
  if (c.firstExisted) qxtest::WriteFile(first, "old first");
  if (c.secondExisted) qxtest::WriteFile(second, "old second");
  std::vector<std::string> before = Entries(dir.path());
  bool done = false;
  {
    outfile::OutputFile one(first);
    outfile::OutputFile two(second);
    ASSERT_TRUE(one.ok() && two.ok());
    one.Put("new first");
    two.Put("new second");
    // A directory where a target was, made once the files are open: that
    // rename fails (the file it held is kept aside by the test).
    const std::string blocked = c.blocked == 1 ? first : c.blocked == 2 ? second : "";
    if (!blocked.empty()) {
      if (qxtest::FileExists(blocked)) {
        ASSERT_EQ(::rename(blocked.c_str(), dir.File("kept").c_str()), 0);
      }
      ASSERT_EQ(::mkdir(blocked.c_str(), 0777), 0);
      before = Entries(dir.path());
    }
    done = outfile::CommitTogether(one, two);
    EXPECT_EQ(one.error(), c.blocked == 1 ? EISDIR : 0);
    EXPECT_EQ(two.error(), c.blocked == 2 ? EISDIR : 0);
  }
  EXPECT_EQ(done, c.blocked == 0);
  if (done) {
    EXPECT_EQ(qxtest::ReadFile(first), "new first");
    EXPECT_EQ(qxtest::ReadFile(second), "new second");
    EXPECT_EQ(qxtest::ListDir(dir.path()), (std::vector<std::string>{"n.mat", "n.mat.ref"}));
    return;
  }
  // Everything as it was just before the commit: no new file, no temporary
  // or kept-aside file left.
  EXPECT_EQ(qxtest::ListDir(dir.path()), before);
  if (c.blocked != 1 && c.firstExisted) {
    EXPECT_EQ(qxtest::ReadFile(first), "old first");
  }
  if (c.blocked != 2 && c.secondExisted) {
    EXPECT_EQ(qxtest::ReadFile(second), "old second");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilePair,
    ::testing::Values(PairCase{"both_replaced", true, true, 0}, PairCase{"both_new", false, false, 0},
                      PairCase{"second_fails_first_restored", true, true, 2},
                      PairCase{"second_fails_first_had_none", false, true, 2},
                      PairCase{"second_fails_neither_existed", false, false, 2},
                      PairCase{"first_fails_second_kept", true, true, 1}),
    [](const ::testing::TestParamInfo<PairCase>& info) { return std::string(info.param.name); });

}  // namespace
