// SPDX-License-Identifier: MIT
// Formalism defaults, model file names, the start-up reset and the object
// table read from real files.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/qxtest.h"
#include "model/model_internal.h"
#include "quarnel/QXModel.h"

namespace {

TEST(FormalismDefaults, LookupMatchesAllThreeNamesExactly) {
  struct {
    const char* formalism;
    const char* object;
    const char* attribute;
    const char* expected;  // null: no default
  } const cases[] = {
      {"TAV-Net", "place", "domain", "null"},
      {"TAV-Net", "transition", "guard", "true"},
      {"TAV-Net", "transition", "priority", "0"},
      {"TAV-Net", "arc", "valuation", "1"},
      {"TAV-Net", "immediate transition", "guard", "true"},
      {"TAV-Net", "immediate transition", "priority", "0"},
      {"TAV-Net", "queue", "domain", "null"},
      {"TAV-Net", "net", "version", "0.0"},
      {"TAV-net", "transition", "priority", nullptr},
      {"TAV-Net", "Transition", "priority", nullptr},
      {"TAV-Net", "place", "guard", nullptr},
      {"TAV-Net", "arc", "valuation ", nullptr},
      {"", "", "", nullptr},
      {nullptr, "place", "domain", nullptr},
      {"TAV-Net", nullptr, "domain", nullptr},
      {"TAV-Net", "place", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.formalism ? c.formalism : "(null)") + "/" +
                 (c.object ? c.object : "(null)") + "/" + (c.attribute ? c.attribute : "(null)"));
    const char* value = QxGetFormalismDefaultAttributeValue(c.formalism, c.object, c.attribute);
    if (c.expected == nullptr) {
      EXPECT_EQ(value, nullptr);
    } else {
      EXPECT_STREQ(value, c.expected);
    }
  }
  const QxDefaultStruct& end = QxDefaultStructTab[8];
  EXPECT_EQ(end.pFormalismInternalName, nullptr);
  EXPECT_EQ(end.qxObjectName, nullptr);
  EXPECT_EQ(end.pAttributeInternalName, nullptr);
  EXPECT_EQ(end.pDefaultAttributeValue, nullptr);
}

TEST(ModelFileNames, AreTheWorkspaceRelativeNames) {
  EXPECT_STREQ(QxGetModelFileName(), "QX_MNGR/.model");
  EXPECT_STREQ(QxTAVNetGetModelFileName(), "QX_MNGR/.dec_model");
  EXPECT_STREQ(QxTAVNetGetAesteticFileName(), "QX_MNGR/.aestetic");
  EXPECT_STREQ(QxTAVNetGetMatrixFileName(), "QX_MNGR/.rdp_matrix");
  EXPECT_STREQ(QxTAVNetGetPNMatrixFileName(), "QX_MNGR/.ord_pn_desc");
}

TEST(DataInit, ResetsTheTraceLevelSilently) {
  const QxModelTraceLevel saved = g_qxModelTraceLevel;
  g_qxModelTraceLevel = kQx_Model_TraceRoutineCalls | kQx_Model_TraceError;
  qxtest::Output seen = qxtest::CaptureOutput([] { QxDataInit(); });
  EXPECT_EQ(g_qxModelTraceLevel, kQx_Model_NoTrace);
  EXPECT_EQ(seen.out, "");
  EXPECT_EQ(seen.err, "");
  g_qxModelTraceLevel = saved;
}

using Row = std::pair<int, QxObjectID>;

// The first `shown` rows as GetObjectInfo gives them; a row it failed to
// write would keep the sentinel (-7, 7).
std::vector<Row> TableRows(int shown) {
  std::vector<Row> rows;
  for (int i = 0; i < shown; ++i) {
    Row row{-7, 7};
    GetObjectInfo(i, &row.first, &row.second);
    rows.push_back(row);
  }
  return rows;
}

TEST(ObjectTable, ReadsTheAnnouncedRowsAndDeletesTheFile) {
  struct {
    const char* what;
    std::string content;
    int count;
    std::vector<Row> rows;  // the first rows as GetObjectInfo gives them
  } const cases[] = {
      {"rows on lines", "2\n1 17\n3 42\n", 2, {{1, 17}, {3, 42}}},
      {"any white space", "  2 1\t17\n\n 3\n42", 2, {{1, 17}, {3, 42}}},
      {"rows beyond the count ignored", "1\n1 17\n3 42\n", 1, {{1, 17}}},
      {"fewer rows than announced", "3\n1 17\n", 3, {{1, 17}, {0, 0}, {0, 0}}},
      {"half a row", "2\n1 17\n3\n", 2, {{1, 17}, {0, 0}}},
      {"unreadable row stops the reading", "3\n1 17\n2 x\n4 5\n", 3, {{1, 17}, {0, 0}, {0, 0}}},
      // A number ends at its last digit, as a scan conversion ends: what
      // follows it is read as the next number.
      {"rows before a malformed row kept", "3\n1 17x\n3 42\n", 3, {{1, 17}, {0, 0}, {0, 0}}},
      {"count followed by text", "2rows\n1 17\n", 2, {{0, 0}, {0, 0}}},
      {"any number of leading zeros", std::string(33, '0') + "02\n" + std::string(33, '0') +
       "01 " + std::string(33, '0') + "17\n0003 00042\n", 2, {{1, 17}, {3, 42}}},
      {"signs", "+2\n-1 +17\n+3 -1\n", 2, {{-1, 17}, {3, 18446744073709551615ull}}},
      {"object number above the signed range", "1\n4 18446744073709551615\n", 1,
       {{4, 18446744073709551615ull}}},
      {"object number past 64 bits", "2\n4 18446744073709551616\n5 6\n", 2, {{0, 0}, {0, 0}}},
      {"page past the int range", "2\n2147483648 1\n5 6\n", 2, {{0, 0}, {0, 0}}},
      {"lowest page", "1\n-2147483648 1\n", 1, {{-2147483648, 1}}},
      {"zero count", "0\n1 17\n", 0, {}},
      {"negative count kept as written", "-3\n1 17\n", -3, {}},
      {"empty file", "", 0, {}},
      {"count not a number", "two\n1 17\n", 0, {}},
      {"count past the int range", "2147483648\n1 17\n", 0, {}},
      {"huge count, one row", "2000000000\n5 6\n", 2000000000, {{5, 6}, {0, 0}}},
  };
  qxtest::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("objects");
    qxtest::WriteFile(path, c.content);
    Create_SDD_Obj_File(path.c_str());
    EXPECT_FALSE(qxtest::FileExists(path));
    EXPECT_EQ(GetObjectsNbr(), c.count);
    EXPECT_EQ(TableRows(static_cast<int>(c.rows.size())), c.rows);

    Row untouched{-7, 7};
    for (int outside : {-1, 0, c.count}) {
      if (outside >= 0 && outside < c.count) continue;
      GetObjectInfo(outside, &untouched.first, &untouched.second);
    }
    EXPECT_EQ(untouched, (Row{-7, 7}));
  }
  // The last row of a huge announced table reads as zeros, not as memory that
  // was never filled.
  Row last{-7, 7};
  GetObjectInfo(2000000000 - 1, &last.first, &last.second);
  EXPECT_EQ(last, (Row{0, 0}));
}

TEST(ObjectTable, ASecondFileReplacesTheTableAndAMissingOneKeepsIt) {
  qxtest::TempDir dir;
  const std::string path = dir.File("objects");
  qxtest::WriteFile(path, "2\n1 17\n3 42\n");
  Create_SDD_Obj_File(path.c_str());
  qxtest::WriteFile(path, "1\n9 99\n");
  Create_SDD_Obj_File(path.c_str());
  EXPECT_EQ(GetObjectsNbr(), 1);
  EXPECT_EQ(TableRows(1), (std::vector<Row>{{9, 99}}));

  // The file was consumed: the same name again finds nothing and changes
  // nothing.
  Create_SDD_Obj_File(path.c_str());
  Create_SDD_Obj_File(nullptr);
  EXPECT_EQ(GetObjectsNbr(), 1);
  EXPECT_EQ(TableRows(1), (std::vector<Row>{{9, 99}}));
}

// A table handed through a FIFO is read as it arrives: the open waits for the
// writer, however late it comes, and the FIFO is consumed like a file.
TEST(ObjectTable, FifoIsReadFromItsWriter) {
  qxtest::TempDir dir;
  const std::string path = dir.File("objects");
  const pid_t writer = qxtest::FeedFifoLater(path, "2\n1 17\n3 42\n");
  {
    qxtest::Watchdog watchdog(10);
    Create_SDD_Obj_File(path.c_str());
  }
  const qxtest::ChildResult fed = qxtest::WaitChild(writer, 5000);
  EXPECT_TRUE(fed.exited && fed.status == 0) << "the writer never met a reader";
  EXPECT_EQ(GetObjectsNbr(), 2);
  EXPECT_EQ(TableRows(2), (std::vector<Row>{{1, 17}, {3, 42}}));
  EXPECT_FALSE(qxtest::FileExists(path));
}

}  // namespace
