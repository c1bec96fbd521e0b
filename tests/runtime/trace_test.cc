// SPDX-License-Identifier: MIT
// The trace, waiting messages and the legacy warning in each mode: what goes
// to standard error, to standard output and to the host channel.
#include <string>

#include <gtest/gtest.h>

#include "common/library_state.h"
#include "common/pipe_channel.h"
#include "common/qxtest.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "runtime/env_state.h"

namespace {

using qxtest::FrameBytes;
using qxtest::PipeChannel;
using qxtest::ReadAvailable;

using qxtest::TraceLine;

using qxtest::Counted;
std::string NoStdOut(const std::string& command) {
  return TraceLine("no std out, no DefaultOutput:" + command);
}

class TraceTest : public qxtest::LibraryStateTest {};

enum class Op { kTrace, kWarning, kWaiting };

// Where the host channel sits for a case.
enum class Channel { kNone, kCurrent, kDefault };

struct ModeCase {
  const char* name;
  Op op;
  bool standalone, stdOut, startedByHost, sttAllowed;
  Channel channel;
  std::string out, err, frames;  // expected standard output, error, and channel bytes
};

// QxEnvInit sets standard-output mode together with standalone mode.
std::vector<ModeCase> ModeCases() {
  const std::string trace = "#(Varnost):hello\n";
  const std::string warning = "$(Varnost):hello\n";
  const std::string tr = "TR(5:hello)", wn = "WN(5:hello)", stt = "STT_MSG(5:hello)";
  return {
      {"trace, standalone", Op::kTrace, true, true, false, false, Channel::kNone, "", trace, ""},
      {"trace, standard output", Op::kTrace, false, true, false, false, Channel::kNone, tr + "\n",
       trace, ""},
      {"trace, neither", Op::kTrace, false, false, false, false, Channel::kNone, "",
       trace + NoStdOut(tr), ""},
      {"trace, host channel", Op::kTrace, false, false, true, false, Channel::kCurrent, "", trace,
       FrameBytes(tr)},
      {"warning, standalone", Op::kWarning, true, true, false, false, Channel::kNone, wn + "\n",
       warning, ""},
      {"warning, standard output", Op::kWarning, false, true, false, false, Channel::kNone,
       wn + "\n", warning, ""},
      {"warning, neither", Op::kWarning, false, false, false, false, Channel::kNone, "",
       warning + NoStdOut(wn), ""},
      {"warning, host channel", Op::kWarning, false, false, true, false, Channel::kCurrent, "",
       warning, FrameBytes(wn)},
      {"waiting, started by the host", Op::kWaiting, false, false, true, false, Channel::kDefault,
       "", "", FrameBytes(stt)},
      {"waiting, allowed, falls back to the current record", Op::kWaiting, false, false, false,
       true, Channel::kCurrent, "", "", FrameBytes(stt)},
      {"waiting, allowed, standard output", Op::kWaiting, false, true, false, true,
       Channel::kNone, stt + "\n", "", ""},
      {"waiting, standalone", Op::kWaiting, true, true, false, false, Channel::kNone, "",
       "hello\n", ""},
      {"waiting, neither", Op::kWaiting, false, false, false, false, Channel::kNone, "", "", ""},
  };
}

TEST_F(TraceTest, EachModeSendsTheTextWhereItBelongs) {
  for (const ModeCase& c : ModeCases()) {
    SCOPED_TRACE(c.name);
    PipeChannel host;
    qx::kora::ResetCurrentChannelIO();
    g_qxPDefaultOutputChannelIOParams = nullptr;
    if (c.channel == Channel::kCurrent) QxClSetCurrentChannelIO(nullptr, &host.out);
    if (c.channel == Channel::kDefault) g_qxPDefaultOutputChannelIOParams = &host.out;
    g_qxStandalone = c.standalone;
    g_qxStdOut = c.stdOut;
    g_qxStartedByQuarnel = c.startedByHost;
    g_qxSTT_MSG_Allowed = c.sttAllowed;
    g_qxErrno = kQx_InUse;
    qxtest::Output output = qxtest::CaptureOutput([&] {
      switch (c.op) {
        case Op::kTrace: QxTrace("hello"); break;
        case Op::kWarning: QxOldSVimpression("hello"); break;
        case Op::kWaiting: QxSendWaitingMessage("hello"); break;
      }
    });
    EXPECT_EQ(output.out, c.out);
    EXPECT_EQ(output.err, c.err);
    EXPECT_EQ(ReadAvailable(host.peer_read), c.frames);
    if (c.op == Op::kTrace) {
      EXPECT_EQ(QxErrno(), kQx_InUse);
    }
  }
  g_qxPDefaultOutputChannelIOParams = nullptr;
}

TEST_F(TraceTest, NullAndEmptyTexts) {
  g_qxStdOut = kQx_True;
  g_qxErrno = kQx_InUse;
  qxtest::Output output = qxtest::CaptureOutput([] { QxTrace(nullptr); });
  EXPECT_EQ(output.err, TraceLine("Qx Trace:message==NULL"));
  EXPECT_EQ(output.out, "TR(22:Qx Trace:message==NULL)\n");
  EXPECT_EQ(QxErrno(), kQx_InUse);  // the one null text that sets no error

  output = qxtest::CaptureOutput([] { QxTrace(""); });
  EXPECT_EQ(output.err, TraceLine(""));
  EXPECT_EQ(output.out, "TR(0:)\n");

  struct Case {
    const char* name;
    void (*op)(const char*);
    const char* trace;
  };
  const Case cases[] = {
      {"waiting message", QxSendWaitingMessage, "Qx SendWaitingMessage:message==NULL"},
      {"warning", QxOldSVimpression, "Qx OldSVimpression/2:message==NULL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_qxErrno = kQx_NoErr;
    output = qxtest::CaptureOutput([&] { c.op(nullptr); });
    EXPECT_EQ(QxErrno(), kQx_ParamErr);
    EXPECT_EQ(output.err, TraceLine(c.trace));
    EXPECT_EQ(output.out, Counted("TR", c.trace) + "\n");
  }
}

TEST_F(TraceTest, TextsReachTheHostUpToTheCommandLimit) {
  g_qxStdOut = kQx_True;
  g_qxSTT_MSG_Allowed = kQx_True;
  struct Case {
    const char* name;
    void (*op)(const char*);
    const char* command;  // name of the command sent
    size_t longest;       // longest text that still fits in 255 bytes
  };
  const Case cases[] = {
      {"trace", QxTrace, "TR", 247},
      {"warning", QxOldSVimpression, "WN", 247},
      {"waiting message", QxSendWaitingMessage, "STT_MSG", 242},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_qxErrno = kQx_NoErr;
    const std::string fits(c.longest, 'f');
    qxtest::Output output = qxtest::CaptureOutput([&] { c.op(fits.c_str()); });
    EXPECT_EQ(output.out, Counted(c.command, fits) + "\n");
    EXPECT_EQ(QxErrno(), kQx_NoErr);

    const std::string over(c.longest + 1, 'o');
    output = qxtest::CaptureOutput([&] { c.op(over.c_str()); });
    const std::string refused = Counted(c.command, over);
    ASSERT_EQ(refused.size(), 256u);
    const std::string refusal =
        "Qx ClSendChannelKora:KORA command too large (256 bytes):" + refused.substr(0, 50) + "...";
    // The refusal is traced, and its own TR reaches the host.
    EXPECT_EQ(output.out, Counted("TR", refusal) + "\n");
    EXPECT_TRUE(output.err.ends_with(TraceLine(refusal))) << output.err;
    EXPECT_EQ(QxErrno(), kQx_ParamErr);
  }
}

TEST_F(TraceTest, ErrorCodeSurvivesATraceSentThroughAChannelUnlessTheSendFails) {
  PipeChannel host;
  QxClSetCurrentChannelIO(nullptr, &host.out);
  g_qxErrno = kQx_InUse;
  qxtest::CaptureOutput([] { QxTrace("kept"); });
  EXPECT_EQ(QxErrno(), kQx_InUse);
  EXPECT_EQ(ReadAvailable(host.peer_read), FrameBytes("TR(4:kept)"));

  host.ClosePeerRead();
  qxtest::CaptureOutput([] { QxTrace("lost"); });
  EXPECT_EQ(QxErrno(), kQx_BrokenCom);
  EXPECT_EQ(host.out.qxChannelState, kQx_ChannelBroken);
}

}  // namespace
