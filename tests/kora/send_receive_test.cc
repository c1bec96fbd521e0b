// SPDX-License-Identifier: MIT
// KORA command output and input over real pipes: destinations of a command,
// the size limit, broken channels, the current records and the four receive
// operations.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/library_state.h"
#include "common/pipe_channel.h"
#include "common/qxtest.h"
#include "kora/send_state.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"

namespace {

using qxtest::FrameBytes;
using qxtest::PipeChannel;
using qxtest::ReadAvailable;

using qxtest::TraceLine;

using qxtest::Counted;
// A command of exactly n bytes whose bytes differ along its length.
std::string CommandOfSize(size_t n) {
  std::string command = "X(";
  for (size_t i = 0; command.size() < n - 1; ++i) command += static_cast<char>('a' + i % 26);
  command += ')';
  return command;
}

constexpr SqSize_t kAllBits = static_cast<SqSize_t>(-1);

class KoraSendTest : public qxtest::LibraryStateTest {};

// --- Output ----------------------------------------------------------------

TEST_F(KoraSendTest, CommandGoesToTheFirstDestinationThatExists) {
  enum Dest { kExplicit, kCurrent, kStdout, kStderr };
  struct Case {
    const char* name;
    bool explicitRecord, current, stdOut;
    Dest dest;
  };
  const Case cases[] = {
      {"explicit record", true, false, false, kExplicit},
      {"explicit record before the current one", true, true, true, kExplicit},
      {"current record", false, true, false, kCurrent},
      {"current record before standard output", false, true, true, kCurrent},
      {"standard output", false, false, true, kStdout},
      {"no destination", false, false, false, kStderr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PipeChannel given, current;
    qx::kora::ResetCurrentChannelIO();
    if (c.current) QxClSetCurrentChannelIO(nullptr, &current.out);
    g_qxStdOut = c.stdOut;
    g_qxErrno = kQx_InUse;
    qxtest::Output output = qxtest::CaptureOutput(
        [&] { QxClSendChannelKora(c.explicitRecord ? &given.out : nullptr, "TR(2:hi)"); });
    EXPECT_EQ(ReadAvailable(given.peer_read), c.dest == kExplicit ? FrameBytes("TR(2:hi)") : "");
    EXPECT_EQ(ReadAvailable(current.peer_read), c.dest == kCurrent ? FrameBytes("TR(2:hi)") : "");
    EXPECT_EQ(output.out, c.dest == kStdout ? "TR(2:hi)\n" : "");
    EXPECT_EQ(output.err, c.dest == kStderr ? TraceLine("no std out, no DefaultOutput:TR(2:hi)") : "");
    // A channel write starts from a clean error code; a stream leaves it.
    EXPECT_EQ(QxErrno(), c.dest == kExplicit || c.dest == kCurrent ? kQx_NoErr : kQx_InUse);
  }
}

TEST_F(KoraSendTest, DefaultOutputStreamIsFlushedAtOnceAndCanBeRestored) {
  qxtest::TempDir dir;
  const std::string path = dir.File("commands");
  FILE* stream = std::fopen(path.c_str(), "w");
  ASSERT_NE(stream, nullptr);
  g_qxStdOut = kQx_True;
  QxEnvSetDefaultOutputStream(stream);
  qxtest::Output output = qxtest::CaptureOutput([] { QxClSendChannelKora(nullptr, "FE()"); });
  EXPECT_EQ(qxtest::ReadFile(path), "FE()\n");  // flushed, the stream still open
  EXPECT_EQ(output.out, "");

  QxEnvSetDefaultOutputStream(nullptr);
  output = qxtest::CaptureOutput([] { QxClSendChannelKora(nullptr, "DE()"); });
  EXPECT_EQ(output.out, "DE()\n");
  EXPECT_EQ(qxtest::ReadFile(path), "FE()\n");
  std::fclose(stream);
}

TEST_F(KoraSendTest, CommandsOver255BytesAreRefusedWhole) {
  g_qxStandalone = kQx_True;  // the refusal's trace stays on standard error
  struct Case {
    const char* name;
    bool channel;
  };
  const Case cases[] = {{"to a channel", true}, {"to standard output", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PipeChannel pc;
    qx::kora::ResetCurrentChannelIO();
    if (c.channel) QxClSetCurrentChannelIO(nullptr, &pc.out);
    g_qxStdOut = kQx_True;
    // What reached the destination, and what a command looks like there.
    auto delivered = [&](const qxtest::Output& output) {
      return c.channel ? ReadAvailable(pc.peer_read) : output.out;
    };
    auto shape = [&](const std::string& command) {
      return c.channel ? FrameBytes(command) : command + "\n";
    };
    auto send = [](const std::string& command) {
      g_qxErrno = kQx_NoErr;
      return qxtest::CaptureOutput([&] { QxClSendChannelKora(nullptr, command.c_str()); });
    };

    const std::string fits = CommandOfSize(255);
    qxtest::Output output = send(fits);
    EXPECT_EQ(QxErrno(), kQx_NoErr);
    EXPECT_EQ(delivered(output), shape(fits));
    EXPECT_EQ(output.err, "");

    const std::string tooLarge = CommandOfSize(256);
    output = send(tooLarge);
    EXPECT_EQ(QxErrno(), kQx_ParamErr);
    EXPECT_EQ(output.err, TraceLine("Qx ClSendChannelKora:KORA command too large (256 bytes):" +
                               tooLarge.substr(0, 50) + "..."));
    EXPECT_EQ(delivered(output), "");

    // Later commands are not affected.
    output = send("FE()");
    EXPECT_EQ(QxErrno(), kQx_NoErr);
    EXPECT_EQ(delivered(output), shape("FE()"));
  }
}

TEST_F(KoraSendTest, RefusedCommandComposedInTheModuleBufferKeepsItsExcerpt) {
  g_qxStandalone = kQx_True;
  const std::string command = CommandOfSize(1500);
  std::memcpy(qx::kora::g_message, command.c_str(), command.size() + 1);
  std::string err = qxtest::CaptureOutput([] { QxClSendChannelKora(nullptr, qx::kora::g_message); }).err;
  EXPECT_EQ(err, TraceLine("Qx ClSendChannelKora:KORA command too large (1500 bytes):" +
                      command.substr(0, 50) + "..."));
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
}

TEST_F(KoraSendTest, RefusalTraceReachesTheHostAndEndsAfterOneLevel) {
  QxChannelInit();
  PipeChannel pc;
  QxClSetCurrentChannelIO(nullptr, &pc.out);
  const std::string tooLarge = CommandOfSize(400);
  qxtest::CaptureOutput([&] { QxClSendChannelKora(nullptr, tooLarge.c_str()); });
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
  const std::string trace =
      "Qx ClSendChannelKora:KORA command too large (400 bytes):" + tooLarge.substr(0, 50) + "...";
  EXPECT_EQ(ReadAvailable(pc.peer_read), FrameBytes(Counted("TR", trace)));
}

TEST_F(KoraSendTest, BrokenChannelFailsOnceThenDropsCommandsSilently) {
  QxChannelInit();  // error traces on
  PipeChannel pc;
  pc.ClosePeerRead();
  QxClSetCurrentChannelIO(nullptr, &pc.out);
  qxtest::Output output = qxtest::CaptureOutput([] { QxClSendChannelKora(nullptr, "A()"); });
  EXPECT_EQ(QxErrno(), kQx_BrokenCom);
  EXPECT_EQ(pc.out.qxChannelState, kQx_ChannelBroken);
  // Its trace is sent to the broken record too, which drops it.
  EXPECT_EQ(output.err, TraceLine("Qx WriteInChannel FIFO:  BROKEN COMMUNICATION"));

  output = qxtest::CaptureOutput([] { QxClSendChannelKora(nullptr, "B()"); });
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_EQ(output.err, "");
  EXPECT_EQ(output.out, "");
}

TEST_F(KoraSendTest, RoutineTracesOfTheSendAreSentOnceAndDoNotDisturbTheCommand) {
  PipeChannel pc;
  QxClSetCurrentChannelIO(nullptr, &pc.out);
  SetTraceQuietly(kQx_Channel_TraceError | kQx_Channel_TraceRoutineCalls);
  const std::string command = "CN(1,2:PL)";
  std::string err =
      qxtest::CaptureOutput([&] { QxClSendChannelKora(nullptr, command.c_str()); }).err;
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  // Each routine trace goes out as a TR of its own; the traces of that TR's
  // own send stay silent, and the command follows intact.
  EXPECT_EQ(ReadAvailable(pc.peer_read), FrameBytes(Counted("TR", "Qx SetChannelIOParams")) +
                                             FrameBytes(Counted("TR", "Qx WriteInChannel")) +
                                             FrameBytes(command));
  EXPECT_EQ(err, TraceLine("Qx SetChannelIOParams") + TraceLine("Qx WriteInChannel"));
  EXPECT_EQ(pc.out.actualLength, command.size());
}

TEST_F(KoraSendTest, CurrentRecordsAreReplacedOnlyByNonNullRecords) {
  g_qxStandalone = kQx_True;
  PipeChannel first, second;
  QxClSetCurrentChannelIO(&first.in, &first.out);
  QxClSetCurrentChannelIO(nullptr, &second.out);
  QxClSetCurrentChannelIO(nullptr, nullptr);
  QxClSendChannelKora(nullptr, "A()");
  EXPECT_EQ(ReadAvailable(second.peer_read), FrameBytes("A()"));
  EXPECT_EQ(ReadAvailable(first.peer_read), "");

  ASSERT_TRUE(qxtest::WriteAll(first.peer_write, FrameBytes("B()")));
  char buffer[kQx_ReceiveBufferSize];
  QxClRecoitKORA(buffer);
  EXPECT_STREQ(buffer, "B()");
}

// --- Input -----------------------------------------------------------------

enum class Op { kReceive, kRecoit, kOld, kNonBl };

const char* OpName(Op op) {
  switch (op) {
    case Op::kReceive: return "ClReceiveChannelKora";
    case Op::kRecoit: return "ClRecoitKORA";
    case Op::kOld: return "OldRecoitKORA";
    case Op::kNonBl: return "OldRecoitKORANonBl";
  }
  return "";
}

// Runs a receive operation; the terminating ones give no result.
std::optional<SqSize_t> Receive(Op op, char* buffer, PQxChannelIOParams record = nullptr) {
  switch (op) {
    case Op::kReceive: QxClReceiveChannelKora(buffer, record); return std::nullopt;
    case Op::kRecoit: QxClRecoitKORA(buffer); return std::nullopt;
    case Op::kOld: return QxOldRecoitKORA(buffer);
    case Op::kNonBl: return QXOldRecoitKORANonBl(buffer);
  }
  return std::nullopt;
}

TEST_F(KoraSendTest, ReceiveWithoutAnyRecordIsRefused) {
  g_qxStandalone = kQx_True;
  for (Op op : {Op::kReceive, Op::kRecoit, Op::kOld, Op::kNonBl}) {
    for (bool stdOut : {true, false}) {
      SCOPED_TRACE(std::string(OpName(op)) + (stdOut ? " in standard-output mode" : ""));
      g_qxStdOut = stdOut;
      g_qxErrno = kQx_InUse;
      char buffer[kQx_ReceiveBufferSize] = "untouched";
      std::optional<SqSize_t> result;
      std::string err = qxtest::CaptureOutput([&] { result = Receive(op, buffer); }).err;
      const std::string why = stdOut ? "std out there is no std in" : "no std out, no DefaultInput !";
      EXPECT_EQ(err, TraceLine(std::string("Qx ") + OpName(op) + ":" + why));
      const bool terminating = op == Op::kReceive || op == Op::kRecoit;
      EXPECT_EQ(QxErrno(), terminating ? kQx_ParamErr : kQx_InUse);
      EXPECT_STREQ(buffer, terminating && stdOut ? "" : "untouched");
      if (!terminating) {
        EXPECT_EQ(result, kAllBits);
      }
    }
  }
}

TEST_F(KoraSendTest, ReceiveReadsOneCommandFromTheRecord) {
  using enum qxtest::PeerAction;
  struct Case {
    const char* name;
    Op op;
    qxtest::PeerAction peer;
    std::string text;                 // text read; for terminating operations, the string
    std::optional<SqSize_t> result;   // result of the legacy operations
  };
  const std::string command = "SU(5:hello)";
  const Case cases[] = {
      {"receive", Op::kReceive, kFrame, command, std::nullopt},
      {"receive, writer gone: empty string", Op::kReceive, kClose, "", std::nullopt},
      {"receive, end-of-link marker: empty string", Op::kReceive, kMarker, "", std::nullopt},
      {"recoit", Op::kRecoit, kFrame, command, std::nullopt},
      {"recoit, writer gone: empty string", Op::kRecoit, kClose, "", std::nullopt},
      {"old", Op::kOld, kFrame, command, command.size()},
      {"old, writer gone", Op::kOld, kClose, "", kAllBits},
      {"old, end-of-link marker", Op::kOld, kMarker, "", kAllBits - 1},
      {"non-blocking", Op::kNonBl, kFrame, command, command.size()},
      {"non-blocking, nothing waiting", Op::kNonBl, kNothing, "", 0},
      {"non-blocking, writer gone", Op::kNonBl, kClose, "", kAllBits},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::Watchdog watchdog(20);
    PipeChannel pc;
    QxClSetCurrentChannelIO(&pc.in, nullptr);
    ASSERT_TRUE(pc.Peer(c.peer, command));
    std::vector<char> buffer(kQx_ReceiveBufferSize, 'z');
    g_qxErrno = kQx_InUse;
    std::optional<SqSize_t> result = Receive(c.op, buffer.data());
    EXPECT_EQ(QxErrno(), kQx_NoErr);
    if (c.op == Op::kReceive || c.op == Op::kRecoit) {
      EXPECT_STREQ(buffer.data(), c.text.c_str());
    } else {
      EXPECT_EQ(result, c.result);
      EXPECT_EQ(std::string(buffer.data(), c.text.size()), c.text);
      EXPECT_EQ(buffer[c.text.size()], 'z');  // no NUL added
    }
  }
}

TEST_F(KoraSendTest, ExplicitInputRecordTakesPrecedence) {
  PipeChannel given, current;
  QxClSetCurrentChannelIO(&current.in, nullptr);
  ASSERT_TRUE(qxtest::WriteAll(given.peer_write, FrameBytes("GIVEN()")));
  ASSERT_TRUE(qxtest::WriteAll(current.peer_write, FrameBytes("CURRENT()")));
  char buffer[kQx_ReceiveBufferSize];
  QxClReceiveChannelKora(buffer, &given.in);
  EXPECT_STREQ(buffer, "GIVEN()");
  QxClReceiveChannelKora(buffer, nullptr);
  EXPECT_STREQ(buffer, "CURRENT()");
}

TEST_F(KoraSendTest, ReceiveNeverWritesPastTheReceiveBuffer) {
  qxtest::Watchdog watchdog(30);
  PipeChannel pc;
  QxClSetCurrentChannelIO(&pc.in, nullptr);
  const std::string longest(kQx_MaxMessageLength, 'L');
  const std::string tooLong(kQx_MaxMessageLength + 1, 'T');
  // The frames exceed a pipe's capacity: a writer thread feeds them.
  std::thread writer([&] {
    qxtest::WriteAll(pc.peer_write, FrameBytes(longest) + FrameBytes(tooLong) + FrameBytes("N()"));
  });
  // Heap buffers of exactly the documented size: a write past them is caught.
  std::vector<char> buffer(kQx_ReceiveBufferSize, 'z');
  QxClRecoitKORA(buffer.data());
  EXPECT_EQ(std::string(buffer.data()), longest);
  QxClRecoitKORA(buffer.data());
  EXPECT_STREQ(buffer.data(), "");  // the over-long frame is a failed read
  QxClRecoitKORA(buffer.data());
  EXPECT_STREQ(buffer.data(), "N()");
  writer.join();
}

TEST_F(KoraSendTest, BrokenOrRefusedInputRecordReadsNothing) {
  g_qxStandalone = kQx_True;
  PipeChannel pc;
  ASSERT_TRUE(qxtest::WriteAll(pc.peer_write, FrameBytes("WAITING()")));
  QxClSetCurrentChannelIO(&pc.in, nullptr);
  pc.in.qxChannelState = kQx_ChannelBroken;
  // Stale, far beyond any buffer, as a completed read leaves them.
  pc.in.length = pc.in.actualLength = 1u << 30;
  char buffer[kQx_ReceiveBufferSize] = "stale";
  QxClRecoitKORA(buffer);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(QxOldRecoitKORA(buffer), kAllBits);
  EXPECT_EQ(QXOldRecoitKORANonBl(buffer), 0u);
  EXPECT_EQ(ReadAvailable(pc.LibraryIn()), FrameBytes("WAITING()"));

  std::string err = qxtest::CaptureOutput([&] { QxClReceiveChannelKora(nullptr, &pc.in); }).err;
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
  EXPECT_EQ(err, TraceLine("Qx ClReceiveChannelKora:messageBuffer==NULL"));
}

}  // namespace
