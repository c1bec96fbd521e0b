// SPDX-License-Identifier: MIT
// Long texts as numbered pieces, and file transfers line by line (standard
// output) and by name (on a real channel).
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/pipe_channel.h"
#include "kora/long_text.h"
#include "kora/services_fixture.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXErrors.h"

namespace {

using namespace qxtest;  // the fixture and its helpers

std::string X(size_t n) { return std::string(n, 'x'); }

class LongTextTest : public ServicesTest {};

TEST_F(LongTextTest, TextsAreCutIntoNumberedPieces) {
  struct Case {
    const char* name;
    const char* head;  // null: a text response
    std::string text;
    Commands expected;
  } const cases[] = {
      {"one line", nullptr, "hello", {"RT(5:hello)"}},
      {"two lines", nullptr, "a\nb", {"RT(1:a)", "RT(1:b)"}},
      {"final line feed", nullptr, "a\n", {"RT(1:a)", "RT(0:)"}},
      {"empty text", nullptr, "", {"RT(0:)"}},
      {"carriage return is a byte", nullptr, "a\r\nb", {"RT(2:a\r)", "RT(1:b)"}},
      {"numbered", "CM(4:name,7,", "ab\ncd", {"CM(4:name,7,1,-5,2:ab)", "CM(4:name,7,2,3,2:cd)"}},
      {"numbered, one piece", "CM(4:name,7,", "xyz", {"CM(4:name,7,1,-3,3:xyz)"}},
      {"numbered, empty text is plain", "CM(4:name,7,", "", {"CM(4:name,7,0:)"}},
      {"no cut character", nullptr, X(300), {"RT(232:" + X(232) + ")", "RT(68:" + X(68) + ")"}},
      {"exactly the budget", nullptr, X(232), {"RT(232:" + X(232) + ")", "RT(0:)"}},
      {"blank preferred to comma", nullptr, X(100) + " " + X(99) + "," + X(99),
       {"RT(101:" + X(100) + " )", "RT(199:" + X(99) + "," + X(99) + ")"}},
      {"dash preferred to point", nullptr, X(50) + "-" + X(99) + "." + X(149),
       {"RT(51:" + X(50) + "-)", "RT(100:" + X(99) + ".)", "RT(149:" + X(149) + ")"}},
      {"comma preferred to point", nullptr, X(50) + "," + X(99) + "." + X(149),
       {"RT(51:" + X(50) + ",)", "RT(100:" + X(99) + ".)", "RT(149:" + X(149) + ")"}},
      {"last occurrence of the colon", nullptr, X(10) + ":" + X(10) + ":" + X(278),
       {"RT(22:" + X(10) + ":" + X(10) + ":)", "RT(232:" + X(232) + ")", "RT(46:" + X(46) + ")"}},
      {"numbering runs across lines", "CM(1:a,1,", X(300) + "\nyz",
       {"CM(1:a,1,1,-303,226:" + X(226) + ")", "CM(1:a,1,2,2,74:" + X(74) + ")",
        "CM(1:a,1,3,3,2:yz)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Sent sent = Run([&] {
      if (c.head == nullptr) {
        QxClSendTextResponse(c.text.c_str());
      } else {
        QxClSendMultipleText(c.head, c.text.c_str());
      }
    });
    EXPECT_EQ(sent.commands, c.expected);
    EXPECT_EQ(sent.err, "");
    EXPECT_EQ(QxErrno(), kQx_NoErr);
  }
}

TEST_F(LongTextTest, ShortestBudgetStillEnds) {
  const std::string head = std::string(233, 'H') + "(";  // budget 1
  const Sent sent = Run([&] { QxClSendMultipleText(head.c_str(), "ab"); });
  EXPECT_EQ(sent.commands, (Commands{head + "1,-2,1:a)", head + "2,2,1:b)", head + "3,3,0:)"}));
  EXPECT_EQ(QxErrno(), kQx_NoErr);
}

TEST_F(LongTextTest, RefusedArgumentsSendNothing) {
  const std::string longHead = std::string(234, 'H') + "(";
  struct Case {
    const char* trace;
    std::function<void()> call;
  } const cases[] = {
      {"Qx ClSendText:koraPrefix is NULL", [] { QxClSendMultipleText(nullptr, "a"); }},
      {"Qx ClSendText:textBuffer is NULL", [] { QxClSendTextResponse(nullptr); }},
      {"Qx ClSendText:koraPrefix too long (235 bytes)",
       [&] { QxClSendMultipleText(longHead.c_str(), "ab"); }},
      {"Qx ClSendSeveralText:koraPrefix too long (235 bytes)",
       [&] {
         long count = 1;
         QxClSendSeveralText(longHead.c_str(), "ab", 2, &count, kQx_True, kQx_True, 0);
       }},
      // A piece whose head and text exceed 1021 bytes is refused before it is
      // composed.
      {"Qx ClSendOneTextResponse message too large",
       [] { QxClSendOneText("RT(", X(1019).c_str(), 1019, 1, kQx_True, kQx_True, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trace);
    const Sent sent = Run(c.call);
    EXPECT_EQ(sent.commands, Commands{TrCommand(c.trace)});
    EXPECT_EQ(sent.err, TraceLine(c.trace));
    EXPECT_EQ(QxErrno(), kQx_ParamErr);
  }
}

TEST_F(LongTextTest, FileInStandardOutputModeIsSentLineByLineToItsEnd) {
  struct Case {
    const char* name;
    std::string content;
    Commands expected;
  } const cases[] = {
      {"empty line between", "FE()\n\nDE()\n", {"FE()", "DE()"}},
      {"leading line feed, no final one", "\nFE()", {"FE()"}},
      {"empty file", "", {}},
      {"only line feeds", "\n\n\n", {}},
      {"leading blanks of later lines dropped", "  FE()\n   DE()\n", {"  FE()", "DE()"}},
  };
  const std::string path = dir_.File("commands");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::WriteFile(path, c.content);
    const Sent sent = Run([&] { QxClSendFile(path.c_str(), kQx_DoNotDeleteIt); });
    EXPECT_EQ(sent.commands, c.expected);
    EXPECT_EQ(sent.err, "");
  }
}

TEST_F(LongTextTest, FileLinesLongerThanTheLineBufferAreSkippedWithATrace) {
  const std::string path = dir_.File("long");
  // 1023 bytes fit the line buffer (and are then refused as a command); 1024
  // do not and are skipped; the lines around them still go out.
  qxtest::WriteFile(path, "FE()\n" + X(1023) + "\n" + X(1024) + "\nDE()\n");
  const std::string tooLarge =
      "Qx ClSendChannelKora:KORA command too large (1023 bytes):" + X(50) + "...";
  const std::string skipped = "Qx ClSendFile: line longer than 1023 bytes not sent from file " + path;
  const Sent sent = Run([&] { QxClSendFile(path.c_str(), kQx_DoNotDeleteIt); });
  EXPECT_EQ(sent.commands, (Commands{"FE()", TrCommand(tooLarge), TrCommand(skipped), "DE()"}));
  EXPECT_EQ(sent.err, TraceLine(tooLarge) + TraceLine(skipped));
}

TEST_F(LongTextTest, DeleteConditionInStandardOutputModeOnlyTraces) {
  const std::string path = dir_.File("keep");
  qxtest::WriteFile(path, "FE()\n");
  const Sent sent = Run([&] { QxClSendFile(path.c_str(), kQx_DeleteIt); });
  const std::string trace = "Qx ClSendFile: delete it not yet implemented";
  EXPECT_EQ(sent.commands, (Commands{"FE()", TrCommand(trace)}));
  EXPECT_TRUE(qxtest::FileExists(path));
}

TEST_F(LongTextTest, MissingFileOrDirectoryIsTracedWithItsPathInBothModes) {
  const std::string absent = dir_.File("absent");
  const std::string directory = dir_.path();
  for (const std::string& path : {absent, directory}) {
    for (QxBoolean stdOut : {kQx_True, kQx_False}) {
      SCOPED_TRACE(path + (stdOut ? " in standard-output mode" : " by name"));
      g_qxStdOut = stdOut;
      g_qxStartedByQuarnel = kQx_True;
      g_qxErrno = kQx_NoErr;
      const Sent sent = Run([&] { QxClSendFile(path.c_str(), kQx_DoNotDeleteIt); });
      EXPECT_EQ(sent.err.find(TraceLine("Qx ClSendFile: could not fopen file " + path)), 0u)
          << sent.err;
      EXPECT_EQ(QxErrno(), kQx_ParamErr);
      if (stdOut) {
        EXPECT_EQ(sent.commands, Commands{TrCommand("Qx ClSendFile: could not fopen file " + path)});
      }
    }
  }
}

// Outside standard-output mode the file is announced by name on the current
// output record, a real channel here.
class FileByNameTest : public LongTextTest {
 protected:
  void SetUp() override {
    LongTextTest::SetUp();
    g_qxStdOut = kQx_False;
    QxClSetCurrentChannelIO(nullptr, &channel_.out);
  }
  std::string NextFrame() { return qxtest::ReadFrame(channel_.peer_read, 5000).value_or("<none>"); }

  qxtest::PipeChannel channel_;
};

TEST_F(FileByNameTest, AnnouncedOnlyWhenTheHostMayReadIt) {
  const std::string path = dir_.File("f");
  qxtest::WriteFile(path, "FE()\n");
  const std::string counted = std::to_string(path.size()) + ":" + path;
  const std::string refusal =
      "Qx ClSendFile: could not use SEND_KORA_FILE if not Started By Quarnel nor "
      "SEND_KORA_FILE_Allowed";
  struct Case {
    QxBoolean started;
    QxBoolean allowed;
    QxFilePostCondition condition;
    std::string frame;
    QxSLong error;
  } const cases[] = {
      {kQx_True, kQx_False, kQx_DeleteIt, "SEND_KORA_FILE(" + counted + ",1)", kQx_NoErr},
      {kQx_False, kQx_True, kQx_DoNotDeleteIt, "SEND_KORA_FILE(" + counted + ",0)", kQx_NoErr},
      {kQx_False, kQx_False, kQx_DoNotDeleteIt, TrCommand(refusal), kQx_ParamErr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    g_qxStartedByQuarnel = c.started;
    g_qxSEND_KORA_FILE_Allowed = c.allowed;
    g_qxErrno = kQx_NoErr;
    Run([&] { QxClSendFile(path.c_str(), c.condition); });
    EXPECT_EQ(NextFrame(), c.frame);
    EXPECT_EQ(QxErrno(), c.error);
    EXPECT_EQ(qxtest::ReadAvailable(channel_.peer_read), "");
    EXPECT_TRUE(qxtest::FileExists(path));
  }
}

// The host is a FIFO's reader: the tool names it without opening it, so the
// call does not wait for a writer and the writer's data stays for the host.
TEST_F(FileByNameTest, FifoIsAnnouncedWithoutBeingOpened) {
  const std::string path = dir_.File("fifo");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  g_qxStartedByQuarnel = kQx_True;
  const pid_t writer = qxtest::FeedFifoLater(path, "FE()\n");
  // In a child: an open that waits for a writer fails the test, not the run.
  const qxtest::ChildResult call = qxtest::RunInChild(
      [&] {
        QxClSendFile(path.c_str(), kQx_DoNotDeleteIt);
        return static_cast<int>(-QxErrno());
      },
      3000);
  EXPECT_FALSE(call.timed_out);
  EXPECT_EQ(call.status, 0) << call.err;
  EXPECT_EQ(NextFrame(), "SEND_KORA_FILE(" + std::to_string(path.size()) + ":" + path + ",0)");
  const qxtest::ChildResult host = qxtest::RunInChild(
      [&] {
        std::fputs(qxtest::ReadFile(path).c_str(), stdout);
        return 0;
      },
      5000);
  EXPECT_EQ(host.out, "FE()\n");
  EXPECT_EQ(qxtest::WaitChild(writer, 5000).status, 0);
}

TEST_F(LongTextTest, WorkspaceFilesAreFoundThroughTheBasicInformation) {
  ReadWorkspace();
  qxtest::WriteFile(MainFile("m"), "DE()\n");
  qxtest::WriteFile(ModelFile("n"), "FE()\n");
  EXPECT_EQ(Run([] { QxClSendMainWorkSpaceFile("m"); }).commands, Commands{"DE()"});
  EXPECT_EQ(Run([] { QxClSendModelWorkSpaceFile("n", kQx_DoNotDeleteIt); }).commands,
            Commands{"FE()"});
  EXPECT_EQ(QxErrno(), kQx_NoErr);
}

// A workspace path and short name must leave room for the path's NUL: the
// longest that does is looked for (and missing), one byte more is refused.
TEST_F(LongTextTest, WorkspacePathLengthIsBoundedByThePathBuffer) {
  ReadWorkspace();
  const size_t dirLen = MainFile("").size();
  const size_t longest = kQx_PathCapacity - 1;
  struct Case {
    size_t total;        // bytes of the whole path
    std::string traced;  // beginning of the trace line
  } const cases[] = {
      {longest, TraceLine("Qx ClSendFile: could not fopen file " + MainFile("")).substr(0, 60)},
      {longest + 1, TraceLine("Qx ClSendMainWorkSpaceFile:path of " + std::to_string(longest + 1) +
                              " bytes longer than " + std::to_string(longest))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.total);
    const std::string name = X(c.total - dirLen);
    const Sent sent = Run([&] { QxClSendMainWorkSpaceFile(name.c_str()); });
    EXPECT_EQ(sent.err.rfind(c.traced, 0), 0u) << sent.err.substr(0, 100);
    EXPECT_EQ(QxErrno(), kQx_ParamErr);
  }
}

TEST_F(LongTextTest, WorkspaceFileFailures) {
  struct Case {
    const char* trace;
    QxSLong error;
    std::function<void()> call;
  } const cases[] = {
      {"Qx ClSendMainWorkSpaceFile:shortFileName==NULL", kQx_ParamErr,
       [] { QxClSendMainWorkSpaceFile(nullptr); }},
      {"Qx ClSendModelWorkSpaceFile:shortFileName==NULL", kQx_ParamErr,
       [] { QxClSendModelWorkSpaceFile(nullptr, kQx_DeleteIt); }},
      {"Qx EnvGetMainWorkspacePath:g_qxMainWorkSpace==NULL", kQx_InternalErr,
       [] { QxClSendMainWorkSpaceFile("m"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trace);
    const Sent sent = Run(c.call);
    EXPECT_EQ(sent.commands, Commands{TrCommand(c.trace)});
    EXPECT_EQ(QxErrno(), c.error);
  }
  // Unread basic information: no model workspace, nothing sent, no trace.
  EXPECT_EQ(Run([] { QxClSendModelWorkSpaceFile("n", kQx_DoNotDeleteIt); }).commands, Commands{});
  EXPECT_EQ(QxErrno(), kQx_InternalErr);
}

}  // namespace
