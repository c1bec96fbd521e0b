// SPDX-License-Identifier: MIT
// Handshakes with a thread of this process that blocks in a system call: a
// helper thread waits until the kernel shows the thread blocked in one of the
// calls named (/proc/self/task/TID/syscall), then acts (signals it, feeds its
// peer). A test thus proves the order of events instead of guessing it with a
// pause. Every wait here is bounded.
#ifndef QUARNEL_TESTS_CHANNEL_BLOCKED_CALL_H
#define QUARNEL_TESTS_CHANNEL_BLOCKED_CALL_H

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace qxtest {

// The system calls a thread may block in for each kind of wait (the C library
// may use either number of a pair).
using Calls = std::span<const long>;
inline constexpr long kReadCalls[] = {SYS_read};
inline constexpr long kWriteCalls[] = {SYS_writev, SYS_write};
inline constexpr long kPollCalls[] = {SYS_poll, SYS_ppoll};
inline constexpr long kOpenCalls[] = {SYS_openat, SYS_open};
inline constexpr long kAcceptCalls[] = {SYS_accept, SYS_accept4};

// The calling thread's id, to watch it from another thread.
inline pid_t ThisThread() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// True when thread tid of this process is blocked in one of calls: the file
// names the call's number while the thread sleeps in it, "running" otherwise.
inline bool BlockedIn(pid_t tid, Calls calls) {
  std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/syscall");
  std::string first;
  if (!(file >> first) || first.empty() || first[0] < '0' || first[0] > '9') return false;
  const long number = std::stol(first);
  for (long call : calls) {
    if (call == number) return true;
  }
  return false;
}

// Polls every millisecond, at most timeout_ms, until tid is blocked in one of
// calls. True when it was seen blocked.
inline bool AwaitBlockedIn(pid_t tid, Calls calls,
                           int timeout_ms = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!BlockedIn(tid, calls)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    poll(nullptr, 0, 1);
  }
  return true;
}

// Polls every millisecond, at most timeout_ms, until no byte waits on the pipe
// or FIFO fd (its reader took them all).
inline bool AwaitDrained(int fd, int timeout_ms = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) == 0 && waiting == 0) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    poll(nullptr, 0, 1);
  }
}

// Starts a thread that runs act once this calling thread is seen blocked in
// one of calls. A thread never seen blocked within the bound fails the test,
// and act still runs, so that nothing waits for ever. Join the result.
inline std::thread WhenBlocked(Calls calls, std::function<void()> act) {
  const pid_t tid = ThisThread();
  return std::thread([tid, calls, act = std::move(act)] {
    EXPECT_TRUE(AwaitBlockedIn(tid, calls)) << "the thread was never seen blocked";
    act();
  });
}

// Installs, for its scope, a handler of sig that does nothing and does not
// restart the interrupted call: a blocked call then fails with EINTR, as a
// caller's alarm is meant to make it.
class InterruptingHandler {
 public:
  explicit InterruptingHandler(int sig) : sig_(sig) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(sig_, &action, &old_);
  }
  ~InterruptingHandler() { sigaction(sig_, &old_, nullptr); }
  InterruptingHandler(const InterruptingHandler&) = delete;
  InterruptingHandler& operator=(const InterruptingHandler&) = delete;

 private:
  int sig_;
  struct sigaction old_ {};
};

}  // namespace qxtest

#endif
