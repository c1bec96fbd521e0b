// SPDX-License-Identifier: MIT
// Message round trips through the framed descriptor I/O, beside a raw
// write/read loop moving the same bytes over the same kind of link in the same
// run.
//
// A round trip: this process sends a message, an echo child process reads it
// and sends it back, this process reads the answer. Links: a FIFO pair (two
// named pipes, one per direction) and a Unix stream socket pair (socketpair,
// one socket per side, both directions). The raw reference writes the frame's
// bytes (length word and text) with one write and reads them back with read
// until complete; the framed benchmarks use QX_Write_Sync and QX_Read_Sync on
// both sides.
//
// Each benchmark reports `vs_raw`: the raw reference's time per round trip
// divided by the measured one (1.0 = as fast as raw; the goal is at least
// 0.8). The two alternate in one loop (AgainstRaw), which a new benchmark of
// another sending path can reuse with its own round trip.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarnel/QXChannel.h"
#include "quarnel/QXLink.h"

namespace {

enum LinkKind : int64_t { kFifoPair = 0, kSocketPair = 1 };

const char* LinkName(int64_t kind) { return kind == kFifoPair ? "fifo" : "socketpair"; }

void Require(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

// The descriptors of one link: this process writes `out` and reads `in`; the
// peer the other way round.
struct Ends {
  int out = -1;
  int in = -1;
  int peerIn = -1;
  int peerOut = -1;
};

// Two FIFOs in a fresh directory, all four ends opened here before the fork.
Ends OpenFifoPair(std::string* dir) {
  char tmpl[] = "/tmp/quarnel-bench-XXXXXX";
  Require(mkdtemp(tmpl) != nullptr, "mkdtemp");
  *dir = tmpl;
  std::string up = *dir + "/up", down = *dir + "/down";
  Require(mkfifo(up.c_str(), 0600) == 0 && mkfifo(down.c_str(), 0600) == 0, "mkfifo");
  Ends e;
  e.peerIn = open(up.c_str(), O_RDONLY | O_NONBLOCK);
  e.in = open(down.c_str(), O_RDONLY | O_NONBLOCK);
  e.out = open(up.c_str(), O_WRONLY);
  e.peerOut = open(down.c_str(), O_WRONLY);
  Require(e.peerIn >= 0 && e.in >= 0 && e.out >= 0 && e.peerOut >= 0, "open fifo");
  QXlectBloq(e.peerIn);
  QXlectBloq(e.in);
  return e;
}

// A connected Unix stream socket pair: one socket per side, both directions.
Ends OpenSocketPair() {
  int sv[2];
  Require(socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0, "socketpair");
  return Ends{sv[0], sv[0], sv[1], sv[1]};
}

bool ReadFull(int fd, char* buf, size_t n) {
  for (size_t done = 0; done < n;) {
    ssize_t r = read(fd, buf + done, n - done);
    if (r <= 0) return false;
    done += static_cast<size_t>(r);
  }
  return true;
}

bool WriteFull(int fd, const char* buf, size_t n) {
  for (size_t done = 0; done < n;) {
    ssize_t r = write(fd, buf + done, n - done);
    if (r <= 0) return false;
    done += static_cast<size_t>(r);
  }
  return true;
}

// A link with an echo child at its far end, for the scope.
class EchoLink {
 public:
  // echo(in, out) runs in the child until it returns.
  EchoLink(int64_t kind, const std::function<void(int, int)>& echo) {
    ends_ = kind == kFifoPair ? OpenFifoPair(&dir_) : OpenSocketPair();
    child_ = fork();
    Require(child_ >= 0, "fork");
    if (child_ == 0) {
      if (ends_.out != ends_.peerOut) close(ends_.out);
      if (ends_.in != ends_.peerIn && ends_.in != ends_.out) close(ends_.in);
      echo(ends_.peerIn, ends_.peerOut);
      _exit(0);
    }
    close(ends_.peerIn);
    if (ends_.peerOut != ends_.peerIn) close(ends_.peerOut);
  }
  ~EchoLink() {
    // End of file on the child's input ends its loop.
    if (ends_.in != ends_.out) close(ends_.in);
    close(ends_.out);
    waitpid(child_, nullptr, 0);
    if (!dir_.empty()) {
      unlink((dir_ + "/up").c_str());
      unlink((dir_ + "/down").c_str());
      rmdir(dir_.c_str());
    }
  }
  EchoLink(const EchoLink&) = delete;
  EchoLink& operator=(const EchoLink&) = delete;

  int out() const { return ends_.out; }
  int in() const { return ends_.in; }

 private:
  Ends ends_;
  std::string dir_;
  pid_t child_ = -1;
};

// The bytes of one frame: the native length word, then the text.
std::string FrameOf(const std::string& text) {
  int64_t length = static_cast<int64_t>(text.size());
  std::string bytes(sizeof length, '\0');
  std::memcpy(bytes.data(), &length, sizeof length);
  return bytes + text;
}

// Echo loops of the far end.
void RawEcho(size_t n, int in, int out) {
  std::vector<char> buf(n);
  while (ReadFull(in, buf.data(), n) && WriteFull(out, buf.data(), n)) {
  }
}

void FrameEcho(int in, int out) {
  std::vector<char> buf(kQx_MaxMessageLength + 1);
  for (int r; (r = QX_Read_Sync(in, buf.data())) > 0;) {
    buf[static_cast<size_t>(r)] = '\0';
    if (QX_Write_Sync(out, buf.data()) != r) break;
  }
}

// Accumulated wall time of the timed calls.
class Stopwatch {
 public:
  template <class F>
  void Time(F&& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    spent_ += std::chrono::steady_clock::now() - start;
    ++count_;
  }
  double MicrosecondsEach() const {
    return count_ == 0 ? 0.0 : std::chrono::duration<double, std::micro>(spent_).count() / count_;
  }

 private:
  std::chrono::steady_clock::duration spent_{};
  int64_t count_ = 0;
};

// The raw reference alternates with the measured round trip in one loop, so
// that changes of machine load hit both alike. Reports the microseconds of
// each and vs_raw = raw time / measured time.
template <class RoundTrip>
void AgainstRaw(benchmark::State& state, int64_t kind, int64_t size, RoundTrip&& measured) {
  const std::string frame = FrameOf(std::string(static_cast<size_t>(size), 'x'));
  const size_t n = frame.size();
  EchoLink raw(kind, [n](int in, int out) { RawEcho(n, in, out); });
  std::vector<char> answer(n);
  Stopwatch rawTime, measuredTime;
  for (auto _ : state) {
    rawTime.Time([&] {
      if (!WriteFull(raw.out(), frame.data(), n) || !ReadFull(raw.in(), answer.data(), n)) {
        state.SkipWithError("raw round trip failed");
      }
    });
    measuredTime.Time(measured);
  }
  state.counters["raw_us"] = rawTime.MicrosecondsEach();
  state.counters["measured_us"] = measuredTime.MicrosecondsEach();
  if (measuredTime.MicrosecondsEach() > 0) {
    state.counters["vs_raw"] = rawTime.MicrosecondsEach() / measuredTime.MicrosecondsEach();
  }
  state.SetLabel(std::string(LinkName(kind)) + " " + std::to_string(size) + "B");
}

void BM_FrameRoundTrip(benchmark::State& state) {
  const int64_t kind = state.range(0), size = state.range(1);
  const std::string message(static_cast<size_t>(size), 'x');
  EchoLink framed(kind, FrameEcho);
  std::vector<char> answer(kQx_MaxMessageLength);
  AgainstRaw(state, kind, size, [&] {
    if (QX_Write_Sync(framed.out(), message.c_str()) != size ||
        QX_Read_Sync(framed.in(), answer.data()) != size) {
      state.SkipWithError("framed round trip failed");
    }
  });
}

BENCHMARK(BM_FrameRoundTrip)->ArgsProduct({{kFifoPair, kSocketPair}, {64, 255}})->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
