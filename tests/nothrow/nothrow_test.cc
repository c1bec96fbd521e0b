// SPDX-License-Identifier: MIT
// No exception crosses the C seam: with every allocation of the C++ runtime
// failing, the public operations that compose text on the heap report
// kQx_MemFullErr (and trace it) instead of letting std::bad_alloc out, and the
// KORA senders, which compose without the heap, still send their commands.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "common/library_state.h"
#include "common/qxtest.h"
#include "model/model_internal.h"
#include "quarnel/Quarnel.h"

namespace {

// While positive, every operator new of the program fails.
int g_failingNew = 0;

// Makes the C++ runtime's allocations fail for the scope.
class OutOfMemory {
 public:
  OutOfMemory() { ++g_failingNew; }
  ~OutOfMemory() { --g_failingNew; }
  OutOfMemory(const OutOfMemory&) = delete;
  OutOfMemory& operator=(const OutOfMemory&) = delete;
};

}  // namespace

void* operator new(std::size_t size) {
  if (g_failingNew > 0) throw std::bad_alloc();
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace {

// Longer than any string kept inside its own object, so composing it needs
// the heap.
const std::string kLong(120, 'm');

struct ExhaustionCase {
  const char* what;
  // Makes the call while memory is exhausted; returns the operation's result
  // where it has one (0 otherwise).
  std::function<int()> call;
  int result;
  QxSLong err;
  std::string out;       // what reaches standard output (the host, in this mode)
  std::string err_line;  // standard-error line expected ("" for none)
};

class NoThrowTest : public qxtest::LibraryStateTest {
 protected:
  void SetUp() override {
    LibraryStateTest::SetUp();
    g_qxStdOut = kQx_True;            // commands are lines of standard output
    g_qxStartedByQuarnel = kQx_True;  // waiting messages are sent
  }
};

std::string Tr(const std::string& text) {
  return "TR(" + std::to_string(text.size()) + ":" + text + ")\n";
}

TEST_F(NoThrowTest, ExhaustionIsReportedAndComposedCommandsStillLeave) {
  qxtest::TempDir dir;
  const std::string longText = "RT(120:" + kLong + ")\n";
  // A server provider's gate file, written after its FIFOs are made.
  std::string gate = dir.File("gate");
  std::string fifoIn = dir.File("in"), fifoOut = dir.File("out");
  QxChannelParam gateParam;
  QxInitChannelParam(&gateParam, kQx_ChannelFIFO);
  gateParam.channel.fifoParam.pChannelIn = fifoIn.data();
  gateParam.channel.fifoParam.pChannelOut = fifoOut.data();

  const ExhaustionCase cases[] = {
      {"progress step with a long message",
       [] {
         QxUserStep(kLong.c_str(), kQx_MainStepLevel, 10, 3);
         return 0;
       },
       0, kQx_MemFullErr, Tr("Qx UserStep:memory exhausted"), "Qx UserStep:memory exhausted"},
      {"result message on a label",
       [] {
         QxResultSendMessage("text", 5, kLong.c_str(), 1, 2);
         return 0;
       },
       0, kQx_MemFullErr, Tr("Qx ResultSendMessage:memory exhausted"),
       "Qx ResultSendMessage:memory exhausted"},
      {"one-message result: nothing of it is sent",
       [] {
         QxResultSendOneMessage(kQx_ResultError, "text", 5, kLong.c_str(), 1, 2);
         return 0;
       },
       0, kQx_MemFullErr, Tr("Qx ResultSendOneMessage:memory exhausted"),
       "Qx ResultSendOneMessage:memory exhausted"},
      {"gate file of a server provider",
       [&] { return QxOpenChannel(&gateParam, kQx_ServerProvider, gate.data()) == nullptr; },
       1, kQx_MemFullErr,
       Tr("Qx ecritureFIFO:memory exhausted") + Tr("OpenChannelFifo kQx_ServerProvider != 0"),
       "Qx ecritureFIFO:memory exhausted"},
      {"shell launcher with a long argument",
       [] {
         return QXExecutionAsynchroneBySystem(const_cast<char*>("/bin/true"),
                                              const_cast<char*>(kLong.c_str()), nullptr);
       },
       -1, kQx_MemFullErr, Tr("Qx ExecutionAsynchroneBySystem:memory exhausted"),
       "Qx ExecutionAsynchroneBySystem:memory exhausted"},
      {"legacy text response: composed without the heap",
       [] {
         QxOldEnvoiReponseTexte(kLong.c_str());
         return 0;
       },
       0, kQx_NoErr, longText, ""},
      {"session variable and trace: composed without the heap",
       [] {
         QxUserCreateSessionVariable("v", "1", kQx_PersistantSessionVariable);
         QxTrace("still here");
         return 0;
       },
       0, kQx_NoErr, "SESSION_VAR(1:v,1,1:1)\n" + Tr("still here"), "still here"},
  };

  for (const ExhaustionCase& c : cases) {
    SCOPED_TRACE(c.what);
    g_qxErrno = kQx_NoErr;
    int result = 0;
    bool threw = false;
    const qxtest::Output output = qxtest::CaptureOutput([&] {
      OutOfMemory exhausted;
      try {
        result = c.call();
      } catch (...) {
        threw = true;
      }
    });
    EXPECT_FALSE(threw);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(g_qxErrno, c.err);
    EXPECT_EQ(output.out, c.out);
    if (c.err_line.empty()) {
      EXPECT_EQ(output.err, "");
    } else {
      EXPECT_NE(output.err.find(c.err_line), std::string::npos) << output.err;
    }
  }
  // The failed open left nothing it made on disk. The gate file name is the
  // provider's copy for its close, kept for the process: freed here.
  EXPECT_EQ(qxtest::ListDir(dir.path()), std::vector<std::string>{});
  QxFree(gateParam.channel.fifoParam.pGateFileName);
}

// The object table's reader sets no error code: out of memory, it keeps the
// previous table and the new file, and traces why.
TEST_F(NoThrowTest, ObjectTableKeepsThePreviousOneWhenMemoryRunsOut) {
  qxtest::TempDir dir;
  const std::string previous = dir.File("previous");
  const std::string table = dir.File("objects");
  qxtest::WriteFile(previous, "1 3 7\n");
  qxtest::WriteFile(table, "2 1 5 1 6\n");
  qxtest::CaptureOutput([&] { Create_SDD_Obj_File(previous.c_str()); });
  ASSERT_EQ(GetObjectsNbr(), 1);

  g_qxErrno = kQx_InUse;
  const qxtest::Output output = qxtest::CaptureOutput([&] {
    OutOfMemory exhausted;
    Create_SDD_Obj_File(table.c_str());
  });
  const std::string notice = "Qx Create_SDD_Obj_File:memory exhausted";
  EXPECT_EQ(output.out, Tr(notice));
  EXPECT_NE(output.err.find(notice), std::string::npos) << output.err;
  EXPECT_EQ(g_qxErrno, kQx_InUse);
  EXPECT_TRUE(qxtest::FileExists(table));
  ASSERT_EQ(GetObjectsNbr(), 1);
  int page = 0;
  QxObjectID number = 0;
  GetObjectInfo(0, &page, &number);
  EXPECT_EQ(page, 3);
  EXPECT_EQ(number, 7u);
}

}  // namespace
