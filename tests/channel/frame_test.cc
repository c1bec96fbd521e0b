// SPDX-License-Identifier: MIT
// Framed descriptor I/O over real FIFOs and real loopback TCP sockets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "channel/blocked_call.h"
#include "channel/commip.h"
#include "channel/frame_link.h"
#include "common/qxtest.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXLink.h"

namespace {

using qxtest::Frame;
using qxtest::Link;
using qxtest::Transport;

// A read buffer of the documented capacity followed by a guard zone that no
// read may touch.
struct GuardedBuffer {
  static constexpr size_t kGuard = 64;
  std::vector<char> bytes = std::vector<char>(kQx_MaxMessageLength + kGuard, 'X');
  char* data() { return bytes.data(); }
  std::string Text(int n) const { return std::string(bytes.data(), static_cast<size_t>(n)); }
  bool GuardIntact() const {
    for (size_t i = kQx_MaxMessageLength; i < bytes.size(); ++i) {
      if (bytes[i] != 'X') return false;
    }
    return true;
  }
};

class FrameIo : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override { qxtest::Open(GetParam(), dir_, &link_); }

  qxtest::TempDir dir_;
  Link link_;
  GuardedBuffer buf_;
  qxtest::Watchdog watchdog_{30};
};

TEST_P(FrameIo, AbcIsElevenBytesOnTheWireAndEmptyIsNothing) {
  EXPECT_EQ(QX_Write_Sync(link_.w, ""), 0);
  EXPECT_FALSE(qxtest::Readable(link_.r));
  EXPECT_EQ(QX_Write_Sync(link_.w, "abc"), 3);
  EXPECT_EQ(qxtest::Take(link_.r, 64, 200), Frame("abc"));
}

TEST_P(FrameIo, ReadsWholeMessagesWithoutAddingANul) {
  std::string longest(kQx_MaxMessageLength, 'm');
  ASSERT_EQ(QX_Write_Sync(link_.w, "hello"), 5);
  ASSERT_TRUE(qxtest::Put(link_.w, Frame("", 0)));  // end-of-link marker
  ASSERT_EQ(QX_Write_Sync(link_.w, "x"), 1);

  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), 5);
  EXPECT_EQ(buf_.Text(6), "helloX");
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), -2);
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), 1);  // the marker consumed nothing more
  EXPECT_EQ(buf_.Text(2), "xe");

  // The longest accepted message fills the buffer exactly (written by a child:
  // it exceeds a FIFO's capacity).
  pid_t writer = qxtest::StartChild([&] { return QX_Write_Sync(link_.w, longest.c_str()) > 0 ? 0 : 1; });
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), kQx_MaxMessageLength);
  EXPECT_EQ(buf_.Text(kQx_MaxMessageLength), longest);
  EXPECT_TRUE(buf_.GuardIntact());
  EXPECT_EQ(qxtest::WaitChild(writer, 5000).status, 0);
}

TEST_P(FrameIo, EndOfFileAndAPeerClosingMidFrameAreFailures) {
  struct Case {
    const char* name;
    std::string bytes;
    bool async;
  };
  const Case cases[] = {
      {"nothing", "", false},
      {"inside the length word", Frame("abc").substr(0, 5), false},
      {"inside the text", Frame("abcdef").substr(0, 10), false},
      {"inside the text, async", Frame("abcdef").substr(0, 10), true},
  };
  for (const Case& c : cases) {
    Link link;
    qxtest::TempDir dir;
    qxtest::Open(GetParam(), dir, &link);
    ASSERT_TRUE(qxtest::Put(link.w, c.bytes));
    link.CloseWriter();
    int r = c.async ? QX_Read_Async(link.r, buf_.data()) : QX_Read_Sync(link.r, buf_.data());
    EXPECT_EQ(r, -1) << c.name;
  }
}

TEST_P(FrameIo, AsyncWithNothingWaitingConsumesNothingAndLeavesBlocking) {
  for (bool startNonBlocking : {false, true}) {
    if (startNonBlocking) QXlectNonBloq(link_.r);
    EXPECT_EQ(QX_Read_Async(link_.r, buf_.data()), 0);
    EXPECT_FALSE(qxtest::IsNonBlocking(link_.r));
  }
  ASSERT_EQ(QX_Write_Sync(link_.w, "later"), 5);
  EXPECT_EQ(qxtest::Take(link_.r, 64, 200), Frame("later"));
}

TEST_P(FrameIo, AsyncWaitsForTheRestOfAFrameThatHasBegun) {
  const std::string frame = Frame("split message");
  for (size_t cut : {size_t{3}, size_t{8}, size_t{11}}) {
    ASSERT_TRUE(qxtest::Put(link_.w, frame.substr(0, cut)));
    // The rest comes once the read waits for it.
    std::thread late = qxtest::WhenBlocked(qxtest::kPollCalls,
                                           [&] { qxtest::Put(link_.w, frame.substr(cut)); });
    EXPECT_EQ(QX_Read_Async(link_.r, buf_.data()), 13) << "cut at " << cut;
    late.join();
    EXPECT_EQ(buf_.Text(13), "split message");
    EXPECT_FALSE(qxtest::IsNonBlocking(link_.r));
  }
}

TEST_P(FrameIo, OverLongAndCorruptLengthsNeverWritePastTheBuffer) {
  // An over-long frame is consumed whole and reported -1; the next frame is
  // read intact.
  std::string big(kQx_MaxMessageLength + 1, 'b');
  pid_t writer = qxtest::StartChild([&] {
    return QX_Write_Sync(link_.w, big.c_str()) > 0 && QX_Write_Sync(link_.w, "next") == 4 ? 0 : 1;
  });
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), -1);
  EXPECT_TRUE(buf_.GuardIntact());
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), 4);
  EXPECT_EQ(buf_.Text(4), "next");
  EXPECT_EQ(qxtest::WaitChild(writer, 5000).status, 0);

  // Negative and absurd length words fail at once, without reading on.
  for (int64_t length : {int64_t{-1}, int64_t{-3}, INT64_MIN, int64_t{1} << 40}) {
    ASSERT_TRUE(qxtest::Put(link_.w, Frame("tail", length)));
    EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), -1) << length;
    EXPECT_TRUE(buf_.GuardIntact());
    EXPECT_EQ(qxtest::Take(link_.r, 4, 200), "tail");
  }
}

TEST_P(FrameIo, WriteToAGoneReaderFailsWithoutKillingTheProcess) {
  link_.CloseReader();
  // Written from a child with SIGPIPE at its default action: a raised SIGPIPE
  // would end it.
  auto result = qxtest::RunInChild([&] {
    signal(SIGPIPE, SIG_DFL);
    int r = 0;
    // A socket may accept a write or two before it learns that the peer is
    // gone; the failure is then EPIPE or the reset it received.
    for (int i = 0; i < 50 && r >= 0; ++i) {
      r = QX_Write_Sync(link_.w, "anyone there?");
      if (r >= 0) qxtest::SleepMs(10);
    }
    if (r != -1 || (errno != EPIPE && errno != ECONNRESET)) return 2;
    sigset_t pending;
    sigpending(&pending);
    return sigismember(&pending, SIGPIPE) ? 3 : 0;
  });
  EXPECT_FALSE(result.signaled) << "signal " << result.signal;
  EXPECT_EQ(result.status, 0);
}

TEST_P(FrameIo, CloseLiaisonOnTheWritingEndSendsTheMarker) {
  QXcloseLiaison(link_.w);
  EXPECT_EQ(fcntl(link_.w, F_GETFD), -1);  // closed
  link_.w = -1;
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), -2);
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), -1);
}

TEST_P(FrameIo, CloseLiaisonOnTheReadingEndDiscardsWhatWaits) {
  // Waiting: one whole frame, then the beginning of a frame longer than any
  // read buffer, whose rest comes once the drain waits for it. The drain
  // discards both.
  const std::string big = Frame(std::string(kQx_MaxMessageLength * 2, 'd'));
  const size_t head = 40000;
  ASSERT_TRUE(qxtest::Put(link_.w, Frame("one") + big.substr(0, head)));
  bool restSent = false;
  std::thread rest = qxtest::WhenBlocked(
      qxtest::kPollCalls, [&] { restSent = qxtest::Put(link_.w, big.substr(head)); });
  QXcloseLiaison(link_.r);
  link_.r = -1;
  rest.join();
  ASSERT_TRUE(restSent);
  if (GetParam() == Transport::kFifo) {
    // Nothing was sent back on a FIFO's input, and nobody reads any more.
    auto result = qxtest::RunInChild([&] {
      signal(SIGPIPE, SIG_DFL);
      return QX_Write_Sync(link_.w, "gone") == -1 ? 0 : 1;
    });
    EXPECT_EQ(result.status, 0);
  } else {
    // The socket's end sent its marker before closing.
    EXPECT_EQ(QX_Read_Sync(link_.w, buf_.data()), -2);
    EXPECT_EQ(QX_Read_Sync(link_.w, buf_.data()), -1);
  }
}

TEST_P(FrameIo, AcceptCloseLiaisonOnlyCloses) {
  QXacceptCloseLiaison(link_.w);
  link_.w = -1;
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), -1);  // end of file, no marker
}

TEST_P(FrameIo, ModeSwitchesTouchOnlyTheNonBlockingFlag) {
  int before = fcntl(link_.r, F_GETFL);
  QXlectNonBloq(link_.r);
  EXPECT_EQ(fcntl(link_.r, F_GETFL), before | O_NONBLOCK);
  QXlectBloq(link_.r);
  EXPECT_EQ(fcntl(link_.r, F_GETFL), before & ~O_NONBLOCK);
}

TEST_P(FrameIo, ShortWritesOnANonBlockingWriterAreCompleted) {
  // The frame is larger than the pipe or socket buffer: the non-blocking
  // writer sees partial writes and EAGAIN, and must still deliver it whole.
  std::string big(kQx_MaxMessageLength, 's');
  int sndbuf = 4096;
  setsockopt(link_.w, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);  // fails harmlessly on a FIFO
  setsockopt(link_.r, SOL_SOCKET, SO_RCVBUF, &sndbuf, sizeof sndbuf);
  // The reader starts once the writer waits for room.
  std::vector<char> in(kQx_MaxMessageLength);
  int n = 0;
  std::thread reader = qxtest::WhenBlocked(qxtest::kPollCalls,
                                           [&] { n = QX_Read_Sync(link_.r, in.data()); });
  QXlectNonBloq(link_.w);
  EXPECT_EQ(QX_Write_Sync(link_.w, big.c_str()), kQx_MaxMessageLength);
  reader.join();
  EXPECT_EQ(n, kQx_MaxMessageLength);
  EXPECT_EQ(std::string(in.data(), in.size()), big);
}

INSTANTIATE_TEST_SUITE_P(Transports, FrameIo,
                         ::testing::Values(Transport::kFifo, Transport::kTcp),
                         [](const auto& info) { return qxtest::TransportName(info.param); });

TEST(FrameIoFifo, FramesUpToPipeBufAreNeverInterleaved) {
  qxtest::Watchdog watchdog(60);
  qxtest::TempDir dir;
  Link link;
  qxtest::OpenFifo(dir, &link);
  constexpr int kWriters = 4;
  constexpr int kFrames = 200;
  const size_t textSize = PIPE_BUF - 8;
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.push_back(qxtest::StartChild([&, w] {
      close(link.r);
      std::string text(textSize, static_cast<char>('A' + w));
      for (int i = 0; i < kFrames; ++i) {
        if (QX_Write_Sync(link.w, text.c_str()) != static_cast<int>(textSize)) return 1;
      }
      return 0;
    }));
  }
  link.CloseWriter();
  GuardedBuffer buf;
  int counts[kWriters] = {};
  int frames = 0;
  for (int r; (r = QX_Read_Sync(link.r, buf.data())) > 0; ++frames) {
    ASSERT_EQ(r, static_cast<int>(textSize));
    std::string text = buf.Text(r);
    char c = text[0];
    ASSERT_EQ(text, std::string(textSize, c)) << "interleaved frame " << frames;
    ++counts[c - 'A'];
  }
  EXPECT_EQ(frames, kWriters * kFrames);
  for (int w = 0; w < kWriters; ++w) {
    EXPECT_EQ(counts[w], kFrames);
    EXPECT_EQ(qxtest::WaitChild(writers[w], 10000).status, 0);
  }
}

// Interrupted calls: a signal before the first byte of a frame fails the read
// or the write (so a signal can break a blocked call); once a frame has begun
// the read carries on and returns the whole frame. The signal is sent from a
// thread of the test once the kernel shows the test's thread blocked in the
// call, so each case means what it says whatever the machine's load.
class FrameIoSignal : public ::testing::Test {
 protected:
  void SetUp() override { qxtest::OpenFifo(dir_, &link_); }
  void TearDown() override {
    if (peer_.joinable()) peer_.join();
  }

  // From a thread: once this thread is blocked in a read, sends first; when
  // first is not empty, waits until this thread has taken it and is blocked
  // again; then interrupts it with SIGUSR1 and sends rest.
  void Peer(const std::string& first, const std::string& rest) {
    const pid_t tid = qxtest::ThisThread();
    const pthread_t self = pthread_self();
    peer_ = std::thread([=, this] {
      if (!qxtest::AwaitBlockedIn(tid, qxtest::kReadCalls)) return;
      if (!first.empty()) {
        qxtest::Put(link_.w, first);
        if (!qxtest::AwaitDrained(link_.r) || !qxtest::AwaitBlockedIn(tid, qxtest::kReadCalls)) {
          return;
        }
      }
      pthread_kill(self, SIGUSR1);
      qxtest::Put(link_.w, rest);
    });
  }

  qxtest::InterruptingHandler handler_{SIGUSR1};
  qxtest::TempDir dir_;
  Link link_;
  GuardedBuffer buf_;
  std::thread peer_;
  qxtest::Watchdog watchdog_{30};
};

TEST_F(FrameIoSignal, BeforeTheFrameTheReadFails) {
  Peer("", "");
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), -1);
  EXPECT_EQ(errno, EINTR);
  ASSERT_TRUE(qxtest::Put(link_.w, Frame("after")));
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), 5);  // the stream is intact
}

TEST_F(FrameIoSignal, InsideTheFrameTheReadCarriesOn) {
  const std::string frame = Frame("interrupted");
  Peer(frame.substr(0, 10), frame.substr(10));
  EXPECT_EQ(QX_Read_Sync(link_.r, buf_.data()), 11);
  EXPECT_EQ(buf_.Text(11), "interrupted");
}

// A writer blocked on a full FIFO before the first byte of its frame: the
// signal ends the write, which fails and leaves nothing of the frame behind.
TEST_F(FrameIoSignal, BeforeTheFrameTheWriteFails) {
  ASSERT_EQ(fcntl(link_.w, F_SETFL, fcntl(link_.w, F_GETFL) | O_NONBLOCK), 0);
  const std::string chunk(4096, 'f');
  size_t filled = 0;
  for (ssize_t n; (n = write(link_.w, chunk.data(), chunk.size())) > 0;) filled += n;
  ASSERT_EQ(errno, EAGAIN);
  ASSERT_EQ(fcntl(link_.w, F_SETFL, fcntl(link_.w, F_GETFL) & ~O_NONBLOCK), 0);
  const pid_t tid = qxtest::ThisThread();
  const pthread_t self = pthread_self();
  std::atomic<bool> returned{false};
  peer_ = std::thread([&] {
    if (!qxtest::AwaitBlockedIn(tid, qxtest::kWriteCalls)) return;
    pthread_kill(self, SIGUSR1);
    // A write that ignored the signal would block for ever: make room after
    // a while so that the test fails instead of hanging.
    for (int ms = 0; ms < 3000 && !returned; ++ms) poll(nullptr, 0, 1);
    if (!returned) qxtest::Take(link_.r, filled, 1000);
  });
  EXPECT_EQ(QX_Write_Sync(link_.w, "stopped"), -1);
  returned = true;
  peer_.join();
  EXPECT_EQ(qxtest::Take(link_.r, filled + 64, 200).size(), filled) << "nothing of the frame";
}

// The one broken-pipe contract, both sides. On the library's main SIGPIPE is
// harmless until the tool changes its disposition; a tool that sets it back
// to its default takes broken pipes over, and then dies of a write to a FIFO
// whose reader has gone. On a program's own main each write masks it. A
// socket never raises it, whatever the layer once learnt of its descriptor
// number (here one that a FIFO had before: one the caller opened and closed,
// or one the layer opened, and so knew to be no socket, and closed).
enum class OldNumber { kNone, kCallersFifo, kLayersFifo };

struct SigpipeCase {
  const char* name;
  bool libraryMain;        // QXLSurviveBrokenPipes, as the library's main calls it
  bool toolSetsDefault;    // afterwards, the tool sets SIGPIPE back to SIG_DFL
  Transport transport;
  OldNumber oldNumber;     // the socket takes a number the layer wrote a FIFO on
  bool killed;             // expected: ended by SIGPIPE, else the write gives -1
};

// Opens a FIFO's write end in dir through the layer, a reader holding the
// other end, and writes a frame on it; -1 when any step fails.
int LayersFifoWrittenOnce(const qxtest::TempDir& dir, int* reader) {
  const std::string path = dir.File("layers");
  if (mkfifo(path.c_str(), 0600) != 0) return -1;
  *reader = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (*reader < 0) return -1;
  const int fd = QXouvrirFIFO(path.c_str(), 0);
  if (fd < 0 || QX_Write_Sync(fd, "seen") != 4) return -1;
  return fd;
}

TEST(FrameIoSigpipe, OneContractOnEitherMain) {
  const SigpipeCase cases[] = {
      {"own main, FIFO", false, false, Transport::kFifo, OldNumber::kNone, false},
      {"own main, TCP", false, false, Transport::kTcp, OldNumber::kNone, false},
      {"library main, FIFO", true, false, Transport::kFifo, OldNumber::kNone, false},
      {"library main, TCP", true, false, Transport::kTcp, OldNumber::kNone, false},
      {"library main, default set back, FIFO", true, true, Transport::kFifo, OldNumber::kNone,
       true},
      {"library main, default set back, TCP", true, true, Transport::kTcp, OldNumber::kNone,
       false},
      {"library main, default set back, TCP on a FIFO's old number", true, true, Transport::kTcp,
       OldNumber::kCallersFifo, false},
      {"library main, default set back, TCP on the old number of the layer's FIFO", true, true,
       Transport::kTcp, OldNumber::kLayersFifo, false},
  };
  for (const SigpipeCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = qxtest::RunInChild([&] {
      signal(SIGPIPE, SIG_DFL);
      if (c.libraryMain) QXLSurviveBrokenPipes();
      if (c.toolSetsDefault) signal(SIGPIPE, SIG_DFL);
      qxtest::TempDir dir;
      Link link;
      qxtest::Open(c.transport, dir, &link);
      if (c.oldNumber == OldNumber::kCallersFifo) {
        Link fifo;
        qxtest::OpenFifo(dir, &fifo, "old");
        if (QX_Write_Sync(fifo.w, "seen") != 4) return 10;
        const int number = fifo.w;
        fifo.CloseWriter();  // outside the layer
        if (dup2(link.w, number) != number) return 11;
        close(link.w);
        link.w = number;
      }
      if (c.oldNumber == OldNumber::kLayersFifo) {
        int reader = -1;
        const int number = LayersFifoWrittenOnce(dir, &reader);
        if (number < 0) return 12;
        QXacceptCloseLiaison(number);  // through the layer
        close(reader);
        if (dup2(link.w, number) != number) return 13;
        close(link.w);
        link.w = number;
      }
      link.CloseReader();
      int r = 0;
      // A socket may accept a write or two before it learns that the peer
      // is gone.
      for (int i = 0; i < 50 && r >= 0; ++i) {
        r = QX_Write_Sync(link.w, "anyone there?");
        if (r >= 0) qxtest::SleepMs(10);
      }
      return r == -1 ? 0 : 2;
    });
    if (c.killed) {
      EXPECT_TRUE(result.signaled && result.signal == SIGPIPE) << "status " << result.status;
    } else {
      EXPECT_FALSE(result.signaled) << "signal " << result.signal;
      EXPECT_TRUE(result.exited && result.status == 0) << "status " << result.status;
    }
  }
}

TEST(FrameIoSigpipe, ACallersPendingSigpipeIsLeftAlone) {
  auto result = qxtest::RunInChild([] {
    qxtest::TempDir dir;
    Link link;
    qxtest::OpenFifo(dir, &link);
    link.CloseReader();
    sigset_t pipe, old, pending;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigprocmask(SIG_BLOCK, &pipe, &old);
    raise(SIGPIPE);  // the caller's own, pending while blocked
    if (QX_Write_Sync(link.w, "x") != -1) return 1;
    sigpending(&pending);
    if (!sigismember(&pending, SIGPIPE)) return 2;
    sigset_t now;
    sigprocmask(SIG_BLOCK, nullptr, &now);
    return sigismember(&now, SIGPIPE) ? 0 : 3;  // the caller's mask is kept
  });
  EXPECT_EQ(result.status, 0);
}

}  // namespace
