// SPDX-License-Identifier: MIT
// Load: a tool sends many commands over a FIFO channel to the host stand-in;
// the converter converts a large net; channels are opened and closed in loops
// in this process. Run under the sanitizer build, the tool processes end with
// LeakSanitizer's check, so a leak fails their exit status.
//
// Sizes are small by default; QX_LOAD_FULL=1 runs one million commands and a
// net of 10,000 places and transitions (see FUZZING.md).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "hardening/hardening_support.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"

namespace {

long CountLines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

TEST(Load, ManyCommandsOverAFifoChannelReachTheHostInOrder) {
  const long commands = hardening::FullLoad() ? 1000000 : 20000;
  const qxtest::ChildResult run = qxtest::RunProgram(
      hardening::kHost, {"-t", "250", hardening::kLoadTool, std::to_string(commands)}, "", 280000);
  ASSERT_FALSE(run.timed_out);
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  EXPECT_EQ(run.status, 0) << run.err.substr(0, 2000);
  // START_TOOL, the commands, END_TOOL(0): one per line.
  EXPECT_EQ(CountLines(run.out), commands + 2);
  char last[64];
  std::snprintf(last, sizeof last, "SESSION_VAR(4:load,20:command %012ld)\nEND_TOOL(0)\n", commands - 1);
  EXPECT_EQ(run.out.substr(run.out.size() - std::string(last).size()), last);
}

TEST(Load, LargeSparseNetConvertsCompletely) {
  const int size = hardening::FullLoad() ? 10000 : 400;
  qxtest::TempDir dir;
  long arcs = 0;
  const std::string net = dir.File("big.mat");
  qxtest::WriteFile(net, hardening::SparseNet(size, size, 7, &arcs));
  const qxtest::ChildResult run = qxtest::RunProgram(hardening::kVarnost, {"-s", net}, "", 280000);
  ASSERT_FALSE(run.timed_out);
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  EXPECT_EQ(run.status, 0) << run.out << run.err.substr(0, 2000);
  // Header (3), four section lines, one line per node and per arc.
  EXPECT_EQ(CountLines(qxtest::ReadFile(net + ".ll_net")), 3 + 4 + 2L * size + arcs);
}

// Channels opened and closed in this process leave no descriptor behind, on
// success and on every failure.
class DescriptorLeakTest : public ::testing::Test {
 protected:
  void SetUp() override { QxChannelInit(); }
  static constexpr int kRounds = 100;
};

TEST_F(DescriptorLeakTest, FifoChannelOpenCloseLoop) {
  qxtest::Watchdog watchdog(120);
  qxtest::TempDir dir;
  std::string in = dir.File("in");   // the channel reads it
  std::string out = dir.File("out");  // the channel writes it
  ASSERT_EQ(mkfifo(in.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
  const int before = qxtest::CountOpenFds();
  for (int round = 0; round < kRounds; ++round) {
    int peerRead = -1;
    int peerWrite = -1;
    std::thread peer([&] {
      peerRead = open(out.c_str(), O_RDONLY | O_CLOEXEC);
      peerWrite = open(in.c_str(), O_WRONLY | O_CLOEXEC);
    });
    QxChannelParam param;
    QxInitChannelParam(&param, kQx_ChannelFIFO);
    param.channel.fifoParam.pChannelIn = in.data();
    param.channel.fifoParam.pChannelOut = out.data();
    PQxChannel channel = QxOpenChannel(&param, kQx_ServerConsumer, nullptr);
    peer.join();
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(QxErrno(), kQx_NoErr);
    ASSERT_EQ(QX_Write_Sync(param.channel.fifoParam.fdOut, "PING()"), 6);
    QxCloseChannel(channel);
    close(peerRead);
    close(peerWrite);
  }
  EXPECT_EQ(qxtest::CountOpenFds(), before);
}

TEST_F(DescriptorLeakTest, FailedFifoOpensLoop) {
  qxtest::TempDir dir;
  std::string fifo = dir.File("fifo");
  std::string missing = dir.File("missing");
  std::string regular = dir.File("regular");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  qxtest::WriteFile(regular, "x");
  // Output end refused; output end opened (a reader is held here) and input
  // end refused.
  const int holder = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  const int before = qxtest::CountOpenFds();
  const std::pair<std::string*, std::string*> pairs[] = {{&fifo, &missing}, {&missing, &fifo},
                                                         {&regular, &fifo}};
  for (int round = 0; round < kRounds; ++round) {
    for (const auto& [in, out] : pairs) {
      QxChannelParam param;
      QxInitChannelParam(&param, kQx_ChannelFIFO);
      param.channel.fifoParam.pChannelIn = in->data();
      param.channel.fifoParam.pChannelOut = out->data();
      qxtest::CaptureFd(2, [&] { EXPECT_EQ(QxOpenChannel(&param, kQx_ServerConsumer, nullptr), nullptr); });
      EXPECT_NE(QxErrno(), kQx_NoErr);
    }
  }
  EXPECT_EQ(qxtest::CountOpenFds(), before);
  close(holder);
}

TEST_F(DescriptorLeakTest, SocketConnectAcceptCloseLoop) {
  qxtest::Watchdog watchdog(120);
  char host[] = "127.0.0.1";
  const int before = qxtest::CountOpenFds();
  for (int round = 0; round < kRounds; ++round) {
    int port = 0;
    const int listening = QXcreeSocket(&port);
    if (listening < 0) GTEST_SKIP() << "no listening socket on the local host name";
    const int client = QXinitConnexion(host, port);
    ASSERT_GE(client, 0);
    const int server = QXaccept(listening);
    ASSERT_GE(server, 0);
    ASSERT_EQ(QX_Write_Sync(client, "PING()"), 6);
    QXcloseLiaison(client);
    QXcloseLiaison(server);
    close(listening);
  }
  EXPECT_EQ(qxtest::CountOpenFds(), before);
}

}  // namespace
