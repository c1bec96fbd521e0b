// SPDX-License-Identifier: MIT
// The wait on a list of channel I/O requests, over real FIFOs and sockets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "channel/blocked_call.h"
#include "channel/channel_internal.h"
#include "channel/commip.h"
#include "channel/frame_link.h"
#include "common/qxtest.h"
#include "quarnel/CListes.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"

namespace {

using qxtest::Frame;
using qxtest::Link;

// One request with its own channel and parameter record.
struct Request {
  QxChannelParam param{};
  QxChannel channel{};
  QxChannelIOParams io{};

  Request(QxChannelType type, QxChannelDir dir, int fd, QxChannelState state) {
    param.qxChannelType = type;
    if (type == kQx_ChannelSocket) {
      param.channel.socketParam.sockfdInOut = fd;
    } else {
      // The unused direction holds a descriptor that is never ready, so a
      // wait that watched the wrong field would be seen.
      param.channel.fifoParam.fdIn = dir == kQx_Write ? -1 : fd;
      param.channel.fifoParam.fdOut = dir == kQx_Write ? fd : -1;
    }
    channel.pQxChannelParam = &param;
    channel.qxChannelUsage = kQx_ServerConsumer;
    io.pQxChannel = &channel;
    io.qxChannelDir = dir;
    io.qxChannelState = state;
  }
};

class ChannelWait : public ::testing::Test {
 protected:
  void SetUp() override {
    standalone_ = g_qxStandalone;
    g_qxStandalone = kQx_True;  // traces stay on standard error
    list_ = CreerListe();
    qxtest::OpenFifo(dir_, &ready_, "ready");
    qxtest::OpenFifo(dir_, &empty_, "empty");
    ASSERT_EQ(QX_Write_Sync(ready_.w, "waiting"), 7);
  }
  void TearDown() override {
    ViderListe(list_);
    DetruireListe(list_);
    g_qxStandalone = standalone_;
    g_qxErrno = kQx_NoErr;
  }

  QxChannelIOParams& Add(QxChannelType type, QxChannelDir dir, int fd,
                         QxChannelState state = kQx_ChannelStateNotSpecified) {
    requests_.emplace_back(type, dir, fd, state);
    AjoutFinListe(list_, &requests_.back().io);
    return requests_.back().io;
  }

  // Waits, capturing the trace; returns the result.
  int Wait(time_t sec, long usec) {
    int r = 0;
    trace_ = qxtest::CaptureFd(2, [&] { r = QxLWaitForChannelMessages(list_, sec, usec); });
    return r;
  }

  static std::string TraceLine(const std::string& text) {
    return std::string("#(") + kQx_ToolName + "):" + text + "\n";
  }

  QxBoolean standalone_ = kQx_False;
  CListe list_ = nullptr;
  std::deque<Request> requests_;
  qxtest::TempDir dir_;
  Link ready_;
  Link empty_;
  std::string trace_;
  qxtest::Watchdog watchdog_{30};
};

TEST_F(ChannelWait, MarksReadyAndEmptyRequestsAndLeavesOthersAlone) {
  Link tcp;
  qxtest::OpenTcp(&tcp);
  ASSERT_EQ(QX_Write_Sync(tcp.w, "tcp"), 3);
  Link gone;  // its writer has gone and nothing waits: the read tells so
  qxtest::OpenFifo(dir_, &gone, "gone");
  gone.CloseWriter();
  int otherFd = -1;
  Request orphan(kQx_ChannelFIFO, kQx_Read, ready_.r, kQx_ChannelEmpty);
  orphan.io.pQxChannel = kQx_NotGivenChannel;

  QxChannelIOParams& readReady = Add(kQx_ChannelFIFO, kQx_Read, ready_.r);
  QxChannelIOParams& readEmpty = Add(kQx_ChannelFIFO, kQx_Read, empty_.r);
  QxChannelIOParams& writable = Add(kQx_ChannelFIFO, kQx_Write, empty_.w);
  QxChannelIOParams& socketReady = Add(kQx_ChannelSocket, kQx_Read, tcp.r);
  QxChannelIOParams& socketWritable = Add(kQx_ChannelSocket, kQx_Write, tcp.r);  // same socket
  QxChannelIOParams& hungUp = Add(kQx_ChannelFIFO, kQx_Read, gone.r);
  QxChannelIOParams& broken = Add(kQx_ChannelFIFO, kQx_Read, ready_.r, kQx_ChannelBroken);
  QxChannelIOParams& undirected =
      Add(kQx_ChannelFIFO, kQx_ChannelDirNotSpecified, ready_.r, kQx_ChannelEmpty);
  QxChannelIOParams& unknownType = Add(kQx_ChannelUnknown, kQx_Read, otherFd, kQx_ChannelEmpty);
  AjoutFinListe(list_, &orphan.io);

  EXPECT_EQ(Wait(0, 0), 5);
  EXPECT_EQ(g_qxErrno, kQx_NoErr);
  EXPECT_EQ(trace_, "");
  EXPECT_EQ(readReady.qxChannelState, kQx_ChannelIOCharsAvailable);
  EXPECT_EQ(readEmpty.qxChannelState, kQx_ChannelEmpty);
  EXPECT_EQ(writable.qxChannelState, kQx_ChannelIOCharsAvailable);
  EXPECT_EQ(socketReady.qxChannelState, kQx_ChannelIOCharsAvailable);
  EXPECT_EQ(socketWritable.qxChannelState, kQx_ChannelIOCharsAvailable);
  EXPECT_EQ(hungUp.qxChannelState, kQx_ChannelIOCharsAvailable);
  EXPECT_EQ(broken.qxChannelState, kQx_ChannelBroken);
  EXPECT_EQ(undirected.qxChannelState, kQx_ChannelEmpty);
  EXPECT_EQ(unknownType.qxChannelState, kQx_ChannelEmpty);
  EXPECT_EQ(orphan.io.qxChannelState, kQx_ChannelEmpty);
  EXPECT_EQ(NbElementListe(list_), 10);
}

TEST_F(ChannelWait, TimeOutKeepsEveryState) {
  QxChannelIOParams& a = Add(kQx_ChannelFIFO, kQx_Read, empty_.r, kQx_ChannelIOCharsAvailable);
  QxChannelIOParams& b = Add(kQx_ChannelFIFO, kQx_Read, empty_.r, kQx_ChannelStateNotSpecified);
  Add(kQx_ChannelFIFO, kQx_Read, ready_.r, kQx_ChannelBroken);  // ready but not watched

  EXPECT_EQ(Wait(0, 0), 0);
  EXPECT_EQ(g_qxErrno, kQx_TimeOut);
  EXPECT_EQ(trace_, TraceLine("QxL WaitForChannelMessages:probleme de select: timeout atteint"));
  EXPECT_EQ(a.qxChannelState, kQx_ChannelIOCharsAvailable);
  EXPECT_EQ(b.qxChannelState, kQx_ChannelStateNotSpecified);
}

TEST_F(ChannelWait, TheSecondFieldCountsMicroseconds) {
  Add(kQx_ChannelFIFO, kQx_Read, empty_.r);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Wait(0, 300000), 0);
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 0.29);
  EXPECT_LT(waited, 5.0);
  EXPECT_EQ(g_qxErrno, kQx_TimeOut);
}

// A long wait is made of several polls (each at most poll's largest time);
// the time-out is reported only once the whole time has passed, whatever the
// length of each poll. Here the polls are made short to see it.
TEST_F(ChannelWait, ATimeOutMadeOfSeveralPollsComesOnlyAtItsEnd) {
  for (int sliceMs : {INT_MAX, 20}) {
    SCOPED_TRACE(sliceMs);
    std::vector<pollfd> fds = {{empty_.r, POLLIN, 0}};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(qx::channel::PollWait(fds, 0, 150000, sliceMs), 0);
    double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 0.149);
    EXPECT_LT(waited, 5.0);
  }
}

TEST_F(ChannelWait, WithoutTimeOutWaitsUntilAFrameArrives) {
  QxChannelIOParams& r = Add(kQx_ChannelFIFO, kQx_Read, empty_.r);
  std::thread late = qxtest::WhenBlocked(qxtest::kPollCalls,
                                         [&] { QX_Write_Sync(empty_.w, "late"); });
  EXPECT_EQ(Wait(0, -1), 1);
  late.join();
  EXPECT_EQ(r.qxChannelState, kQx_ChannelIOCharsAvailable);
}

TEST_F(ChannelWait, ASignalEndsTheUnboundedWait) {
  qxtest::InterruptingHandler handler(SIGUSR1);
  QxChannelIOParams& r = Add(kQx_ChannelFIFO, kQx_Read, empty_.r, kQx_ChannelIOCharsAvailable);
  const pthread_t self = pthread_self();
  std::thread signaller =
      qxtest::WhenBlocked(qxtest::kPollCalls, [self] { pthread_kill(self, SIGUSR1); });
  EXPECT_EQ(Wait(0, -1), -1);
  signaller.join();
  EXPECT_EQ(g_qxErrno, kQx_SelectInterupt);
  EXPECT_EQ(trace_, TraceLine("QxL WaitForChannelMessages:passage ds select mais signal recu "));
  EXPECT_EQ(r.qxChannelState, kQx_ChannelIOCharsAvailable);
}

TEST_F(ChannelWait, DescriptorsBeyondTheSelectCapacityAreWatched) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  const int high = FD_SETSIZE + 50;
  rlimit raised = limit;
  if (raised.rlim_cur <= static_cast<rlim_t>(high)) raised.rlim_cur = high + 1;
  if (raised.rlim_max != RLIM_INFINITY && raised.rlim_max < raised.rlim_cur) {
    GTEST_SKIP() << "the hard limit on descriptors is below " << high + 1;
  }
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
  ASSERT_EQ(dup2(ready_.r, high), high);
  QxChannelIOParams& far = Add(kQx_ChannelFIFO, kQx_Read, high);
  QxChannelIOParams& near = Add(kQx_ChannelFIFO, kQx_Read, empty_.r);
  EXPECT_EQ(Wait(0, 0), 1);
  EXPECT_EQ(far.qxChannelState, kQx_ChannelIOCharsAvailable);
  EXPECT_EQ(near.qxChannelState, kQx_ChannelEmpty);
  close(high);
  setrlimit(RLIMIT_NOFILE, &limit);
}

TEST_F(ChannelWait, FailuresAreReportedAndChangeNothing) {
  // A number far above the ones the test opens (capturing the trace opens a
  // file, which would take a freshly closed low number).
  int closedFd = 900;
  while (fcntl(closedFd, F_GETFD) != -1) ++closedFd;
  QxChannelIOParams& r = Add(kQx_ChannelFIFO, kQx_Read, ready_.r, kQx_ChannelEmpty);
  Add(kQx_ChannelFIFO, kQx_Read, closedFd);
  EXPECT_EQ(Wait(0, 0), -1);
  EXPECT_EQ(g_qxErrno, kQx_InternalErr);
  EXPECT_EQ(trace_, TraceLine("QxL WaitForChannelMessages:probleme de select"));
  EXPECT_EQ(r.qxChannelState, kQx_ChannelEmpty);

  int result = 0;
  trace_ = qxtest::CaptureFd(2, [&] { result = QxLWaitForChannelMessages(nullptr, 0, 0); });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(g_qxErrno, kQx_ParamErr);
  EXPECT_EQ(trace_, TraceLine("QxL WaitForChannelMessages:channelIOParamList==NULL"));
}

TEST_F(ChannelWait, SelectFormReducesTheSetsToTheReadyDescriptors) {
  fd_set readSet, writeSet;
  FD_ZERO(&readSet);
  FD_ZERO(&writeSet);
  FD_SET(ready_.r, &readSet);
  FD_SET(empty_.r, &readSet);
  FD_SET(empty_.w, &writeSet);
  EXPECT_EQ(QXselect(&readSet, &writeSet, nullptr, 0, 0), 2);
  EXPECT_TRUE(FD_ISSET(ready_.r, &readSet));
  EXPECT_FALSE(FD_ISSET(empty_.r, &readSet));
  EXPECT_TRUE(FD_ISSET(empty_.w, &writeSet));

  FD_ZERO(&readSet);
  FD_SET(empty_.r, &readSet);
  EXPECT_EQ(QXselect(&readSet, nullptr, nullptr, 0, 1000), 0);
  EXPECT_FALSE(FD_ISSET(empty_.r, &readSet));
}

}  // namespace
