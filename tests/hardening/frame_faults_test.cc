// SPDX-License-Identifier: MIT
// A peer process writes broken frames into a real FIFO: a negative or huge
// length word, a length above the maximum message length, a stream that stops
// inside the length word or inside the text, a frame that trickles in byte by
// byte. Reads never write past the caller's buffer, never hang once the peer
// has gone, report each broken frame as a failed read and keep the stream in
// step where it can be kept.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/pipe_channel.h"
#include "hardening/hardening_support.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"

namespace {

std::string Word(int64_t length) { return std::string(reinterpret_cast<const char*>(&length), 8); }

// What the peer writes: pieces separated by a short pause, then it closes.
struct Script {
  std::vector<std::string> pieces;
  int pauseUs = 0;
};

struct Expected {
  int result;
  std::string text;  // for a result > 0
};

struct FrameCase {
  const char* name;
  Script script;
  std::vector<Expected> reads;  // then every read gives -1
};

// A FIFO read here and written by a child process that plays the script.
class FifoPeer {
 public:
  FifoPeer(const qxtest::TempDir& dir, const Script& script) {
    const std::string path = dir.File("link");
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd_, 0);
    int ready[2];
    EXPECT_EQ(pipe2(ready, O_CLOEXEC), 0);
    pid_ = qxtest::StartChild([path, script, ready] {
      const int w = open(path.c_str(), O_WRONLY);
      if (w < 0 || write(ready[1], "w", 1) != 1) return 10;
      for (const std::string& piece : script.pieces) {
        if (!qxtest::WriteAll(w, piece)) return 11;
        usleep(script.pauseUs);
      }
      close(w);
      return 0;
    });
    close(ready[1]);
    // Reads block from here on: the peer must already be a writer, or the
    // first read would see the end of the stream.
    pollfd p{ready[0], POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 10000), 1) << "the peer never opened the FIFO";
    close(ready[0]);
    fcntl(fd_, F_SETFL, 0);
  }
  ~FifoPeer() {
    close(fd_);
    const qxtest::ChildResult r = qxtest::WaitChild(pid_, 10000);
    EXPECT_TRUE(r.exited && r.status == 0) << "peer status " << r.status;
  }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  pid_t pid_ = -1;
};

class FrameFaultTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameFaultTest, BrokenFramesFailCleanlyAndTheReadsEnd) {
  const FrameCase& c = GetParam();
  qxtest::Watchdog watchdog(30);
  qxtest::TempDir dir;
  FifoPeer peer(dir, c.script);
  // Exactly the documented capacity: a byte past it is an ASan report.
  std::unique_ptr<char[]> buffer(new char[kQx_MaxMessageLength]);
  for (size_t i = 0; i < c.reads.size(); ++i) {
    SCOPED_TRACE("read " + std::to_string(i));
    const int r = QX_Read_Sync(peer.fd(), buffer.get());
    EXPECT_EQ(r, c.reads[i].result);
    if (r > 0) {
      EXPECT_EQ(std::string(buffer.get(), static_cast<size_t>(r)), c.reads[i].text);
    }
  }
  EXPECT_EQ(QX_Read_Sync(peer.fd(), buffer.get()), -1) << "the stream should have ended";
}

const std::string kOk = qxtest::FrameBytes("ok");

INSTANTIATE_TEST_SUITE_P(
    Peer, FrameFaultTest,
    ::testing::Values(
        FrameCase{"NegativeLength", {{qxtest::FrameBytes("a"), Word(-5), "hello"}, 1000},
                  {{1, "a"}, {-1, ""}}},
        FrameCase{"HugeLength", {{Word(int64_t{1} << 40), "abc"}, 0}, {{-1, ""}}},
        FrameCase{"LengthAboveIntMax", {{Word(int64_t{INT_MAX} + 1), "abc"}, 0}, {{-1, ""}}},
        FrameCase{"AboveMaximumIsConsumedAndTheNextFrameRead",
                  {{Word(kQx_MaxMessageLength + 1), std::string(kQx_MaxMessageLength + 1, 'z'), kOk},
                   1000},
                  {{-1, ""}, {2, "ok"}}},
        FrameCase{"HugeTextCutByThePeer",
                  {{Word(INT_MAX), std::string(100000, 'y')}, 1000}, {{-1, ""}}},
        FrameCase{"StopsInsideTheLengthWord", {{kOk, std::string("\x03\x00\x00", 3)}, 1000},
                  {{2, "ok"}, {-1, ""}}},
        FrameCase{"StopsInsideTheText", {{kOk, Word(10), "abc"}, 1000}, {{2, "ok"}, {-1, ""}}},
        FrameCase{"TricklesInByteByByte",
                  {[] {
                     std::vector<std::string> bytes;
                     for (char b : qxtest::FrameBytes("slow")) bytes.emplace_back(1, b);
                     return bytes;
                   }(),
                   2000},
                  {{4, "slow"}}},
        FrameCase{"EndOfLinkMarkerThenAFrame", {{Word(0), kOk}, 1000}, {{-2, ""}, {2, "ok"}}}),
    [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

// The same faults through the KORA receive operation: the caller's buffer of
// kQx_ReceiveBufferSize bytes always holds a terminated text (empty after a
// failed read), and the failure shows in the request's actual length, the
// error code staying as the channel layer leaves reads (kQx_NoErr).
TEST(KoraReceiveFault, BrokenFramesLeaveATerminatedEmptyBuffer) {
  qxtest::Watchdog watchdog(30);
  qxtest::TempDir dir;
  FifoPeer peer(dir, {{kOk, Word(-1), "junk"}, 1000});
  qxtest::PipeChannel channel;
  close(channel.LibraryIn());
  channel.LibraryIn() = dup(peer.fd());
  std::unique_ptr<char[]> buffer(new char[kQx_ReceiveBufferSize]);

  QxClReceiveChannelKora(buffer.get(), &channel.in);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_STREQ(buffer.get(), "ok");
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("failed read " + std::to_string(i));
    std::memset(buffer.get(), 'x', kQx_ReceiveBufferSize);
    QxClReceiveChannelKora(buffer.get(), &channel.in);
    EXPECT_EQ(channel.in.actualLength, static_cast<size_t>(-1));
    EXPECT_STREQ(buffer.get(), "");
  }
}

}  // namespace
