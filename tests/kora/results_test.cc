// SPDX-License-Identifier: MIT
// Results, text responses, progress steps, session variables and model
// notices: host rendering (commands read back from standard output or from a
// real channel) and standalone rendering (exact bytes on the standard
// streams).
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/pipe_channel.h"
#include "kora/services_fixture.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXQuestions.h"
#include "quarnel/QXResults.h"

namespace {

using namespace qxtest;  // the fixture and its helpers

std::string Rt(const std::string& text) { return Counted("RT", text); }

const char kBadArcLine[] = "  line 3 in label 'weight' of object 12";

class ResultsTest : public ServicesTest {};

TEST_F(ResultsTest, HostRenderingSendsASetOfCommands) {
  const std::string noMessage = "Qx ResultSendMessage: no message ?";
  struct Case {
    const char* name;
    std::function<void()> report;
    Commands expected;
  } const cases[] = {
      {"warning at a line of a label",
       [] { QxResultSendOneMessage(kQx_ResultWarning, "bad arc", 12, "weight", -3, 0); },
       {"DE(13:from Varnost:,2)", "RO(12)", Rt("bad arc"), Rt(kBadArcLine),
        "MT(12,6:weight,-3,0)", "FE()"}},
      {"error on an object",
       [] { QxResultSendOneMessage(kQx_ResultError, "x", 7, nullptr, 0, 0); },
       {"DE(13:from Varnost:,3)", "RO(7)", "RT(1:x)", Rt("  for object 7"), "ME(7)", "FE()"}},
      {"between characters",
       [] { QxResultSendOneMessage(kQx_ResultError, "m", 5, "w", 4, 9); },
       {"DE(13:from Varnost:,3)", "RO(5)", "RT(1:m)",
        Rt("  between char 4-9 in label 'w' of object 5"), "MT(5,1:w,4,9)", "FE()"}},
      {"whole label, no message",
       [] { QxResultSendOneMessage(kQx_ResultNoError, nullptr, 5, "w", 0, 0); },
       {"DE(13:from Varnost:,1)", "RO(5)", Rt("  in label 'w' of object 5"), "MT(5,1:w,0,0)",
        "FE()"}},
      {"object without message has no location",
       [] { QxResultSendOneMessage(kQx_ResultWarning, nullptr, 3, nullptr, 0, 0); },
       {"DE(13:from Varnost:,2)", "RO(3)", "ME(3)", "FE()"}},
      {"nothing to say",
       [] { QxResultSendOneMessage(kQx_ResultWarning, nullptr, 0, nullptr, 0, 0); },
       {"DE(13:from Varnost:,2)", TrCommand(noMessage), "FE()"}},
      {"two messages in one result",
       [] {
         QxResultSendBeginMessage(kQx_ResultNoError);
         QxResultSendMessage("a", 0, nullptr, 0, 0);
         QxResultSendMessage("b", 0, nullptr, 0, 0);
         QxResultSendEndMessage();
       },
       {"DE(13:from Varnost:,1)", "RT(1:a)", "RT(1:b)", "FE()"}},
      {"text response", [] { QxSendTextResponse("done"); },
       {"DE(13:from Varnost:,1)", "RT(4:done)", "FE()"}},
      {"multi-line text response", [] { QxSendTextResponse("a\nb"); },
       {"DE(13:from Varnost:,1)", "RT(1:a)", "RT(1:b)", "FE()"}},
      {"caller's strings are values",
       [] { QxResultSendOneMessage(kQx_ResultError, "%s%n", 1, "%d", 0, 0); },
       {"DE(13:from Varnost:,3)", "RO(1)", "RT(4:%s%n)", Rt("  in label '%d' of object 1"),
        "MT(1,2:%d,0,0)", "FE()"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_qxErrno = kQx_ParamErr;  // every result operation clears it
    const Sent sent = Run(c.report);
    EXPECT_EQ(sent.commands, c.expected);
    EXPECT_EQ(QxErrno(), kQx_NoErr);
  }
}

TEST_F(ResultsTest, NullTextResponseIsRefused) {
  const Sent sent = Run([] { QxSendTextResponse(nullptr); });
  EXPECT_EQ(sent.commands, Commands{TrCommand("Qx SendTextResponse null message")});
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
}

TEST_F(ResultsTest, StandaloneRenderingWritesTheStandardStreams) {
  struct Case {
    const char* name;
    std::function<void()> report;
    const char* out;
    std::string err;
  } const cases[] = {
      {"warning at a line of a label",
       [] { QxResultSendOneMessage(kQx_ResultWarning, "bad arc", 12, "weight", -3, 0); }, "",
       std::string("* Warning from Varnost:bad arc\n") + kBadArcLine + "\n"},
      {"error on an object", [] { QxResultSendOneMessage(kQx_ResultError, "x", 7, nullptr, 0, 0); },
       "", "* Error from Varnost:x\n  for object 7\n"},
      {"unspecified level", [] { QxResultSendOneMessage(kQx_ResultErrorNotSpecified, "u", 0, nullptr, 0, 0); },
       "", "from Varnost:u\n"},
      {"no error on an object", [] { QxResultSendOneMessage(kQx_ResultNoError, "m", 4, nullptr, 0, 0); },
       "from Varnost:m\n  for object 4\n", ""},
      {"text response", [] { QxSendTextResponse("done"); }, "from Varnost:done\n", ""},
      {"nothing to say", [] { QxResultSendOneMessage(kQx_ResultError, nullptr, 0, nullptr, 0, 0); },
       "", "* Error from Varnost:" + TraceLine("Qx ResultSendMessage: no message ?")},
  };
  g_qxStandalone = kQx_True;
  g_qxStdOut = kQx_False;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const qxtest::Output output = qxtest::CaptureOutput(c.report);
    EXPECT_EQ(output.out, c.out);
    EXPECT_EQ(output.err, c.err);
  }
}

TEST_F(ResultsTest, StepsBecomeWaitingMessages) {
  const std::string longMessage(1500, 'p');
  struct Case {
    const char* message;
    QxSLong max;
    QxSLong value;
    std::string host;  // the command the host receives
    std::string err;   // standalone standard error
  } const cases[] = {
      {nullptr, 10, 3, "STT_MSG(4:3/10)", "3/10\n"},
      {"Places", 0, 5, "STT_MSG(8:Places 5)", "Places 5\n"},
      {"P", 10, 3, "STT_MSG(6:P 3/10)", "P 3/10\n"},
      {nullptr, 0, -7, "STT_MSG(2:-7)", "-7\n"},
      {"ignored", 0, 0, "STT_MSG(1:+)", "+"},
      // Composed whole: too long for one command, yet never cut.
      {longMessage.c_str(), 2, 1,
       TrCommand("Qx ClSendChannelKora:KORA command too large (1518 bytes):STT_MSG(1504:" +
                 std::string(37, 'p') + "..."),
       longMessage + " 1/2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host.substr(0, 30));
    g_qxStandalone = kQx_False;
    g_qxStartedByQuarnel = kQx_True;
    const Sent host = Run([&] { QxUserStep(c.message, kQx_MainStepLevel, c.max, c.value); });
    EXPECT_EQ(host.commands, Commands{c.host});
    g_qxStandalone = kQx_True;
    g_qxStartedByQuarnel = kQx_False;
    const qxtest::Output alone =
        qxtest::CaptureOutput([&] { QxUserStep(c.message, kQx_SubStepLevel, c.max, c.value); });
    EXPECT_EQ(alone.out, "");
    EXPECT_EQ(alone.err, c.err);
  }
}

TEST_F(ResultsTest, SessionVariablesAreSentInEveryMode) {
  struct Case {
    std::function<void()> send;
    std::string command;
  } const cases[] = {
      {[] { QxUserCreateSessionVariable("var", "value", kQx_PersistantSessionVariable); },
       "SESSION_VAR(3:var,1,5:value)"},
      {[] { QxUserCreateSessionVariable("v", "a,b)", kQx_NonPersistantSessionVariable); },
       "SESSION_VAR(1:v,0,4:a,b))"},
      {[] { QxUserDeleteSession_Variable("var"); }, "SESSION_VAR(3:var,0,0:)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    g_qxStandalone = kQx_False;
    g_qxStdOut = kQx_True;
    EXPECT_EQ(Run(c.send).commands, Commands{c.command});
    // Standalone without standard-output mode: the diagnostic line.
    g_qxStandalone = kQx_True;
    g_qxStdOut = kQx_False;
    EXPECT_EQ(Run(c.send).err, "#(Varnost):no std out, no DefaultOutput:" + c.command + "\n");
  }
}

TEST_F(ResultsTest, ModelNoticesGoToTheGivenOrCurrentChannel) {
  qxtest::PipeChannel current;
  qxtest::PipeChannel given;
  QxClSetCurrentChannelIO(nullptr, &current.out);
  struct Case {
    std::function<void()> send;
    bool onGiven;
    const char* frame;
  } const cases[] = {
      {[&] { QxUserChangedModel(&given.out); }, true, "CHANGE_MODEL()"},
      {[] { QxUserChangedModel(nullptr); }, false, "CHANGE_MODEL()"},
      {[] { QxUserLockModel(nullptr, kQx_True); }, false, "LOCK_MODEL()"},
      {[&] { QxUserLockModel(&given.out, kQx_False); }, true, "UNLOCK_MODEL()"},
      {[] { QxUserLockModel(nullptr, 2); }, false, "UNLOCK_MODEL()"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    Run(c.send);
    qxtest::PipeChannel& target = c.onGiven ? given : current;
    qxtest::PipeChannel& other = c.onGiven ? current : given;
    EXPECT_EQ(qxtest::ReadFrame(target.peer_read, 5000).value_or("<none>"), c.frame);
    EXPECT_EQ(qxtest::ReadAvailable(other.peer_read), "");
  }
}

}  // namespace
