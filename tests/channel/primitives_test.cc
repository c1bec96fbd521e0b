// SPDX-License-Identifier: MIT
// FIFO and socket primitives on real FIFOs and loopback sockets: results,
// error codes, the exact trace lines, and no descriptor left behind by a
// failure.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "channel/link_test_fixture.h"
#include "common/qxtest.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"

namespace {

constexpr int kChildMs = 15000;
using qxtest::Arg;
using qxtest::LocalHostName;

std::string TraceLine(const std::string& text) { return "#(Varnost):" + text + "\n"; }

in_addr_t AddressOf(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return INADDR_NONE;
  in_addr_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return address;
}

sockaddr_in BoundAddress(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return address;
}

using PrimitivesTest = qxtest::LinkTest;

TEST_F(PrimitivesTest, CreeFIFOMakesAFifoWithTheMaskedPermissions) {
  std::string path = dir_.File("f");
  mode_t mask = umask(022);
  g_qxErrno = kQx_ParamErr;
  EXPECT_EQ(QXcreeFIFO(path.c_str()), 0);
  umask(mask);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// A FIFO operation that fails, with what it must report.
struct FifoFailureCase {
  const char* name;
  const char* relative;  // path under the temporary directory
  QxSLong code;
  const char* reason;    // second trace line
};

void PrepareFailureFixtures(const qxtest::TempDir& dir) {
  qxtest::WriteFile(dir.File("plain"), "x");
  ASSERT_EQ(symlink("loop", dir.File("loop").c_str()), 0) << std::strerror(errno);
}

const std::string kLongName(300, 'n');

TEST_F(PrimitivesTest, CreeFIFOFailuresTraceThePathAndTheReason) {
  const std::string tooLong = kLongName;
  const FifoFailureCase cases[] = {
      {"exists", "plain", kQx_OpenError, "The named file already exists."},
      {"missing dir", "nodir/f", kQx_OpenError,
       "A component of the path prefix does  not exist."},
      {"not a dir", "plain/f", kQx_OpenError,
       "A component of the path prefix is not  a directory."},
      {"too long", tooLong.c_str(), kQx_OpenError,
       "The length of the  path  string  exceeds {PATH_MAX}."},
      {"symlink loop", "loop/f", kQx_InternalErr, "QX creeFIFO:unknown errno = 40"},
  };
  PrepareFailureFixtures(dir_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir_.File(c.relative);
    int result = 0;
    std::string err = qxtest::CaptureFd(2, [&] { result = QXcreeFIFO(path.c_str()); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(QxErrno(), c.code);
    EXPECT_EQ(err, TraceLine("QX creeFIFO:error on path = '" + path + "' -> ") +
                       TraceLine(c.reason));
  }
}

TEST_F(PrimitivesTest, OuvrirFIFOFailuresTraceThePathAndTheReasonAndCreateNothing) {
  const std::string tooLong = kLongName;
  const FifoFailureCase cases[] = {
      {"missing", "missing", kQx_OpenError,
       "A directory component in pathname does not exist or is a dangling symbolic link."},
      {"component not a directory", "plain/f", kQx_InternalErr, "unknown errno = 20"},
      {"too long", tooLong.c_str(), kQx_OpenError, "pathname was too long."},
      {"symlink loop", "loop", kQx_InternalErr, "unknown errno = 40"},
  };
  PrepareFailureFixtures(dir_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir_.File(c.relative);
    int result = 0;
    std::string err = qxtest::CaptureFd(2, [&] { result = QXouvrirFIFO(path.c_str(), 0); });
    EXPECT_LT(result, 0);
    EXPECT_EQ(QxErrno(), c.code);
    EXPECT_EQ(err, TraceLine("QX ouvrirFIFO:error on path = '" + path + "' -> ") +
                       TraceLine(c.reason));
  }
  EXPECT_FALSE(qxtest::FileExists(dir_.File("missing")));
}

TEST_F(PrimitivesTest, OuvrirFIFOOpensTheReadEndForOneAndTheWriteEndOtherwise) {
  std::string path = dir_.File("f");
  ASSERT_EQ(QXcreeFIFO(path.c_str()), 0);
  pid_t writer = qxtest::StartChild([&] {
    int fd = QXouvrirFIFO(path.c_str(), 7);  // any value but 1: the write end
    if (fd < 0 || (fcntl(fd, F_GETFL) & O_ACCMODE) != O_WRONLY) return 10;
    return write(fd, "x", 1) == 1 ? 0 : 11;
  });
  qxtest::Watchdog watchdog(20);
  int fd = QXouvrirFIFO(path.c_str(), 1);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
  char c = 0;
  EXPECT_EQ(read(fd, &c, 1), 1);
  EXPECT_EQ(c, 'x');
  close(fd);
  qxtest::ChildResult child = qxtest::WaitChild(writer, kChildMs);
  EXPECT_TRUE(child.exited && child.status == 0);
}

TEST_F(PrimitivesTest, SocketListensOnTheHostAddressAndGivesThePortInHostOrder) {
  if (!qxtest::LocalHostNameResolves()) GTEST_SKIP() << "this host's name does not resolve";
  int port = 0;
  int listening = QXcreeSocket(&port);
  ASSERT_GE(listening, 0);
  sockaddr_in bound = BoundAddress(listening);
  EXPECT_EQ(port, ntohs(bound.sin_port));
  EXPECT_GT(port, 0);
  EXPECT_EQ(bound.sin_addr.s_addr, AddressOf(LocalHostName()));

  // Both the host name and the numeric address reach it.
  for (std::string host : {LocalHostName(), std::string("127.0.0.1")}) {
    SCOPED_TRACE(host);
    qxtest::Watchdog watchdog(20);
    int client = QXinitConnexion(Arg(host.c_str()), port);
    ASSERT_GE(client, 0);
    int server = QXaccept(listening);
    ASSERT_GE(server, 0);
    EXPECT_EQ(write(client, "ping", 4), 4);
    char buf[4] = {};
    EXPECT_EQ(read(server, buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    close(client);
    close(server);
  }
  close(listening);
}

// Every descriptor a primitive opens is close-on-exec, so that a program the
// process starts later (a peer through the shell, say) never holds a link of
// its parent open.
TEST_F(PrimitivesTest, EveryDescriptorAPrimitiveOpensIsCloseOnExec) {
  const std::string fifo = dir_.File("fifo");
  ASSERT_EQ(QXcreeFIFO(fifo.c_str()), 0);
  // Both ends held open here, so that the opens below find their peer.
  const int holder = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  struct Opened {
    const char* name;
    int fd;
  };
  std::vector<Opened> opened = {{"FIFO read end", QXouvrirFIFO(fifo.c_str(), 1)},
                                {"FIFO write end", QXouvrirFIFO(fifo.c_str(), 0)}};
  if (qxtest::LocalHostNameResolves()) {
    qxtest::Watchdog watchdog(20);
    int port = 0;
    const int listening = QXcreeSocket(&port);
    const int connected = QXinitConnexion(Arg("127.0.0.1"), port);
    const int accepted = QXaccept(listening);
    opened.insert(opened.end(), {{"listening socket", listening},
                                 {"connected socket", connected},
                                 {"accepted socket", accepted}});
  }
  for (const Opened& o : opened) {
    SCOPED_TRACE(o.name);
    ASSERT_GE(o.fd, 0);
    EXPECT_NE(fcntl(o.fd, F_GETFD) & FD_CLOEXEC, 0);
    close(o.fd);
  }
  close(holder);
}

TEST_F(PrimitivesTest, AcceptOnABadDescriptorFailsSilently) {
  std::string err = qxtest::CaptureFd(2, [] { EXPECT_EQ(QXaccept(-1), -1); });
  EXPECT_EQ(err, "");
}

TEST_F(PrimitivesTest, ConnectionFailuresReportAndLeaveNoDescriptor) {
  if (!qxtest::LocalHostNameResolves()) GTEST_SKIP() << "this host's name does not resolve";
  // A port nobody listens on: taken from a socket that is closed again.
  int port = 0;
  int s = QXcreeSocket(&port);
  ASSERT_GE(s, 0);
  close(s);
  struct Case {
    const char* name;
    std::function<int()> call;
    const char* message;
  } cases[] = {
      {"host does not resolve", [] { return QXinitConnexion(Arg("no-such-host.invalid"), 80); },
       "probleme ds num internet"},
      {"no host", [] { return QXinitConnexion(nullptr, 80); }, "probleme ds num internet"},
      {"refused", [&] { return QXinitConnexion(Arg("127.0.0.1"), port); },
       "connection impossible"},
      {"unknown service (checked before the host)",
       [] { return QXinitConnexionService(Arg("no-such-host.invalid"), Arg("no-such-svc")); },
       "Service tcp inconnu :getservbyname"},
      {"unknown service to listen on", [] { return QXcreeService(Arg("no-such-svc")); },
       "Service tcp inconnu :getservbyname"},
      {"unknown service on every address",
       [] { return QXcreeServiceMultiple(Arg("no-such-svc")); },
       "Service tcp inconnu :getservbyname"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    int before = qxtest::CountOpenFds();
    g_qxErrno = kQx_TimeOut;
    int result = 0;
    std::string err = qxtest::CaptureFd(2, [&] { result = c.call(); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(qxtest::CountOpenFds(), before);
    EXPECT_EQ(QxErrno(), kQx_TimeOut) << "socket primitives leave the error code alone";
    EXPECT_EQ(err.rfind("#(Varnost):QXimpression: " + std::string(c.message) + " (errno = ", 0),
              0u)
        << err;
  }
}

// Listens with QXcreeService on the first of a few registered TCP services
// whose port it can take: a port that another process holds is passed over by
// the call itself (it gives -2), never probed first, so no other process can
// take the port between a probe and the test's own bind.
int ListenOnAFreeService(const char** service) {
  for (const char* name : {"amanda", "bacula-dir", "tproxy"}) {
    if (getservbyname(name, "tcp") == nullptr) continue;
    int fd = -1;
    qxtest::CaptureFd(2, [&] { fd = QXcreeService(Arg(name)); });
    if (fd >= 0) {
      *service = name;
      return fd;
    }
  }
  return -1;
}

TEST_F(PrimitivesTest, ServiceSocketsListenOnTheServicePortAndABusyPortGivesMinusTwo) {
  if (!qxtest::LocalHostNameResolves()) GTEST_SKIP() << "this host's name does not resolve";
  // This host's address only.
  const char* service = nullptr;
  int single = ListenOnAFreeService(&service);
  if (single < 0) GTEST_SKIP() << "no registered service port is free";
  in_port_t servicePort = static_cast<in_port_t>(getservbyname(service, "tcp")->s_port);
  sockaddr_in bound = BoundAddress(single);
  EXPECT_EQ(bound.sin_port, servicePort);
  EXPECT_EQ(bound.sin_addr.s_addr, AddressOf(LocalHostName()));
  close(single);

  // Every address; then the port is busy for both.
  int multiple = QXcreeServiceMultiple(Arg(service));
  ASSERT_GE(multiple, 0);
  EXPECT_EQ(BoundAddress(multiple).sin_addr.s_addr, htonl(INADDR_ANY));
  for (auto create : {QXcreeService, QXcreeServiceMultiple}) {
    int before = qxtest::CountOpenFds();
    int result = 0;
    std::string err = qxtest::CaptureFd(2, [&] { result = create(Arg(service)); });
    EXPECT_EQ(result, -2);
    EXPECT_EQ(qxtest::CountOpenFds(), before);
    EXPECT_NE(err.find("QXimpression: bind socket impossible (errno = "), std::string::npos)
        << err;
  }

  qxtest::Watchdog watchdog(20);
  int client = QXinitConnexionService(Arg("localhost"), Arg(service));
  ASSERT_GE(client, 0);
  int server = QXaccept(multiple);
  ASSERT_GE(server, 0);
  EXPECT_EQ(write(server, "pong", 4), 4);
  char buf[4] = {};
  EXPECT_EQ(read(client, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "pong");
  close(client);
  close(server);
  close(multiple);
}

}  // namespace
