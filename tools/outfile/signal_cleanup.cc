// SPDX-License-Identifier: MIT
#include "signal_cleanup.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace outfile {

namespace {

// What the handler reads: fixed buffers and flags, each set before the
// handler can see it (the signals are held meanwhile), and the process that
// armed them, so that a child between fork and exec never removes the
// program's files. The handler calls only unlink, signal and raise, which are
// async-signal-safe.
constexpr int kGuards = 4;
char g_paths[kGuards][PATH_MAX];
volatile sig_atomic_t g_armed[kGuards] = {};
volatile pid_t g_owner = 0;

void RemoveThenDie(int sig) {
  if (getpid() == g_owner) {
    for (int i = 0; i < kGuards; ++i) {
      if (g_armed[i]) unlink(g_paths[i]);
    }
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

void InstallOnce() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = RemoveThenDie;
  sigemptyset(&action.sa_mask);
  for (const int sig : {SIGINT, SIGTERM}) {
    struct sigaction old;
    // A signal the program ignores, or catches itself, stays so.
    if (sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) != 0 || old.sa_handler != SIG_DFL) {
      continue;
    }
    sigaction(sig, &action, nullptr);
  }
}

}  // namespace

EndingSignalsHeld::EndingSignalsHeld() {
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &ending, &old_);
}

EndingSignalsHeld::~EndingSignalsHeld() {
  const int saved = errno;
  pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  errno = saved;
}

int CreateRemovedOnSignal(std::string* name, int* guard) {
  *guard = -1;
  std::string pattern = *name;
  EndingSignalsHeld held;
  InstallOnce();
  for (int i = 0; i < kGuards && *guard < 0; ++i) {
    if (!g_armed[i] && pattern.size() < sizeof g_paths[i]) *guard = i;
  }
  char* buffer = *guard >= 0 ? g_paths[*guard] : pattern.data();
  if (*guard >= 0) std::memcpy(buffer, pattern.c_str(), pattern.size() + 1);
  const int fd = mkostemp(buffer, O_CLOEXEC);
  if (fd < 0) {
    *guard = -1;
    return -1;
  }
  *name = buffer;
  if (*guard >= 0) {
    g_owner = getpid();
    g_armed[*guard] = 1;
  }
  return fd;
}

void KeepOnSignal(int guard) {
  if (guard >= 0 && guard < kGuards) g_armed[guard] = 0;
}

}  // namespace outfile
