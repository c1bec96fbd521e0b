// SPDX-License-Identifier: MIT
// The channel layer over real pipes, socket pairs, FIFOs and a loopback TCP
// socket: request records, trace levels, writes, reads, the wait, and the
// opening and closing of channels.
#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "channel/blocked_call.h"
#include "channel/commip.h"
#include "common/library_state.h"
#include "common/pipe_channel.h"
#include "common/qxtest.h"
#include "quarnel/CListes.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"
#include "quarnel/QXMemory.h"

namespace {

using qxtest::FrameBytes;
using qxtest::PipeChannel;
using qxtest::ReadAvailable;
using qxtest::ReadFrame;

constexpr QxChannelTraceLevel kRoutineAndError =
    kQx_Channel_TraceError | kQx_Channel_TraceRoutineCalls;

// The standard-error line of a trace.
using qxtest::TraceLine;

bool Contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

std::string StdErrOf(const std::function<void()>& body) { return qxtest::CaptureOutput(body).err; }

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

// A read result as the layer stores it in length and actualLength.
size_t Widened(QxSLong result) { return static_cast<size_t>(result); }

// Traces stay on standard error: the tests look at the layer, not at the TR
// commands of its traces.
class ChannelLayerTest : public qxtest::LibraryStateTest {
 protected:
  void SetUp() override {
    LibraryStateTest::SetUp();
    g_qxStandalone = kQx_True;
  }
};

const QxChannelType kTypes[] = {kQx_ChannelFIFO, kQx_ChannelSocket};

const char* TypeName(QxChannelType type) { return type == kQx_ChannelFIFO ? "FIFO" : "socket"; }

// --- Request records -------------------------------------------------------

TEST_F(ChannelLayerTest, NewRequestHoldsTheUnspecifiedValues) {
  PQxChannelIOParams request = QxNewChannelIOParams();
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_EQ(request->pQxChannel, kQx_NotGivenChannel);
  EXPECT_EQ(request->io.rBufferPtr, kQx_NotGivenPtr);
  EXPECT_EQ(request->length, kQx_NotGivenLength);
  EXPECT_EQ(request->qxChannelDir, kQx_ChannelDirNotSpecified);
  EXPECT_EQ(request->qxIOSynch, kQx_IOSyncNotSpecified);
  EXPECT_EQ(request->ioResult, -1);
  EXPECT_EQ(request->actualLength, 0u);
  EXPECT_EQ(request->qxChannelState, kQx_ChannelStateNotSpecified);

  // The defaults also bring a broken request back.
  request->qxChannelState = kQx_ChannelBroken;
  QxSetChannelDefaultIOParams(request);
  EXPECT_EQ(request->qxChannelState, kQx_ChannelStateNotSpecified);
  QxFree(request);
}

TEST_F(ChannelLayerTest, SetIOParamsChangesOnlyWhatIsGiven) {
  QxChannel before{}, other{};
  char oldBuffer[8], readBuffer[8], writeBuffer[8];
  enum Buf { kNotGiven, kNull, kRead, kWrite };
  auto pointer = [&](Buf b) -> void* {
    switch (b) {
      case kNotGiven: return kQx_NotGivenPtr;
      case kNull: return nullptr;
      case kRead: return readBuffer;
      case kWrite: return writeBuffer;
    }
    return nullptr;
  };
  struct Case {
    const char* name;
    PQxChannel channel;
    QxChannelDir dir;
    QxIOSynch sync;
    Buf read, write;
    size_t length;
    QxSLong error;
    const char* trace;  // error trace, or null
    // Expected afterwards:
    PQxChannel wantChannel;
    const void* wantIo;
    size_t wantLength;
    QxChannelDir wantDir;
    QxIOSynch wantSync;
  };
  const Case cases[] = {
      {"nothing given", kQx_NotGivenChannel, kQx_ChannelDirNotSpecified, kQx_IOSyncNotSpecified,
       kNotGiven, kNotGiven, kQx_NotGivenLength, kQx_NoErr, nullptr, &before, oldBuffer, 5,
       kQx_Write, kQx_Async},
      {"channel, direction and mode", &other, kQx_Read, kQx_Sync, kNotGiven, kNotGiven,
       kQx_NotGivenLength, kQx_NoErr, nullptr, &other, oldBuffer, 5, kQx_Read, kQx_Sync},
      {"write pointer wins", kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
       kQx_IOSyncNotSpecified, kRead, kWrite, 7, kQx_NoErr, nullptr, &before, writeBuffer, 7,
       kQx_Write, kQx_Async},
      {"read pointer alone", kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
       kQx_IOSyncNotSpecified, kRead, kNotGiven, 0, kQx_NoErr, nullptr, &before, readBuffer, 0,
       kQx_Write, kQx_Async},
      {"null read pointer is stored", kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
       kQx_IOSyncNotSpecified, kNull, kNotGiven, kQx_NotGivenLength, kQx_NoErr, nullptr, &before,
       nullptr, 5, kQx_Write, kQx_Async},
      {"both buffers null", &other, kQx_Read, kQx_Sync, kNull, kNull, 9, kQx_ParamErr,
       "Qx SetChannelIOParams:buffers Ptr==NULL", &before, oldBuffer, 5, kQx_Write, kQx_Async},
      {"null channel", nullptr, kQx_Read, kQx_Sync, kRead, kNotGiven, 9, kQx_ParamErr,
       "Qx SetChannelIOParams:pQxChannel==NULL", &before, oldBuffer, 5, kQx_Write, kQx_Async},
  };
  SetTraceQuietly(kQx_Channel_TraceError);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QxChannelIOParams request{};
    request.pQxChannel = &before;
    request.io.rBufferPtr = oldBuffer;
    request.length = 5;
    request.qxChannelDir = kQx_Write;
    request.qxIOSynch = kQx_Async;
    request.ioResult = 42;
    request.actualLength = 3;
    request.qxChannelState = kQx_ChannelEmpty;
    std::string err = StdErrOf([&] {
      QxSetChannelIOParams(&request, c.channel, c.dir, c.sync, pointer(c.read), pointer(c.write),
                           c.length);
    });
    EXPECT_EQ(QxErrno(), c.error);
    EXPECT_EQ(err, c.trace ? TraceLine(c.trace) : "");
    EXPECT_EQ(request.pQxChannel, c.wantChannel);
    EXPECT_EQ(request.io.wBufferPtr, c.wantIo);
    EXPECT_EQ(request.length, c.wantLength);
    EXPECT_EQ(request.qxChannelDir, c.wantDir);
    EXPECT_EQ(request.qxIOSynch, c.wantSync);
    EXPECT_EQ(request.ioResult, 42);
    EXPECT_EQ(request.actualLength, 3u);
    EXPECT_EQ(request.qxChannelState, kQx_ChannelEmpty);
  }

  std::string err = StdErrOf([] {
    QxSetChannelIOParams(nullptr, kQx_NotGivenChannel, kQx_Read, kQx_Sync, kQx_NotGivenPtr,
                         kQx_NotGivenPtr, 1);
  });
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
  EXPECT_EQ(err, TraceLine("Qx SetChannelIOParams:pQxChannelIOParam==NULL"));
}

TEST_F(ChannelLayerTest, InitChannelParamPreparesEachType) {
  SetTraceQuietly(kQx_Channel_NoTrace);
  char name[] = "x";

  QxChannelParam fifo;
  std::memset(&fifo, 0x5a, sizeof fifo);
  EXPECT_EQ(StdErrOf([&] { QxInitChannelParam(&fifo, kQx_ChannelFIFO); }), "");
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_EQ(fifo.qxChannelType, kQx_ChannelFIFO);
  EXPECT_EQ(fifo.channel.fifoParam.pChannelIn, nullptr);
  EXPECT_EQ(fifo.channel.fifoParam.pChannelOut, nullptr);
  EXPECT_EQ(fifo.channel.fifoParam.pGateFileName, nullptr);
  EXPECT_EQ(fifo.channel.fifoParam.fdIn, -1);
  EXPECT_EQ(fifo.channel.fifoParam.fdOut, -1);

  QxChannelParam socket{};
  socket.channel.socketParam.pGateFileName = name;
  socket.channel.socketParam.sin_port = 4242;
  socket.channel.socketParam.sockfdInOut = 7;
  QxInitChannelParam(&socket, kQx_ChannelSocket);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_EQ(socket.qxChannelType, kQx_ChannelSocket);
  EXPECT_EQ(socket.channel.socketParam.pGateFileName, nullptr);
  EXPECT_EQ(socket.channel.socketParam.sin_port, 4242);  // the caller's to set
  EXPECT_EQ(socket.channel.socketParam.sockfdInOut, -1);

  // An unknown type is traced whatever the level, and stays stored.
  QxChannelParam unknown{};
  std::string err = StdErrOf([&] { QxInitChannelParam(&unknown, kQx_ChannelUnknown); });
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
  EXPECT_EQ(err, TraceLine("### Qx InitChannelParam:unknown qxChannelType = 1"));
  EXPECT_EQ(unknown.qxChannelType, kQx_ChannelUnknown);

  SetTraceQuietly(kRoutineAndError);
  err = StdErrOf([] { QxInitChannelParam(nullptr, kQx_ChannelSocket); });
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
  EXPECT_EQ(err, TraceLine("Qx InitChannelParam: qxChannelType = kQx_ChannelSocket") +
                     TraceLine("Qx InitChannelParam:pQxChannelParam==NULL"));
}

// --- Trace levels ----------------------------------------------------------

TEST_F(ChannelLayerTest, TraceLevelsSwitchRoutineAndErrorTracesOnly) {
  struct Case {
    const char* name;
    QxChannelTraceLevel level;
    bool routine, error;
  };
  const Case cases[] = {
      {"none", kQx_Channel_NoTrace, false, false},
      {"errors", kQx_Channel_TraceError, false, true},
      {"routine calls", kQx_Channel_TraceRoutineCalls, true, false},
      {"both", kRoutineAndError, true, true},
  };
  const std::string routine = TraceLine("Qx ReadInChanne");
  const std::string error = TraceLine("Qx ReadInChannel:pQxChannelIOParam==NULL");
  const std::string unconditional = TraceLine("Qx OpenChannel:unknown qxChannelUsage = 6");
  QxChannelParam param{};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetTraceQuietly(c.level);
    std::string err = StdErrOf([&] {
      QxReadInChannel(nullptr, kQx_Sync);
      EXPECT_EQ(QxErrno(), kQx_ParamErr);
      EXPECT_EQ(QxOpenChannel(&param, static_cast<QxChannelUsage>(6), nullptr), nullptr);
      EXPECT_EQ(QxErrno(), kQx_ParamErr);
    });
    EXPECT_EQ(Contains(err, routine), c.routine) << err;
    EXPECT_EQ(Contains(err, error), c.error) << err;
    EXPECT_TRUE(Contains(err, unconditional)) << err;
  }
}

TEST_F(ChannelLayerTest, InitTracesErrorsAndSetTraceAnnouncesItselfAtRoutineLevel) {
  QxChannelInit();
  std::string err = StdErrOf([] { QxReadInChannel(nullptr, kQx_Sync); });
  EXPECT_EQ(err, TraceLine("Qx ReadInChannel:pQxChannelIOParam==NULL"));

  EXPECT_EQ(StdErrOf([] { QxSetChannelTrace(kQx_Channel_TraceRoutineCalls); }), "");
  EXPECT_EQ(StdErrOf([] { QxSetChannelTrace(kQx_Channel_NoTrace); }), TraceLine("QxSetChannelTrace"));
}

// --- Writing ---------------------------------------------------------------

TEST_F(ChannelLayerTest, WriteSendsTheMessageUpToLengthOrFirstNul) {
  struct Case {
    const char* name;
    std::string buffer;  // the caller's buffer, exactly this size
    size_t length;
    std::optional<std::string> frame;  // what the peer reads; nullopt: nothing
    bool nullBuffer = false;           // the request's buffer pointer is null
  };
  const Case cases[] = {
      {"plain text", "abc", 3, "abc"},
      {"inner NUL ends the message", std::string("abc\0efghij", 10), 10, "abc"},
      {"length shorter than the text", "abcdef", 2, "ab"},
      {"text fills the buffer, no NUL", std::string(600, 'q'), 600, std::string(600, 'q')},
      {"length 0 sends nothing", "abc", 0, std::nullopt},
      {"empty text sends nothing", std::string(1, '\0'), 1, std::nullopt},
      {"null buffer of length 0 sends nothing", "", 0, std::nullopt, true},
  };
  for (QxChannelType type : kTypes) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(TypeName(type)) + ": " + c.name);
      PipeChannel pc(type);
      // Heap buffer of exactly the caller's size: reading past it is caught.
      std::vector<char> buffer(c.buffer.begin(), c.buffer.end());
      QxSetChannelIOParams(&pc.out, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                           kQx_IOSyncNotSpecified, kQx_NotGivenPtr,
                           c.nullBuffer ? nullptr : buffer.data(), c.length);
      QxWriteInChannel(&pc.out, kQx_Async);
      EXPECT_EQ(QxErrno(), kQx_NoErr);
      EXPECT_EQ(pc.out.actualLength, c.length);
      EXPECT_EQ(pc.out.qxChannelDir, kQx_Write);
      EXPECT_EQ(pc.out.qxIOSynch, kQx_Async);
      EXPECT_EQ(ReadAvailable(pc.peer_read), c.frame ? FrameBytes(*c.frame) : "");
    }
  }
}

TEST_F(ChannelLayerTest, WriteMakesTheFifoBlockingButLeavesASocketAsItIs) {
  for (QxChannelType type : kTypes) {
    SCOPED_TRACE(TypeName(type));
    PipeChannel pc(type);
    QXlectNonBloq(pc.LibraryOut());
    const char text[] = "m";
    QxSetChannelIOParams(&pc.out, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                         kQx_IOSyncNotSpecified, kQx_NotGivenPtr, text, 1);
    QxWriteInChannel(&pc.out, kQx_Sync);
    bool nonBlocking = (fcntl(pc.LibraryOut(), F_GETFL) & O_NONBLOCK) != 0;
    EXPECT_EQ(nonBlocking, type == kQx_ChannelSocket);
    EXPECT_EQ(ReadFrame(pc.peer_read), "m");
  }
}

// Whatever the mode of the descriptor, set outside the library here, a write
// waits for room and sends its whole frame.
TEST_F(ChannelLayerTest, WriteWaitsForRoomOnAFullNonBlockingDescriptor) {
  qxtest::Watchdog watchdog(30);
  for (QxChannelType type : kTypes) {
    SCOPED_TRACE(TypeName(type));
    PipeChannel pc(type);
    const int out = pc.LibraryOut();
    ASSERT_EQ(fcntl(out, F_SETFL, fcntl(out, F_GETFL) | O_NONBLOCK), 0);
    char chunk[4096] = {};
    size_t filled = 0;
    ssize_t n;
    while ((n = write(out, chunk, sizeof chunk)) > 0) filled += static_cast<size_t>(n);
    ASSERT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
    const std::string text(300, 'w');
    // The peer reads once the write waits for room: in the write itself on
    // the FIFO, which the layer made blocking, in poll on the socket.
    static constexpr long kWaitsForRoom[] = {SYS_poll, SYS_ppoll, SYS_writev, SYS_write};
    bool received = false;
    std::thread peer = qxtest::WhenBlocked(kWaitsForRoom, [&] {
      std::string skipped;
      char buffer[4096];
      while (skipped.size() < filled) {
        ssize_t got = read(pc.peer_read, buffer, std::min(sizeof buffer, filled - skipped.size()));
        if (got <= 0) return;
        skipped.append(buffer, static_cast<size_t>(got));
      }
      received = ReadFrame(pc.peer_read) == text;
    });
    QxSetChannelIOParams(&pc.out, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                         kQx_IOSyncNotSpecified, kQx_NotGivenPtr, text.c_str(), text.size());
    QxWriteInChannel(&pc.out, kQx_Sync);
    peer.join();
    EXPECT_EQ(QxErrno(), kQx_NoErr);
    EXPECT_EQ(pc.out.actualLength, text.size());
    EXPECT_TRUE(received);
  }
}

// A reader that is gone: the write reports kQx_BrokenCom and the process lives
// on, in a program on its own main (SIGPIPE at its default action) as in one
// whose SIGPIPE the library's main has made harmless.
TEST_F(ChannelLayerTest, WriteToAVanishedReaderBreaksTheRequestWithoutKillingTheProcess) {
  for (bool libraryMain : {false, true}) {
    for (QxChannelType type : kTypes) {
      SCOPED_TRACE(std::string(TypeName(type)) +
                   (libraryMain ? ", SIGPIPE made harmless" : ", SIGPIPE at its default"));
      qxtest::ChildResult child = qxtest::RunInChild([&] {
        signal(SIGPIPE, SIG_DFL);
        if (libraryMain) QXLSurviveBrokenPipes();
        PipeChannel pc(type);
        pc.ClosePeerRead();
        const char text[] = "lost";
        QxSetChannelIOParams(&pc.out, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                             kQx_IOSyncNotSpecified, kQx_NotGivenPtr, text, 4);
        QxWriteInChannel(&pc.out, kQx_Sync);
        if (QxErrno() != kQx_BrokenCom) return 1;
        return pc.out.qxChannelState == kQx_ChannelBroken ? 0 : 2;
      });
      EXPECT_FALSE(child.signaled) << "signal " << child.signal;
      EXPECT_TRUE(child.exited && child.status == 0) << child.err;
    }
  }
}

TEST_F(ChannelLayerTest, RequestsThatCannotBeServedAreRefused) {
  SetTraceQuietly(kQx_Channel_TraceError);
  char buffer[kQx_MaxMessageLength];
  struct Case {
    const char* name;
    bool write;
    std::function<void(QxChannelIOParams&)> spoil;
    const char* trace;
  };
  const Case cases[] = {
      {"write, buffer not given", true, [](QxChannelIOParams& r) { r.io.rBufferPtr = kQx_NotGivenPtr; },
       "Qx WriteInChannel: Write Channel Buffer Not Specified"},
      {"write, null buffer", true, [](QxChannelIOParams& r) { r.io.rBufferPtr = nullptr; },
       "Qx WriteInChannel: Write Channel Buffer Not Specified"},
      {"write, length not given", true, [](QxChannelIOParams& r) { r.length = kQx_NotGivenLength; },
       "Qx WriteInChannel: Channel Message Length Not Specified"},
      {"write, no channel", true, [](QxChannelIOParams& r) { r.pQxChannel = kQx_NotGivenChannel; },
       "Qx WriteInChannel:pQxChannel not specified"},
      {"write, null channel", true, [](QxChannelIOParams& r) { r.pQxChannel = nullptr; },
       "Qx WriteInChannel:pQxChannel not specified"},
      {"read, buffer not given", false, [](QxChannelIOParams& r) { r.io.rBufferPtr = kQx_NotGivenPtr; },
       "Qx ReadInChannel: Read Channel Buffer Not Specified"},
      {"read, null buffer", false, [](QxChannelIOParams& r) { r.io.rBufferPtr = nullptr; },
       "Qx ReadInChannel: Read Channel Buffer Not Specified"},
      {"read, no channel", false, [](QxChannelIOParams& r) { r.pQxChannel = kQx_NotGivenChannel; },
       "Qx ReadInChannel:pQxChannel not specified"},
      {"read, null channel", false, [](QxChannelIOParams& r) { r.pQxChannel = nullptr; },
       "Qx ReadInChannel:pQxChannel not specified"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PipeChannel pc;
    ASSERT_TRUE(qxtest::WriteAll(pc.peer_write, FrameBytes("waiting")));
    QxChannelIOParams& request = c.write ? pc.out : pc.in;
    request.io.rBufferPtr = buffer;
    request.length = 3;
    request.actualLength = 77;
    c.spoil(request);
    std::string err = StdErrOf([&] {
      if (c.write) {
        QxWriteInChannel(&request, kQx_Sync);
      } else {
        QxReadInChannel(&request, kQx_Sync);
      }
    });
    EXPECT_EQ(QxErrno(), kQx_ParamErr);
    EXPECT_EQ(err, TraceLine(c.trace));
    EXPECT_EQ(request.actualLength, 77u);
    EXPECT_EQ(ReadAvailable(pc.peer_read), "");                      // nothing written
    EXPECT_EQ(ReadAvailable(pc.LibraryIn()), FrameBytes("waiting"));  // nothing read
  }

  std::string err = StdErrOf([] { QxWriteInChannel(nullptr, kQx_Sync); });
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
  EXPECT_EQ(err, TraceLine("Qx WriteInChannel:pQxChannelIOParam==NULL"));
}

TEST_F(ChannelLayerTest, FailedWriteBreaksTheRequestAndRecordsItsDescriptorClosed) {
  SetTraceQuietly(kQx_Channel_TraceError);
  for (QxChannelType type : kTypes) {
    SCOPED_TRACE(TypeName(type));
    PipeChannel pc(type);
    pc.ClosePeerRead();
    const int descriptor = pc.LibraryOut();
    const char text[] = "lost";
    QxSetChannelIOParams(&pc.out, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                         kQx_IOSyncNotSpecified, kQx_NotGivenPtr, text, 4);
    std::string err = StdErrOf([&] { QxWriteInChannel(&pc.out, kQx_Sync); });
    EXPECT_EQ(QxErrno(), kQx_BrokenCom);
    EXPECT_EQ(pc.out.qxChannelState, kQx_ChannelBroken);
    EXPECT_EQ(err, TraceLine(type == kQx_ChannelFIFO ? "Qx WriteInChannel FIFO:  BROKEN COMMUNICATION"
                                                : "Qx WriteInChannel Socket:  BROKEN COMMUNICATION"));
    EXPECT_FALSE(IsOpen(descriptor));
    EXPECT_EQ(pc.LibraryOut(), -1);

    // A broken request is left alone, error code included.
    g_qxErrno = kQx_InUse;
    const size_t actual = pc.out.actualLength;
    EXPECT_EQ(StdErrOf([&] {
                QxWriteInChannel(&pc.out, kQx_Sync);
                QxReadInChannel(&pc.out, kQx_Async);
              }),
              "");
    EXPECT_EQ(QxErrno(), kQx_InUse);
    EXPECT_EQ(pc.out.actualLength, actual);
    EXPECT_EQ(pc.out.qxChannelDir, kQx_Write);
  }
}

TEST_F(ChannelLayerTest, CloseAfterAFailedWriteLeavesTheReusedDescriptorNumberAlone) {
  for (QxChannelType type : kTypes) {
    SCOPED_TRACE(TypeName(type));
    PipeChannel pc(type);
    pc.ClosePeerRead();
    const char text[] = "lost";
    QxSetChannelIOParams(&pc.out, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                         kQx_IOSyncNotSpecified, kQx_NotGivenPtr, text, 4);
    const int descriptor = pc.LibraryOut();
    StdErrOf([&] { QxWriteInChannel(&pc.out, kQx_Sync); });
    ASSERT_EQ(pc.out.qxChannelState, kQx_ChannelBroken);

    // Another file takes the freed number.
    int reused = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (reused != descriptor) {
      int moved = fcntl(reused, F_DUPFD_CLOEXEC, descriptor);
      close(reused);
      reused = moved;
    }
    ASSERT_EQ(reused, descriptor);
    StdErrOf([&] {
      if (type == kQx_ChannelFIFO) {
        QxCloseChannelFIFO(&pc.channel);
        pc.param.channel.fifoParam.fdIn = -1;  // ended by the close
      } else {
        QxCloseChannelSocket(&pc.channel);
      }
    });
    EXPECT_TRUE(IsOpen(reused));
    close(reused);
  }
}

// The layer remembers which descriptors it made blocking, so that a write
// makes no system call for it; it forgets a number when it closes it. A FIFO
// write on a number that the layer closed and that came back non-blocking
// (another file, set up elsewhere) must make it blocking again.
TEST_F(ChannelLayerTest, AReusedDescriptorNumberIsMadeBlockingAgainByTheNextWrite) {
  struct Case {
    const char* name;
    void (*close)(int);
  } cases[] = {
      {"ended with QXcloseLiaison", [](int fd) { QXcloseLiaison(fd); }},
      {"closed with QXacceptCloseLiaison", [](int fd) { QXacceptCloseLiaison(fd); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PipeChannel pc;
    const char text[] = "m";
    QxSetChannelIOParams(&pc.out, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                         kQx_IOSyncNotSpecified, kQx_NotGivenPtr, text, 1);
    QxWriteInChannel(&pc.out, kQx_Sync);  // the layer now knows it blocking
    ASSERT_EQ(ReadFrame(pc.peer_read), "m");
    const int number = pc.LibraryOut();
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC | O_NONBLOCK), 0);
    c.close(number);
    ASSERT_EQ(dup3(p[1], number, O_CLOEXEC), number);  // the same number, non-blocking
    close(p[1]);
    close(pc.peer_read);
    pc.peer_read = p[0];
    QxWriteInChannel(&pc.out, kQx_Sync);
    EXPECT_EQ(QxErrno(), kQx_NoErr);
    EXPECT_EQ(fcntl(number, F_GETFL) & O_NONBLOCK, 0) << "the write left the number non-blocking";
    EXPECT_EQ(ReadFrame(pc.peer_read), "m");
  }
}

// --- Reading ---------------------------------------------------------------

TEST_F(ChannelLayerTest, ReadStoresTheResultInLengthAndActualLength) {
  using enum qxtest::PeerAction;
  struct Case {
    const char* name;
    qxtest::PeerAction peer;
    QxIOSynch mode;
    QxSLong result;
    std::string text;
  };
  const Case cases[] = {
      {"sync, a message", kFrame, kQx_Sync, 5, "hello"},
      {"async, a message", kFrame, kQx_Async, 5, "hello"},
      {"async, nothing waiting", kNothing, kQx_Async, 0, ""},
      {"sync, writer gone", kClose, kQx_Sync, -1, ""},
      {"async, writer gone", kClose, kQx_Async, -1, ""},
      {"sync, end-of-link marker", kMarker, kQx_Sync, -2, ""},
      {"no mode, no I/O", kFrame, kQx_IOSyncNotSpecified, 0, ""},
  };
  for (QxChannelType type : kTypes) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(TypeName(type)) + ": " + c.name);
      qxtest::Watchdog watchdog(20);
      PipeChannel pc(type);
      ASSERT_TRUE(pc.Peer(c.peer, "hello"));
      std::vector<char> buffer(kQx_MaxMessageLength, 'z');
      QxSetChannelIOParams(&pc.in, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                           kQx_IOSyncNotSpecified, buffer.data(), kQx_NotGivenPtr,
                           kQx_NotGivenLength);
      QxReadInChannel(&pc.in, c.mode);
      EXPECT_EQ(QxErrno(), kQx_NoErr);
      EXPECT_EQ(pc.in.length, Widened(c.result));
      EXPECT_EQ(pc.in.actualLength, Widened(c.result));
      EXPECT_EQ(pc.in.qxChannelDir, kQx_Read);
      EXPECT_EQ(pc.in.qxIOSynch, c.mode);
      EXPECT_EQ(pc.in.qxChannelState, kQx_ChannelStateNotSpecified);
      EXPECT_EQ(std::string(buffer.data(), c.text.size()), c.text);
      EXPECT_EQ(buffer[c.text.size()], 'z');  // not NUL-terminated
      EXPECT_EQ(fcntl(pc.LibraryIn(), F_GETFL) & O_NONBLOCK, 0);
      if (c.mode == kQx_IOSyncNotSpecified) {
        EXPECT_EQ(ReadAvailable(pc.LibraryIn()), FrameBytes("hello"));
      }
    }
  }
}

// --- Waiting ---------------------------------------------------------------

class ChannelWaitTest : public ChannelLayerTest {
 protected:
  void SetUp() override {
    ChannelLayerTest::SetUp();
    list_ = CreerListe();
  }
  void TearDown() override {
    ViderListe(list_);
    DetruireListe(list_);
    ChannelLayerTest::TearDown();
  }
  CListe list_ = nullptr;
};

TEST_F(ChannelWaitTest, ReadyAndEmptyRequestsAreMarked) {
  qxtest::Watchdog watchdog(20);
  PipeChannel ready, idle;
  ASSERT_TRUE(qxtest::WriteAll(ready.peer_write, FrameBytes("go")));
  AjoutFinListe(list_, &ready.in);
  AjoutFinListe(list_, &idle.in);
  AjoutFinListe(list_, &idle.out);  // an empty pipe is writable
  QxWaitForChannelMessages(list_, 0, -1);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_EQ(ready.in.qxChannelState, kQx_ChannelIOCharsAvailable);
  EXPECT_EQ(idle.in.qxChannelState, kQx_ChannelEmpty);
  EXPECT_EQ(idle.out.qxChannelState, kQx_ChannelIOCharsAvailable);
}

TEST_F(ChannelWaitTest, TimeOutKeepsTheStates) {
  PipeChannel idle;
  idle.in.qxChannelState = kQx_ChannelIOCharsAvailable;
  AjoutFinListe(list_, &idle.in);
  std::string err = StdErrOf([&] { QxWaitForChannelMessages(list_, 0, 0); });
  EXPECT_EQ(QxErrno(), kQx_TimeOut);
  EXPECT_TRUE(Contains(err, "QxL WaitForChannelMessages:probleme de select: timeout atteint"));
  EXPECT_EQ(idle.in.qxChannelState, kQx_ChannelIOCharsAvailable);
}

TEST_F(ChannelWaitTest, RequestNamingNoChannelIsRefusedBeforeWaiting) {
  SetTraceQuietly(kQx_Channel_TraceError);
  PipeChannel ready;
  ASSERT_TRUE(qxtest::WriteAll(ready.peer_write, FrameBytes("go")));
  QxChannelIOParams loose{};
  QxSetChannelDefaultIOParams(&loose);
  loose.qxChannelDir = kQx_Read;
  AjoutFinListe(list_, &ready.in);
  AjoutFinListe(list_, &loose);
  std::string err = StdErrOf([&] { QxWaitForChannelMessages(list_, 0, -1); });
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
  EXPECT_EQ(err, TraceLine("Qx WaitForChannelMessages:pQxChannel not specified"));
  EXPECT_EQ(ready.in.qxChannelState, kQx_ChannelStateNotSpecified);

  // Without a direction or once broken, such a request is not watched at all.
  loose.qxChannelDir = kQx_ChannelDirNotSpecified;
  QxWaitForChannelMessages(list_, 0, 0);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_EQ(ready.in.qxChannelState, kQx_ChannelIOCharsAvailable);
  EXPECT_EQ(loose.qxChannelState, kQx_ChannelStateNotSpecified);

  err = StdErrOf([] { QxWaitForChannelMessages(nullptr, 0, 0); });
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
  EXPECT_EQ(err, TraceLine("Qx WaitForChannelMessages:channelIOParamList==NULL"));
}

// A failed write releases the descriptor of its channel: the socket of a
// socket channel (its read request then has none), the output FIFO of a FIFO
// channel (another write request then has none). Waiting on such a request
// fails at once, as on a closed descriptor, instead of waiting on the others
// (for ever without a time-out); so does a list left with nothing to watch.
TEST_F(ChannelWaitTest, RequestWhoseDescriptorAFailedWriteReleasedFailsTheWaitAtOnce) {
  SetTraceQuietly(kQx_Channel_TraceError);
  for (QxChannelType type : kTypes) {
    SCOPED_TRACE(TypeName(type));
    ViderListe(list_);
    PipeChannel pc(type);
    pc.ClosePeerRead();
    QxChannelIOParams otherWriter{};
    QxSetChannelDefaultIOParams(&otherWriter);
    QxSetChannelIOParams(&otherWriter, &pc.channel, kQx_Write, kQx_Sync, kQx_NotGivenPtr,
                         kQx_NotGivenPtr, kQx_NotGivenLength);
    const char text[] = "lost";
    QxSetChannelIOParams(&pc.out, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                         kQx_IOSyncNotSpecified, kQx_NotGivenPtr, text, 4);
    StdErrOf([&] { QxWriteInChannel(&pc.out, kQx_Sync); });
    ASSERT_EQ(pc.out.qxChannelState, kQx_ChannelBroken);
    ASSERT_EQ(pc.LibraryOut(), -1);

    QxChannelIOParams& released = type == kQx_ChannelSocket ? pc.in : otherWriter;
    // The broken request alone leaves nothing to watch: the wait fails the
    // same way instead of waiting on nothing.
    for (bool onlyBroken : {false, true}) {
      SCOPED_TRACE(onlyBroken ? "only the broken request" : "with a released request");
      ViderListe(list_);
      released.qxChannelState = kQx_ChannelEmpty;
      AjoutFinListe(list_, &pc.out);  // broken: not watched
      if (!onlyBroken) AjoutFinListe(list_, &released);
      std::string err = StdErrOf([&] { QxWaitForChannelMessages(list_, 0, 0); });
      EXPECT_EQ(QxErrno(), kQx_InternalErr);
      EXPECT_EQ(err, TraceLine("QxL WaitForChannelMessages:probleme de select"));
      EXPECT_EQ(released.qxChannelState, kQx_ChannelEmpty);
      EXPECT_EQ(pc.out.qxChannelState, kQx_ChannelBroken);

      qxtest::ChildResult unbounded = qxtest::RunInChild(
          [&] {
            QxWaitForChannelMessages(list_, 0, -1);
            return QxErrno() == kQx_InternalErr ? 0 : 1;
          },
          5000);
      EXPECT_FALSE(unbounded.timed_out) << "the wait without time-out did not return";
      EXPECT_TRUE(unbounded.exited && unbounded.status == 0) << unbounded.err;
    }
  }
}

// --- Opening and closing ---------------------------------------------------

TEST_F(ChannelLayerTest, OpenRefusals) {
  SetTraceQuietly(kQx_Channel_TraceError);
  qxtest::TempDir dir;
  std::string missing = dir.File("no-gate");
  struct Case {
    const char* name;
    bool nullParam;
    QxChannelType type;
    int usage;
    const char* path;
    QxSLong error;
    const char* trace;  // the last trace line
  };
  const Case cases[] = {
      {"null record", true, kQx_ChannelFIFO, kQx_ServerConsumer, nullptr, kQx_ParamErr,
       "Qx OpenChannel:pQxChannelParam==NULL"},
      {"usage 1", false, kQx_ChannelFIFO, 1, nullptr, kQx_ParamErr,
       "Qx OpenChannel:unknown qxChannelUsage = 1"},
      {"usage 6", false, kQx_ChannelSocket, 6, nullptr, kQx_ParamErr,
       "Qx OpenChannel:unknown qxChannelUsage = 6"},
      {"unknown type", false, kQx_ChannelUnknown, kQx_ServerConsumer, nullptr, kQx_ParamErr,
       "Qx OpenChannel:unknown qxChannelType = 1"},
      {"no gate file path", false, kQx_ChannelFIFO, kQx_ClientConsumer, nullptr, kQx_ParamErr,
       "Qx OpenChannel:path==NULL"},
      {"FIFO server consumer without paths", false, kQx_ChannelFIFO, kQx_ServerConsumer, nullptr,
       kQx_ParamErr, "Qx OpenChannel:pChannelIn==NULL"},
      {"FIFO gate file missing", false, kQx_ChannelFIFO, kQx_ClientConsumer, missing.c_str(),
       kQx_AccessError, "OpenChannelFifo kQx_ClientConsumer !=0"},
      {"socket gate file missing", false, kQx_ChannelSocket, kQx_ClientConsumer, missing.c_str(),
       kQx_AccessError, "OpenChannelSocket kQx_ClientConsumer !=0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QxChannelParam param{};
    if (c.type == kQx_ChannelUnknown) {
      param.qxChannelType = kQx_ChannelUnknown;
    } else {
      QxInitChannelParam(&param, c.type);
    }
    std::vector<char> path;
    if (c.path) path.assign(c.path, c.path + std::strlen(c.path) + 1);
    PQxChannel channel = kQx_NotGivenChannel;
    std::string err = StdErrOf([&] {
      channel = QxOpenChannel(c.nullParam ? nullptr : &param, static_cast<QxChannelUsage>(c.usage),
                              c.path ? path.data() : nullptr);
    });
    EXPECT_EQ(channel, nullptr);
    EXPECT_EQ(QxErrno(), c.error);
    const std::string last = TraceLine(c.trace);
    EXPECT_GE(err.size(), last.size());
    EXPECT_EQ(err.substr(err.size() - std::min(err.size(), last.size())), last) << err;
  }
}

TEST_F(ChannelLayerTest, CloseRefusesANullChannel) {
  SetTraceQuietly(kQx_Channel_TraceError);
  std::string err = StdErrOf([] { QxCloseChannel(nullptr); });
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
  EXPECT_EQ(err, TraceLine("Qx CloseChannel:pQxChannel==NULL"));
}

// Sends text on the channel's write side.
void Send(PQxChannel channel, const char* text) {
  QxChannelIOParams request;
  QxSetChannelDefaultIOParams(&request);
  QxSetChannelIOParams(&request, channel, kQx_Write, kQx_Sync, kQx_NotGivenPtr, text,
                       std::strlen(text));
  QxWriteInChannel(&request, kQx_Sync);
}

// Reads one message from the channel; the read's result when it failed.
std::string Receive(PQxChannel channel) {
  std::vector<char> buffer(kQx_MaxMessageLength);
  QxChannelIOParams request;
  QxSetChannelDefaultIOParams(&request);
  QxSetChannelIOParams(&request, channel, kQx_Read, kQx_Sync, buffer.data(), kQx_NotGivenPtr,
                       kQx_NotGivenLength);
  QxReadInChannel(&request, kQx_Sync);
  auto n = static_cast<QxSLong>(request.actualLength);
  if (n < 0) return "result " + std::to_string(n);
  return std::string(buffer.data(), static_cast<size_t>(n));
}

TEST_F(ChannelLayerTest, FifoServerProviderAndClientConsumerTalkThroughTheGateFile) {
  qxtest::Watchdog watchdog(30);
  qxtest::TempDir dir;
  const std::string gate = dir.File("gate");
  std::string in = dir.File("provider.in"), out = dir.File("provider.out");

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(20);
    while (!qxtest::FileExists(gate)) usleep(1000);
    QxChannelParam param;
    QxInitChannelParam(&param, kQx_ChannelFIFO);
    std::vector<char> path(gate.begin(), gate.end());
    path.push_back('\0');
    PQxChannel channel = QxOpenChannel(&param, kQx_ClientConsumer, path.data());
    if (channel == nullptr) _exit(2);
    bool ok = Receive(channel) == "ping";
    Send(channel, "pong");
    QxCloseChannel(channel);
    _exit(ok ? 0 : 3);
  }

  QxChannelParam param;
  QxInitChannelParam(&param, kQx_ChannelFIFO);
  param.channel.fifoParam.pChannelIn = in.data();
  param.channel.fifoParam.pChannelOut = out.data();
  std::vector<char> path(gate.begin(), gate.end());
  path.push_back('\0');
  PQxChannel channel = QxOpenChannel(&param, kQx_ServerProvider, path.data());
  ASSERT_NE(channel, nullptr);
  EXPECT_STREQ(param.channel.fifoParam.pGateFileName, gate.c_str());
  EXPECT_NE(param.channel.fifoParam.pGateFileName, path.data());  // a copy
  Send(channel, "ping");
  EXPECT_EQ(Receive(channel), "pong");
  QxCloseChannel(channel);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  qxtest::ChildResult child = qxtest::WaitChild(pid, 20000);
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 0);
  EXPECT_FALSE(qxtest::FileExists(gate));  // the gate file goes,
  EXPECT_TRUE(qxtest::FileExists(in));     // the FIFOs stay
  EXPECT_TRUE(qxtest::FileExists(out));
  QxFree(param.channel.fifoParam.pGateFileName);  // the layer keeps it for the process
}

TEST_F(ChannelLayerTest, FifoServerConsumerJoinsGivenFifosAndEndsTheLinkAtClose) {
  qxtest::Watchdog watchdog(30);
  qxtest::TempDir dir;
  std::string in = dir.File("in"), out = dir.File("out");
  ASSERT_EQ(mkfifo(in.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);

  // The peer opens in the order that pairs with the consumer's: the FIFO the
  // consumer writes first.
  std::optional<std::string> first, second;
  std::thread peer([&] {
    int fromConsumer = open(out.c_str(), O_RDONLY | O_CLOEXEC);
    int toConsumer = open(in.c_str(), O_WRONLY | O_CLOEXEC);
    qxtest::WriteAll(toConsumer, FrameBytes("hello consumer"));
    first = ReadFrame(fromConsumer, 10000);
    second = ReadFrame(fromConsumer, 10000);
    close(toConsumer);
    close(fromConsumer);
  });
  QxChannelParam param;
  QxInitChannelParam(&param, kQx_ChannelFIFO);
  param.channel.fifoParam.pChannelIn = in.data();
  param.channel.fifoParam.pChannelOut = out.data();
  PQxChannel channel = QxOpenChannel(&param, kQx_ServerConsumer, nullptr);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(Receive(channel), "hello consumer");
  Send(channel, "hello peer");
  QxCloseChannel(channel);
  peer.join();
  EXPECT_EQ(first, "hello peer");
  EXPECT_EQ(second, "");  // the end-of-link marker
}

TEST_F(ChannelLayerTest, SocketServerConsumerConnectsToTheGivenPort) {
  if (!qxtest::LocalHostNameResolves()) GTEST_SKIP() << "this host's name does not resolve";
  qxtest::Watchdog watchdog(30);
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  socklen_t size = sizeof address;
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);

  QxChannelParam param;
  QxInitChannelParam(&param, kQx_ChannelSocket);
  param.channel.socketParam.sin_port = ntohs(address.sin_port);
  PQxChannel channel = QxOpenChannel(&param, kQx_ServerConsumer, nullptr);
  ASSERT_NE(channel, nullptr);
  ASSERT_GE(param.channel.socketParam.sockfdInOut, 0);
  int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(qxtest::WriteAll(peer, FrameBytes("over tcp")));
  EXPECT_EQ(Receive(channel), "over tcp");
  Send(channel, "back");
  EXPECT_EQ(ReadFrame(peer), "back");
  QxCloseChannel(channel);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_EQ(ReadFrame(peer), "");  // the end-of-link marker
  close(peer);
  close(listener);
}

}  // namespace
