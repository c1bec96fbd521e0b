// SPDX-License-Identifier: MIT
// Real links for the descriptor I/O tests: a FIFO made with mkfifo, or a
// connected loopback TCP pair, plus a background child process to play a
// late or slow peer. Every wait here is bounded.
#ifndef QUARNEL_TESTS_CHANNEL_FRAME_LINK_H
#define QUARNEL_TESTS_CHANNEL_FRAME_LINK_H

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

#include "common/qxtest.h"

namespace qxtest {

enum class Transport { kFifo, kTcp };

inline const char* TransportName(Transport t) { return t == Transport::kFifo ? "Fifo" : "Tcp"; }

// One direction of a link: bytes written to w are read from r. For TCP both
// are sockets and also work the other way round.
struct Link {
  int w = -1;
  int r = -1;

  Link() = default;
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;
  ~Link() {
    CloseWriter();
    CloseReader();
  }
  void CloseWriter() {
    if (w >= 0) close(w);
    w = -1;
  }
  void CloseReader() {
    if (r >= 0) close(r);
    r = -1;
  }
};

inline void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

// A FIFO in dir, both ends open and blocking.
inline void OpenFifo(const TempDir& dir, Link* link, const std::string& name = "fifo") {
  std::string path = dir.File(name);
  Check(mkfifo(path.c_str(), 0600) == 0, "mkfifo");
  link->r = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  Check(link->r >= 0, "open fifo for reading");
  link->w = open(path.c_str(), O_WRONLY);
  Check(link->w >= 0, "open fifo for writing");
  Check(fcntl(link->r, F_SETFL, fcntl(link->r, F_GETFL) & ~O_NONBLOCK) == 0, "fcntl");
}

// A connected loopback TCP pair.
inline void OpenTcp(Link* link) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  Check(listener >= 0, "socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  Check(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0, "bind");
  Check(listen(listener, 1) == 0, "listen");
  Check(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0, "getsockname");
  link->w = socket(AF_INET, SOCK_STREAM, 0);
  Check(link->w >= 0, "socket");
  Check(connect(link->w, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0, "connect");
  link->r = accept(listener, nullptr, nullptr);
  Check(link->r >= 0, "accept");
  close(listener);
}

inline void Open(Transport t, const TempDir& dir, Link* link) {
  if (t == Transport::kFifo) {
    OpenFifo(dir, link);
  } else {
    OpenTcp(link);
  }
}

// The bytes of a frame: the 8-byte native length, then the text.
inline std::string Frame(const std::string& text, int64_t length) {
  std::string bytes(sizeof length, '\0');
  std::memcpy(bytes.data(), &length, sizeof length);
  return bytes + text;
}
inline std::string Frame(const std::string& text) {
  return Frame(text, static_cast<int64_t>(text.size()));
}

inline bool Put(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Up to n bytes, waiting at most timeout_ms for each read; fewer at end of
// file or time-out.
inline std::string Take(int fd, size_t n, int timeout_ms = 5000) {
  std::string got;
  char buf[4096];
  while (got.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) break;
    ssize_t r = read(fd, buf, std::min(sizeof buf, n - got.size()));
    if (r <= 0) break;
    got.append(buf, static_cast<size_t>(r));
  }
  return got;
}

// True when a byte is waiting on fd now.
inline bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

inline bool IsNonBlocking(int fd) { return (fcntl(fd, F_GETFL) & O_NONBLOCK) != 0; }

// Starts body in a child process that then exits (status 0, or body's
// result); reap it with WaitChild.
inline pid_t StartChild(const std::function<int()>& body) {
  pid_t pid = fork();
  Check(pid >= 0, "fork");
  if (pid == 0) _exit(body());
  return pid;
}

inline void SleepMs(int ms) { poll(nullptr, 0, ms); }

}  // namespace qxtest

#endif
