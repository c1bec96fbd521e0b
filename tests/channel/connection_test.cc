// SPDX-License-Identifier: MIT
// Connection establishment between two real processes: each provider with
// its consumer over FIFOs and sockets, through real gate files or a started
// peer program; gate file contents, open order, files left at close, and the
// failures that must end an open at once instead of waiting for a peer.
#include <fcntl.h>
#include <glob.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <atomic>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "channel/blocked_call.h"
#include "channel/link_internal.h"
#include "channel/link_test_fixture.h"
#include "common/qxtest.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"
#include "quarnel/QXMemory.h"

namespace {

constexpr int kChildMs = 20000;
using qxtest::Arg;
using qxtest::LocalHostName;

bool IsFifo(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// True when some file matches the shell pattern.
bool AnyFileMatches(const std::string& pattern) {
  glob_t found{};
  const bool any = glob(pattern.c_str(), 0, nullptr, &found) == 0;
  globfree(&found);
  return any;
}

// Sends text and returns the peer's answer ("" when none came).
std::string Exchange(int din, int dout, const char* text) {
  if (QX_Write_Sync(dout, text) <= 0) return "";
  static char buffer[kQx_MaxMessageLength + 1];
  int n = QX_Read_Sync(din, buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
}

// Answers one message M with "echo:M".
bool EchoOnce(int din, int dout) {
  static char buffer[kQx_MaxMessageLength + 1];
  int n = QX_Read_Sync(din, buffer);
  if (n <= 0) return false;
  std::string reply = "echo:" + std::string(buffer, static_cast<size_t>(n));
  return QX_Write_Sync(dout, reply.c_str()) > 0;
}

// Reaps the peer program a provider started (the provider does not say which
// child it is), waiting at most timeout_ms.
bool ReapOneChild(int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(-1, &status, WNOHANG) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Starts a child that opens a FIFO server provider publishing in and out
// through gate, answers one message and closes the link. setUp runs first in
// the child; false ends it with status 9.
pid_t StartEchoProvider(const std::string& gate, const std::string& in, const std::string& out,
                        const std::function<bool()>& setUp = [] { return true; }) {
  return qxtest::StartChild([&] {
    if (!setUp()) return 9;
    int din = -1;
    int dout = -1;
    if (OpenFifoConnexionForServerProvider(Arg(gate), Arg(in), Arg(out), &din, &dout) != 0) {
      return 10;
    }
    bool echoed = EchoOnce(din, dout);
    CloseFifoConnexionForServerProvider(Arg(gate), din, dout);
    return echoed ? 0 : 11;
  });
}

// Joins the link of a provider started by StartEchoProvider as a client
// consumer, exchanges text with it, closes, and expects the provider to end
// well.
void JoinAndExchange(const std::string& gate, pid_t provider, const std::string& text) {
  qxtest::Watchdog watchdog(30);
  int din = -1;
  int dout = -1;
  ASSERT_EQ(OpenFifoConnexionForClientConsumer(Arg(gate), &din, &dout), 0);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_EQ(Exchange(din, dout, text.c_str()), "echo:" + text);
  EXPECT_EQ(CloseFifoConnexionForClientConsumer(din, dout), 0);
  qxtest::ChildResult child = qxtest::WaitChild(provider, kChildMs);
  EXPECT_TRUE(child.exited && child.status == 0) << "provider status " << child.status;
}

using ConnectionTest = qxtest::LinkTest;

TEST_F(ConnectionTest, FifoServerProviderPublishesItsFifosToAClientConsumer) {
  std::string gate = dir_.File("gate");
  std::string in = dir_.File("provider.in");
  std::string out = dir_.File("provider.out");
  pid_t provider = StartEchoProvider(gate, in, out);
  // The provider blocks in its first open until the consumer comes: the gate
  // file exists before that.
  ASSERT_TRUE(qxtest::WaitForFile(gate, kChildMs));
  EXPECT_EQ(qxtest::ReadFile(gate), LocalHostName() + "\n" + out + "\n" + in + "\n");
  JoinAndExchange(gate, provider, "ping");
  EXPECT_FALSE(qxtest::FileExists(gate)) << "the provider's close removes its gate file";
  EXPECT_TRUE(IsFifo(in) && IsFifo(out)) << "the server provider's FIFOs stay";
}

TEST_F(ConnectionTest, FifoClientProviderStartsItsPeerWithTheFifoItWritesFirst) {
  std::string in = dir_.File("provider.in");
  std::string out = dir_.File("provider.out");
  qxtest::Watchdog watchdog(30);
  int din = -1;
  int dout = -1;
  ASSERT_EQ(OpenFifoConnexionForClientProvider(Arg(QX_PEER_PATH), Arg(in), Arg(out), &din, &dout),
            0);
  // The peer answers on what the provider reads: it was told the provider's
  // output first.
  EXPECT_EQ(Exchange(din, dout, "one"), "echo:one");
  EXPECT_EQ(Exchange(din, dout, "two"), "echo:two");
  EXPECT_EQ(CloseFifoConnexionForClientProvider(Arg(in), Arg(out), din, dout), 0);
  EXPECT_FALSE(qxtest::FileExists(in));
  EXPECT_FALSE(qxtest::FileExists(out));
}

TEST_F(ConnectionTest, SocketServerProviderAcceptsASecondConsumerOnTheSamePort) {
  if (!qxtest::LocalHostNameResolves()) GTEST_SKIP() << "this host's name does not resolve";
  std::string gate = dir_.File("gate");
  std::string second = dir_.File("second-gate");
  pid_t provider = qxtest::StartChild([&] {
    int first = -1;
    int next = -1;
    if (OpenSocketConnexionForServerProvider(Arg(gate), &first) != 0) return 10;
    if (!EchoOnce(first, first)) return 11;
    if (OpenSocketConnexionForServerProvider(Arg(second), &next) != 0) return 12;
    if (!EchoOnce(next, next)) return 13;
    if (qxtest::FileExists(second)) return 14;  // a later open writes no gate file
    CloseSocketConnexionForServerProvider(Arg(second), next);
    CloseSocketConnexionForServerProvider(Arg(gate), first);
    return 0;
  });
  ASSERT_TRUE(qxtest::WaitForFile(gate, kChildMs));
  std::string text = qxtest::ReadFile(gate);
  std::string host = LocalHostName() + "\n";
  ASSERT_EQ(text.rfind(host, 0), 0u) << text;
  int port = std::stoi(text.substr(host.size()));
  EXPECT_EQ(text, host + std::to_string(port) + "\n");

  qxtest::Watchdog watchdog(30);
  int a = -1;
  ASSERT_EQ(OpenSocketConnexionForClientConsumer(Arg(gate), &a), 0);
  EXPECT_EQ(Exchange(a, a, "first"), "echo:first");
  int b = -1;
  ASSERT_EQ(OpenSocketConnexionForClientConsumer(Arg(gate), &b), 0);
  EXPECT_EQ(Exchange(b, b, "second"), "echo:second");
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  ASSERT_EQ(getpeername(b, reinterpret_cast<sockaddr*>(&peer), &length), 0);
  EXPECT_EQ(ntohs(peer.sin_port), port);
  EXPECT_EQ(CloseSocketConnexionForClientConsumer(a), 0);
  EXPECT_EQ(CloseSocketConnexionForClientConsumer(b), 0);

  qxtest::ChildResult child = qxtest::WaitChild(provider, kChildMs);
  EXPECT_TRUE(child.exited && child.status == 0) << "provider status " << child.status;
  EXPECT_FALSE(qxtest::FileExists(gate));
}

TEST_F(ConnectionTest, SocketClientProviderStartsItsPeerWithThePortAndKeepsItsListeningSocket) {
  if (!qxtest::LocalHostNameResolves()) GTEST_SKIP() << "this host's name does not resolve";
  int before = qxtest::CountOpenFds();
  qxtest::Watchdog watchdog(30);
  int d = -1;
  ASSERT_EQ(OpenSocketConnexionForClientProvider(Arg(QX_PEER_PATH), &d), 0);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_EQ(qxtest::CountOpenFds(), before + 2) << "the connected and the listening socket";
  EXPECT_EQ(Exchange(d, d, "hello"), "echo:hello");
  EXPECT_EQ(CloseSocketConnexionForClientProvider(d), 0);
  EXPECT_EQ(qxtest::CountOpenFds(), before + 1) << "the listening socket stays open";
  EXPECT_TRUE(ReapOneChild(kChildMs)) << "the peer did not end after the link closed";
}

// How the tool treats the children it did not start itself.
enum class Children { kLeftAlone, kIgnored, kReapedByTheTool };

void ReapAll(int) {
  int saved = errno;
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  errno = saved;
}

void TreatChildren(Children children) {
  if (children == Children::kIgnored) signal(SIGCHLD, SIG_IGN);
  if (children == Children::kReapedByTheTool) signal(SIGCHLD, ReapAll);
}

// The program started may hand the link to another one: it exits with status
// 0 after starting the real peer in the background, which connects only once
// the provider is seen waiting in accept, that is after it saw the program
// end. However the tool treats its children, the open connects, and the
// program starts with the tool's signal mask. Each case runs in a process of
// its own, which is the tool.
TEST_F(ConnectionTest, SocketClientProviderAwaitsAPeerLeftBehindByAProgramThatExitedCleanly) {
  if (!qxtest::LocalHostNameResolves()) GTEST_SKIP() << "this host's name does not resolve";
  std::string launcher = dir_.File("launcher");
  std::string go = dir_.File("go");
  std::string mask = dir_.File("mask");  // the launched program's blocked signals
  qxtest::WriteFile(launcher, "#!/bin/sh\nwhile read -r k v; do [ \"$k\" = SigBlk: ] && "
                                  "echo \"$k$v\" > '" + mask + "'; done < /proc/self/status\n"
                                  "(i=0; while [ ! -e '" + go +
                                  "' ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); done; "
                                  "exec '" + QX_PEER_PATH + "' \"$1\" \"$2\") </dev/null &\n"
                                  "exit 0\n");
  ASSERT_EQ(chmod(launcher.c_str(), 0700), 0);
  const struct {
    const char* name;
    Children children;
  } cases[] = {{"children left alone", Children::kLeftAlone},
               {"SIGCHLD ignored", Children::kIgnored},
               {"children reaped by the tool", Children::kReapedByTheTool}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(go.c_str());
    qxtest::ChildResult tool = qxtest::RunInChild(
        [&] {
          TreatChildren(c.children);
          std::thread starter =
              qxtest::WhenBlocked(qxtest::kAcceptCalls, [&] { qxtest::WriteFile(go, ""); });
          int d = -1;
          int opened = OpenSocketConnexionForClientProvider(Arg(launcher), &d);
          starter.join();
          if (opened != 0) return 1;
          if (QxErrno() != kQx_NoErr) return 2;
          if (Exchange(d, d, "late") != "echo:late") return 3;
          CloseSocketConnexionForClientProvider(d);
          return 0;
        },
        20000);
    EXPECT_FALSE(tool.timed_out);
    EXPECT_TRUE(tool.exited && tool.status == 0) << "status " << tool.status << "\n" << tool.err;
    // SIGCHLD, held back in the provider while it waits, is not blocked in
    // the program it started.
    const std::string blocked = qxtest::ReadFile(mask);
    ASSERT_EQ(blocked.rfind("SigBlk:", 0), 0u) << blocked;
    EXPECT_EQ(std::stoull(blocked.substr(7), nullptr, 16) & (1ULL << (SIGCHLD - 1)), 0u) << blocked;
  }
}

// The FIFO client provider starts its peer through the shell, detached, and
// learns whether the shell started, never from a wait status: however the
// tool treats its children, a peer that exists connects (a bare name is
// searched in PATH as the shell searches it, an empty entry being the current
// directory), and a program the shell cannot run fails the open at once
// (kQx_ExecvError) with nothing left on disk and the reason: no such file, or
// permission denied for a file found but not executable. Each case runs in a process of its own, which is the tool.
TEST_F(ConnectionTest, FifoClientProviderConnectsOrFailsAtOnceWhateverSigchldSetting) {
  std::string in = dir_.File("provider.in");
  std::string out = dir_.File("provider.out");
  std::string plain = dir_.File("not-a-program");
  qxtest::WriteFile(plain, "#!/bin/sh\nexit 0\n");  // no execute permission
  const struct {
    const char* name;
    Children children;
  } settings[] = {{"children left alone", Children::kLeftAlone},
                  {"SIGCHLD ignored", Children::kIgnored},
                  {"children reaped by the tool", Children::kReapedByTheTool}};
  const std::string peer = QX_PEER_PATH;
  const std::string peerDir = peer.substr(0, peer.rfind('/'));
  const std::string peerName = peer.substr(peer.rfind('/') + 1);
  const struct {
    const char* name;
    std::string program;
    QxSLong code;  // kQx_NoErr: the link comes up
    std::string trace;
    std::string path = "";  // PATH for the search of a bare name, when given
    std::string cwd = "";   // the tool's current directory, when given
  } programs[] = {
      {"peer", QX_PEER_PATH, kQx_NoErr, ""},
      {"peer by a bare name found in PATH", peerName, kQx_NoErr, "", "/nonexistent:" + peerDir},
      // An empty entry of PATH is the current directory, as for the shell.
      {"bare name in the current directory, PATH with a leading colon", peerName, kQx_NoErr, "",
       ":/nonexistent", peerDir},
      {"the same with a trailing colon", peerName, kQx_NoErr, "", "/nonexistent:", peerDir},
      {"the same with a doubled colon", peerName, kQx_NoErr, "", "/nonexistent::/usr/bin",
       peerDir},
      {"missing program", "/nonexistent/qxpeer-missing", kQx_ExecvError,
       "Qx OpenFifoConnexionForClientProvider:cannot start the program "
       "path='/nonexistent/qxpeer-missing': No such file or directory"},
      {"bare name not in PATH", "qxpeer-missing-everywhere", kQx_ExecvError,
       "path='qxpeer-missing-everywhere': No such file or directory"},
      {"bare name of the current directory, PATH without an empty entry", peerName,
       kQx_ExecvError, "path='" + peerName + "': No such file or directory", "/nonexistent",
       peerDir},
      {"file without execute permission", plain, kQx_ExecvError,
       "path='" + plain + "': Permission denied"},
      {"bare name found in PATH without execute permission", "not-a-program", kQx_ExecvError,
       "path='not-a-program': Permission denied", "/nonexistent:" + dir_.path()},
  };
  for (const auto& setting : settings) {
    for (const auto& program : programs) {
      SCOPED_TRACE(std::string(setting.name) + ", " + program.name);
      qxtest::ChildResult tool = qxtest::RunInChild(
          [&] {
            TreatChildren(setting.children);
            if (!program.path.empty()) setenv("PATH", program.path.c_str(), 1);
            if (!program.cwd.empty() && chdir(program.cwd.c_str()) != 0) return 7;
            const int before = qxtest::CountOpenFds();
            int din = -1;
            int dout = -1;
            int opened =
                OpenFifoConnexionForClientProvider(Arg(program.program), Arg(in), Arg(out), &din,
                                                   &dout);
            if (QxErrno() != program.code) return 1;
            if (program.code != kQx_NoErr) {
              if (opened != -1 || din != -1 || dout != -1) return 2;
              if (qxtest::FileExists(in) || qxtest::FileExists(out)) return 3;
              return qxtest::CountOpenFds() == before ? 0 : 4;
            }
            if (opened != 0) return 5;
            if (Exchange(din, dout, "hi") != "echo:hi") return 6;
            CloseFifoConnexionForClientProvider(Arg(in), Arg(out), din, dout);
            return 0;
          },
          10000);
      EXPECT_FALSE(tool.timed_out) << "the open waited for a peer that could not come";
      EXPECT_TRUE(tool.exited && tool.status == 0) << "status " << tool.status << "\n"
                                                   << tool.err;
      EXPECT_NE(tool.err.find(program.trace), std::string::npos) << tool.err;
      unlink(in.c_str());
      unlink(out.c_str());
    }
  }
}

// True once the calling process has no child left, zombies included (with
// SIGCHLD ignored none can be one), looked at for at most timeout_ms.
bool NoChildLeft(int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The open fails, with an error code, as soon as the peer can no longer come,
// whatever the tool's setting of SIGCHLD (with SIGCHLD ignored the system
// discards the program's status, which the provider still learns): a program
// that cannot be started, one that exits with a non-zero status and one killed
// by a signal, each before connecting; the channel layer then gives no
// channel. With SIGCHLD ignored no process of the launch is left behind. Each
// case runs in a process of its own, which is the tool; the other side of the
// contract (a program that exits 0 is awaited) is
// SocketClientProviderAwaitsAPeerLeftBehindByAProgramThatExitedCleanly.
TEST_F(ConnectionTest, SocketClientProviderFailsAtOnceWhenItsPeerCanNoLongerConnect) {
  if (!qxtest::LocalHostNameResolves()) GTEST_SKIP() << "this host's name does not resolve";
  constexpr const char* kMissingPeer = "/nonexistent/qxpeer-missing";
  constexpr const char* kEnded = "peer ended before connecting, path='";
  const std::string exits3 = dir_.File("exits-3");
  const std::string killed = dir_.File("killed");
  qxtest::WriteFile(exits3, "#!/bin/sh\nexit 3\n");
  qxtest::WriteFile(killed, "#!/bin/sh\nkill -KILL $$\n");
  ASSERT_EQ(chmod(exits3.c_str(), 0700), 0);
  ASSERT_EQ(chmod(killed.c_str(), 0700), 0);
  const struct {
    const char* name;
    Children children;
  } settings[] = {{"children left alone", Children::kLeftAlone},
                  {"SIGCHLD ignored", Children::kIgnored},
                  {"children reaped by the tool", Children::kReapedByTheTool}};
  const struct {
    const char* name;
    std::string program;
    QxSLong code;
    std::string trace;
  } programs[] = {
      {"program that cannot be started", kMissingPeer, kQx_ExecvError,
       std::string("error on execv path='") + kMissingPeer + "'"},
      {"program that exits with status 3", exits3, kQx_OpenError, kEnded + exits3 + "'"},
      {"program killed by a signal", killed, kQx_OpenError, kEnded + killed + "'"},
  };
  for (const auto& setting : settings) {
    for (const auto& program : programs) {
      for (bool channelLayer : {false, true}) {
        SCOPED_TRACE(std::string(setting.name) + ", " + program.name +
                     (channelLayer ? ", through the channel layer" : ""));
        qxtest::ChildResult tool = qxtest::RunInChild(
            [&] {
              TreatChildren(setting.children);
              const int before = qxtest::CountOpenFds();
              if (channelLayer) {
                QxChannelParam param;
                QxInitChannelParam(&param, kQx_ChannelSocket);
                PQxChannel channel =
                    QxOpenChannel(&param, kQx_ClientProvider, Arg(program.program));
                if (channel != nullptr) return 1;
                if (param.channel.socketParam.sockfdInOut != -1) return 2;
              } else {
                int d = -1;
                if (OpenSocketConnexionForClientProvider(Arg(program.program), &d) != -1) return 1;
                if (d != -1) return 2;
              }
              if (QxErrno() != program.code) return 3;
              // The listening socket stays open (a limit of this open).
              if (qxtest::CountOpenFds() != before + 1) return 4;
              if (setting.children == Children::kIgnored && !NoChildLeft(5000)) return 5;
              return 0;
            },
            10000);
        EXPECT_FALSE(tool.timed_out) << "the open waited for a peer that could not come";
        EXPECT_TRUE(tool.exited && tool.status == 0) << "status " << tool.status << "\n"
                                                     << tool.err;
        EXPECT_NE(tool.err.find(program.trace), std::string::npos) << tool.err;
        if (channelLayer) {
          EXPECT_NE(tool.err.find("OpenChannelSocket kQx_ClientProvider !=0"), std::string::npos)
              << tool.err;
        }
      }
    }
  }
}

// After a clean end of the program the connection is awaited without limit,
// whatever the setting of SIGCHLD; a signal whose handler does not restart
// the call (a caller's alarm) ends that wait with kQx_OpenError. The program
// here exits 0 and leaves nobody behind; the signal is sent once the open is
// seen waiting in accept.
TEST_F(ConnectionTest, SocketClientProviderWaitingAfterACleanEndEndsOnASignal) {
  if (!qxtest::LocalHostNameResolves()) GTEST_SKIP() << "this host's name does not resolve";
  const struct {
    const char* name;
    Children children;
  } settings[] = {{"children left alone", Children::kLeftAlone},
                  {"SIGCHLD ignored", Children::kIgnored},
                  {"children reaped by the tool", Children::kReapedByTheTool}};
  for (const auto& setting : settings) {
    SCOPED_TRACE(setting.name);
    qxtest::ChildResult tool = qxtest::RunInChild(
        [&] {
          TreatChildren(setting.children);
          qxtest::InterruptingHandler handler(SIGALRM);
          const pthread_t self = pthread_self();
          std::thread alarm =
              qxtest::WhenBlocked(qxtest::kAcceptCalls, [&] { pthread_kill(self, SIGALRM); });
          int d = -1;
          int opened = OpenSocketConnexionForClientProvider(Arg("/bin/true"), &d);
          alarm.join();
          if (opened != -1 || d != -1) return 1;
          return QxErrno() == kQx_OpenError ? 0 : 2;
        },
        10000);
    EXPECT_FALSE(tool.timed_out);
    EXPECT_TRUE(tool.exited && tool.status == 0) << "status " << tool.status << "\n" << tool.err;
    EXPECT_NE(tool.err.find("wait for the peer interrupted by a signal"), std::string::npos)
        << tool.err;
  }
}

// A FIFO provider's open waits for its peer without a time-out; a signal
// whose handler does not restart the call (a caller's alarm) ends it. The
// open then fails as an open and removes what it created: the FIFOs, and the
// gate file of a server provider. The signal is sent once this thread is
// seen blocked in the open.
TEST_F(ConnectionTest, FifoProvidersInterruptedWhileWaitingForTheirPeerRemoveWhatTheyCreated) {
  std::string gate = dir_.File("gate");
  std::string in = dir_.File("provider.in");
  std::string out = dir_.File("provider.out");
  struct Case {
    const char* name;
    std::function<int(int*, int*)> open;
  } cases[] = {
      {"server provider",
       [&](int* din, int* dout) {
         return OpenFifoConnexionForServerProvider(Arg(gate), Arg(in), Arg(out), din, dout);
       }},
      // /bin/true ends at once without opening the FIFOs it is given.
      {"client provider",
       [&](int* din, int* dout) {
         return OpenFifoConnexionForClientProvider(Arg("/bin/true"), Arg(in), Arg(out), din,
                                                   dout);
       }},
  };
  qxtest::InterruptingHandler handler(SIGUSR1);
  qxtest::Watchdog watchdog(30);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = qxtest::CountOpenFds();
    const pid_t tid = qxtest::ThisThread();
    const pthread_t self = pthread_self();
    // An open seen blocked may be a short one of another file, which a signal
    // does not interrupt; so the signal is sent again, each time the thread
    // is seen blocked in an open twice in a row, until the provider returns.
    std::atomic<bool> returned{false};
    std::thread interrupter([&] {
      while (!returned.load()) {
        if (qxtest::AwaitBlockedIn(tid, qxtest::kOpenCalls, 20) && poll(nullptr, 0, 2) == 0 &&
            qxtest::BlockedIn(tid, qxtest::kOpenCalls) && !returned.load()) {
          pthread_kill(self, SIGUSR1);
        }
      }
    });
    int din = 7;
    int dout = 7;
    int result = 0;
    std::string err = qxtest::CaptureFd(2, [&] { result = c.open(&din, &dout); });
    returned = true;
    interrupter.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(QxErrno(), kQx_OpenError);
    EXPECT_NE(err.find("the call was interrupted by a signal handler."), std::string::npos) << err;
    EXPECT_EQ(din, -1);
    EXPECT_EQ(dout, -1);
    EXPECT_EQ(qxtest::CountOpenFds(), before);
    for (const std::string& path : {gate, in, out}) {
      EXPECT_FALSE(qxtest::FileExists(path)) << path;
    }
  }
}

// True when process pid is blocked opening a file for writing: the kernel
// names the call and its arguments (openat's flags are the fourth field).
bool BlockedOpeningForWriting(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
  std::string number, dirfd, path, flags;
  if (!(file >> number >> dirfd >> path >> flags) || number != std::to_string(SYS_openat)) {
    return false;
  }
  return (std::stoul(flags, nullptr, 16) & O_ACCMODE) == O_WRONLY;
}

// Polls every millisecond, at most timeout_ms, until check holds.
bool Eventually(const std::function<bool()>& check, int timeout_ms = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!check()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    poll(nullptr, 0, 1);
  }
  return true;
}

// A FIFO server provider whose open of its second end is interrupted after
// the peer opened the first removes its files, and a peer that is opening the
// second end meanwhile is not left waiting for ever on a FIFO that no longer
// has a name: its open completes on a link that is over. The order is made
// with stops, not pauses: the provider (a child) is stopped while blocked in
// its second open, the peer then blocks opening that FIFO, and the provider
// is let go with the signal that interrupts its open.
TEST_F(ConnectionTest, FifoServerProviderInterruptedLeavesAPeerOpeningItsFifoAWayOut) {
  std::string gate = dir_.File("gate");
  std::string in = dir_.File("provider.in");
  std::string out = dir_.File("provider.out");
  std::string alias = dir_.File("alias");  // the same FIFO, to free a stuck peer
  const pid_t provider = qxtest::StartChild([&] {
    qxtest::InterruptingHandler handler(SIGUSR1);
    int din = -1;
    int dout = -1;
    if (OpenFifoConnexionForServerProvider(Arg(gate), Arg(in), Arg(out), &din, &dout) != -1) {
      return 10;
    }
    return QxErrno() == kQx_OpenError ? 0 : 11;
  });
  qxtest::Watchdog watchdog(30);
  ASSERT_TRUE(qxtest::WaitForFile(gate, kChildMs));
  ASSERT_EQ(link(out.c_str(), alias.c_str()), 0);
  const int peerOut = open(in.c_str(), O_WRONLY | O_CLOEXEC);  // the peer's first open
  ASSERT_GE(peerOut, 0);
  ASSERT_TRUE(Eventually([&] { return BlockedOpeningForWriting(provider); }));
  ASSERT_EQ(kill(provider, SIGSTOP), 0);
  siginfo_t info{};
  ASSERT_TRUE(Eventually([&] {
    return waitid(P_PID, static_cast<id_t>(provider), &info, WSTOPPED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == provider;
  }));
  std::atomic<int> peerIn{-2};
  std::atomic<pid_t> peerThread{0};
  std::thread peer([&] {
    peerThread = qxtest::ThisThread();
    peerIn = open(out.c_str(), O_RDONLY | O_CLOEXEC);  // the peer's second open
  });
  ASSERT_TRUE(Eventually([&] { return peerThread.load() != 0; }));
  ASSERT_TRUE(qxtest::AwaitBlockedIn(peerThread.load(), qxtest::kOpenCalls));
  kill(provider, SIGUSR1);
  kill(provider, SIGCONT);
  const bool released = Eventually([&] { return peerIn.load() != -2; });
  if (!released) close(open(alias.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  peer.join();
  EXPECT_TRUE(released) << "the peer stayed blocked opening a FIFO that no longer has a name";
  if (peerIn.load() >= 0) {
    char byte;
    EXPECT_EQ(read(peerIn.load(), &byte, 1), 0) << "the link is over";
    close(peerIn.load());
  }
  close(peerOut);
  qxtest::ChildResult child = qxtest::WaitChild(provider, kChildMs);
  EXPECT_TRUE(child.exited && child.status == 0) << "provider status " << child.status;
  for (const std::string& path : {gate, in, out}) EXPECT_FALSE(qxtest::FileExists(path)) << path;
}

// The gate file of a machine whose host name is empty: the first line is
// empty, and it is read back as the empty name.
TEST_F(ConnectionTest, FifoGateFileKeepsAnEmptyHostNameLine) {
  std::string gate = dir_.File("gate");
  ASSERT_EQ(ecritureFIFO(gate.c_str(), "", "/tmp/provider.out", "/tmp/provider.in"), 0);
  EXPECT_EQ(qxtest::ReadFile(gate), "\n/tmp/provider.out\n/tmp/provider.in\n");
  char host[kQxL_HostNameCapacity] = "unchanged";
  char in[kQxL_GatePathCapacity] = {};
  char out[kQxL_GatePathCapacity] = {};
  ASSERT_EQ(lectureFIFO(gate.c_str(), host, in, out), 0);
  EXPECT_STREQ(host, "");
  EXPECT_STREQ(in, "/tmp/provider.out");
  EXPECT_STREQ(out, "/tmp/provider.in");
}

// Makes this process's host name empty, in a host name space of its own (a
// user name space too when the process lacks the privilege). False when the
// system allows neither.
bool EmptyHostName() {
  if (unshare(CLONE_NEWUTS) != 0) {
    const std::string uid = std::to_string(getuid());
    const std::string gid = std::to_string(getgid());
    if (unshare(CLONE_NEWUSER | CLONE_NEWUTS) != 0) return false;
    qxtest::WriteFile("/proc/self/setgroups", "deny");
    qxtest::WriteFile("/proc/self/uid_map", uid + " " + uid + " 1");
    qxtest::WriteFile("/proc/self/gid_map", gid + " " + gid + " 1");
  }
  char name[64] = "unchanged";
  return sethostname("", 0) == 0 && gethostname(name, sizeof name) == 0 && name[0] == '\0';
}

// On a machine whose host name is empty the gate file's first line is empty,
// and the consumer still finds the link.
TEST_F(ConnectionTest, FifoGateFileOfAMachineWithAnEmptyHostName) {
  if (qxtest::RunInChild([] { return EmptyHostName() ? 0 : 1; }).status != 0) {
    GTEST_SKIP() << "this system cannot give a process an empty host name";
  }
  std::string gate = dir_.File("gate");
  std::string in = dir_.File("provider.in");
  std::string out = dir_.File("provider.out");
  pid_t provider = StartEchoProvider(gate, in, out, EmptyHostName);
  ASSERT_TRUE(qxtest::WaitForFile(gate, kChildMs));
  EXPECT_EQ(qxtest::ReadFile(gate), "\n" + out + "\n" + in + "\n");
  JoinAndExchange(gate, provider, "nameless");
}

// A missing required argument is refused before anything is created or
// opened, and the trace names the operation and the argument.
TEST_F(ConnectionTest, LinkOperationsRefuseAMissingArgument) {
  std::string in = dir_.File("in");
  std::string out = dir_.File("out");
  struct Case {
    const char* trace;
    std::function<int()> call;
  } cases[] = {
      {"QX creeFIFO:path==NULL", [] { return QXcreeFIFO(nullptr); }},
      {"QX ouvrirFIFO:path==NULL", [] { return QXouvrirFIFO(nullptr, 1); }},
      {"Qx OpenFifoConnexionForServerProvider:dout==NULL",
       [&] {
         int din = -1;
         return OpenFifoConnexionForServerProvider(Arg(dir_.File("gate")), Arg(in), Arg(out),
                                                   &din, nullptr);
       }},
      {"Qx OpenFifoConnexionForServerConsumer:din==NULL",
       [&] {
         int dout = -1;
         return OpenFifoConnexionForServerConsumer(Arg(in), Arg(out), nullptr, &dout);
       }},
      {"Qx OpenSocketConnexionForServerConsumer:d==NULL",
       [] { return OpenSocketConnexionForServerConsumer(1, nullptr); }},
      {"Qx OpenSocketConnexionForClientConsumer:path==NULL",
       [] {
         int d = -1;
         return OpenSocketConnexionForClientConsumer(nullptr, &d);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trace);
    int result = 0;
    std::string err = qxtest::CaptureFd(2, [&] { result = c.call(); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(QxErrno(), kQx_ParamErr);
    EXPECT_EQ(err, "#(Varnost):" + std::string(c.trace) + "\n");
    EXPECT_FALSE(qxtest::FileExists(in) || qxtest::FileExists(out));
  }
}

TEST_F(ConnectionTest, ClientConsumersWithoutGateFileFailWithAccessError) {
  struct Case {
    const char* operation;
    int (*open)(char* path);
  } cases[] = {
      {"Open FifoConnexionForClientConsumer",
       [](char* path) {
         int din = -1;
         int dout = -1;
         return OpenFifoConnexionForClientConsumer(path, &din, &dout);
       }},
      {"Open SocketConnexionForClientConsumer",
       [](char* path) {
         int d = -1;
         return OpenSocketConnexionForClientConsumer(path, &d);
       }},
  };
  std::string gate = dir_.File("no-gate");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operation);
    int before = qxtest::CountOpenFds();
    int result = 0;
    std::string err = qxtest::CaptureFd(2, [&] { result = c.open(Arg(gate)); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(QxErrno(), kQx_AccessError);
    EXPECT_EQ(qxtest::CountOpenFds(), before);
    EXPECT_EQ(err, "#(Varnost):" + std::string(c.operation) + ":error on path = '" + gate +
                       "' -> \n#(Varnost):A component of the path prefix does not exist.\n");
  }
}

TEST_F(ConnectionTest, ClientConsumersRejectABadGateFileAtOnce) {
  const std::string longHost(64, 'h');
  const std::string longPath(256, 'p');
  struct Case {
    const char* name;
    bool fifo;
    std::string content;  // written to the gate file; a directory when null-named
  } cases[] = {
      {"empty fifo gate", true, ""},
      {"fifo gate missing its third line", true, "host\n/tmp/a\n"},
      {"fifo gate with an empty path line", true, "host\n\n/tmp/b\n"},
      {"socket gate with an empty host line", false, "\n4000\n"},
      {"host name past its bound", true, longHost + "\n/tmp/a\n/tmp/b\n"},
      {"path past its bound", true, "host\n/tmp/a\n" + longPath + "\n"},
      {"socket gate without port", false, "localhost\n"},
      {"port not a number", false, "localhost\n12x\n"},
      {"port out of range", false, "localhost\n70000\n"},
      {"port zero", false, "localhost\n0\n"},
  };
  std::string gate = dir_.File("gate");
  qxtest::Watchdog watchdog(30);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::WriteFile(gate, c.content);
    int before = qxtest::CountOpenFds();
    int result = 0;
    std::string err = qxtest::CaptureFd(2, [&] {
      int din = -1;
      int dout = -1;
      result = c.fifo ? OpenFifoConnexionForClientConsumer(Arg(gate), &din, &dout)
                      : OpenSocketConnexionForClientConsumer(Arg(gate), &din);
    });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(QxErrno(), kQx_AccessError);
    EXPECT_EQ(qxtest::CountOpenFds(), before);
    EXPECT_NE(err.find(":malformed gate file path = '" + gate + "'"), std::string::npos) << err;
  }
}

TEST_F(ConnectionTest, ClientConsumerReadsAGateWhosePathsHoldBlanks) {
  std::string gate = dir_.File("gate");
  pid_t provider = StartEchoProvider(gate, dir_.File("provider in"), dir_.File("provider out"));
  ASSERT_TRUE(qxtest::WaitForFile(gate, kChildMs));
  JoinAndExchange(gate, provider, "blank");
}

// A gate file may itself be a FIFO: the consumer's open waits for its writer,
// as for any FIFO, and reads what it writes.
TEST_F(ConnectionTest, ClientConsumerWaitsForTheWriterOfAGateThatIsAFifo) {
  std::string gate = dir_.File("gate");
  std::string in = dir_.File("provider.in");
  std::string out = dir_.File("provider.out");
  for (const std::string& path : {gate, in, out}) ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  pid_t provider = qxtest::StartChild([&] {
    // A non-blocking open for writing fails with ENXIO until a reader has
    // the FIFO open: the gate is written only once the consumer waits on it.
    int gateFd = -1;
    for (int i = 0; i < 10000 && gateFd < 0; ++i) {
      gateFd = open(gate.c_str(), O_WRONLY | O_NONBLOCK);
      if (gateFd < 0 && errno != ENXIO) return 9;
      if (gateFd < 0) poll(nullptr, 0, 1);
    }
    if (gateFd < 0) return 10;
    if (fcntl(gateFd, F_SETFL, 0) != 0) return 10;
    const std::string text = LocalHostName() + "\n" + out + "\n" + in + "\n";
    bool written = write(gateFd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(gateFd);
    if (!written) return 11;
    int din = QXouvrirFIFO(in.c_str(), 1);
    int dout = QXouvrirFIFO(out.c_str(), 0);
    if (din < 0 || dout < 0) return 12;
    bool echoed = EchoOnce(din, dout);
    CloseFifoConnexionForServerConsumer(din, dout);
    return echoed ? 0 : 13;
  });
  qxtest::Watchdog watchdog(30);
  int din = -1;
  int dout = -1;
  ASSERT_EQ(OpenFifoConnexionForClientConsumer(Arg(gate), &din, &dout), 0);
  EXPECT_EQ(Exchange(din, dout, "piped"), "echo:piped");
  CloseFifoConnexionForClientConsumer(din, dout);
  qxtest::ChildResult child = qxtest::WaitChild(provider, kChildMs);
  EXPECT_TRUE(child.exited && child.status == 0) << "provider status " << child.status;
}

TEST_F(ConnectionTest, ServerProvidersThatCannotPublishFailAtOnceAndLeaveNothing) {
  std::string noDir = dir_.File("missing/gate");
  std::string in = dir_.File("provider.in");
  std::string out = dir_.File("provider.out");
  std::string taken = dir_.File("taken.in");
  ASSERT_EQ(mkfifo(taken.c_str(), 0600), 0);
  std::string gate = dir_.File("gate");
  // A gate file name taken by a directory: the gate is written beside it,
  // and only the rename over the directory fails.
  std::string taken_gate = dir_.File("gate-dir");
  ASSERT_EQ(mkdir(taken_gate.c_str(), 0700), 0);
  struct Case {
    const char* name;
    std::function<int()> open;
    QxSLong code;
    const char* trace;
    std::vector<std::string> absent;
  } cases[] = {
      {"fifo gate in a missing directory",
       [&] {
         int din = -1;
         int dout = -1;
         return OpenFifoConnexionForServerProvider(Arg(noDir), Arg(in), Arg(out), &din, &dout);
       },
       kQx_OpenError, "Qx ecritureFIFO:cannot write gate file path = '", {in, out}},
      {"fifo that already exists",
       [&] {
         int din = -1;
         int dout = -1;
         return OpenFifoConnexionForServerProvider(Arg(gate), Arg(taken), Arg(out), &din, &dout);
       },
       kQx_OpenError, "The named file already exists.", {gate, out}},
      {"socket gate in a missing directory",
       [&] {
         int d = -1;
         return OpenSocketConnexionForServerProvider(Arg(noDir), &d);
       },
       kQx_OpenError, "Qx ecritureSOCKET:cannot write gate file path = '", {}},
      {"fifo gate named like a directory",
       [&] {
         int din = -1;
         int dout = -1;
         return OpenFifoConnexionForServerProvider(Arg(taken_gate), Arg(in), Arg(out), &din,
                                                   &dout);
       },
       kQx_OpenError, "Qx ecritureFIFO:cannot write gate file path = '", {in, out}},
      {"socket gate named like a directory",
       [&] {
         int d = -1;
         return OpenSocketConnexionForServerProvider(Arg(taken_gate), &d);
       },
       kQx_OpenError, "Qx ecritureSOCKET:cannot write gate file path = '", {}},
  };
  qxtest::Watchdog watchdog(30);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int before = qxtest::CountOpenFds();
    int result = 0;
    std::string err = qxtest::CaptureFd(2, [&] { result = c.open(); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(QxErrno(), c.code);
    EXPECT_EQ(qxtest::CountOpenFds(), before);
    EXPECT_NE(err.find(c.trace), std::string::npos) << err;
    for (const auto& path : c.absent) EXPECT_FALSE(qxtest::FileExists(path)) << path;
    EXPECT_FALSE(AnyFileMatches(dir_.File("*.tmp*"))) << "the gate's temporary file stayed";
  }
  EXPECT_TRUE(IsFifo(taken));
}

// The same pair opened and closed through the channel layer: the layer keeps
// the server provider's gate file name and its close removes the file.
TEST_F(ConnectionTest, ChannelLayerOpensAndClosesAFifoPairThroughAGateFile) {
  std::string gate = dir_.File("gate");
  std::string in = dir_.File("provider.in");
  std::string out = dir_.File("provider.out");
  pid_t provider = qxtest::StartChild([&] {
    QxChannelParam param;
    QxInitChannelParam(&param, kQx_ChannelFIFO);
    param.channel.fifoParam.pChannelIn = Arg(in);
    param.channel.fifoParam.pChannelOut = Arg(out);
    PQxChannel channel = QxOpenChannel(&param, kQx_ServerProvider, Arg(gate));
    if (channel == nullptr) return 10;
    bool echoed = EchoOnce(param.channel.fifoParam.fdIn, param.channel.fifoParam.fdOut);
    QxCloseChannel(channel);
    return echoed ? 0 : 11;
  });
  ASSERT_TRUE(qxtest::WaitForFile(gate, kChildMs));

  qxtest::Watchdog watchdog(30);
  QxChannelParam param;
  QxInitChannelParam(&param, kQx_ChannelFIFO);
  PQxChannel channel = QxOpenChannel(&param, kQx_ClientConsumer, Arg(gate));
  ASSERT_NE(channel, nullptr);
  PQxChannelIOParams write = QxNewChannelIOParams();
  PQxChannelIOParams read = QxNewChannelIOParams();
  ASSERT_TRUE(write != nullptr && read != nullptr);
  static char buffer[kQx_MaxMessageLength];
  QxSetChannelIOParams(write, channel, kQx_Write, kQx_Sync, kQx_NotGivenPtr, "ping", 4);
  QxSetChannelIOParams(read, channel, kQx_Read, kQx_Sync, buffer, kQx_NotGivenPtr,
                       kQx_NotGivenLength);
  QxWriteInChannel(write, kQx_Sync);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  QxReadInChannel(read, kQx_Sync);
  ASSERT_EQ(read->actualLength, 9u);
  EXPECT_EQ(std::string(buffer, 9), "echo:ping");
  QxCloseChannel(channel);
  QxFree(write);
  QxFree(read);

  qxtest::ChildResult child = qxtest::WaitChild(provider, kChildMs);
  EXPECT_TRUE(child.exited && child.status == 0) << "provider status " << child.status;
  EXPECT_FALSE(qxtest::FileExists(gate));
  EXPECT_TRUE(IsFifo(in) && IsFifo(out));
}

}  // namespace
