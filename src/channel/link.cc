// SPDX-License-Identifier: MIT
// Helpers shared by the files of the link layer and by the channel layer
// above it: the check of a required argument, the opening and the end of link
// descriptors, and the removal of what a failed open created.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "channel/link_internal.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"
#include "runtime/trace.h"

namespace qx::link {

namespace {

// The mask of the thread before the ChildSignalHeld in scope, if any.
sigset_t g_maskBeforeHold;
bool g_holding = false;

}  // namespace

ChildSignalHeld::ChildSignalHeld() {
  sigset_t child;
  sigemptyset(&child);
  sigaddset(&child, SIGCHLD);
  pthread_sigmask(SIG_BLOCK, &child, &g_maskBeforeHold);
  g_holding = true;
}

ChildSignalHeld::~ChildSignalHeld() {
  int saved = errno;
  g_holding = false;
  pthread_sigmask(SIG_SETMASK, &g_maskBeforeHold, nullptr);
  errno = saved;
}

void RestoreMaskInChild() {
  if (g_holding) sigprocmask(SIG_SETMASK, &g_maskBeforeHold, nullptr);
}

bool Given(const char* operation, const char* name, const void* argument) {
  if (argument != nullptr) return true;
  // Traced first: a trace sent to the host may itself set the error code,
  // and the operation's own code must be the one left.
  qx::TraceF("%s:%s==NULL", operation, name);
  g_qxErrno = kQx_ParamErr;
  return false;
}

void EndLink(int fd) {
  if (fd >= 0) QXcloseLiaison(fd);
}

bool OpenFifoEnds(FifoEnd first, FifoEnd second) {
  *second.fd = -1;
  *first.fd = QXouvrirFIFO(first.path, first.sens);
  if (*first.fd < 0 || QxErrno() != kQx_NoErr) {
    if (*first.fd >= 0) QXacceptCloseLiaison(*first.fd);
    *first.fd = -1;
    return false;
  }
  *second.fd = QXouvrirFIFO(second.path, second.sens);
  if (*second.fd < 0 || QxErrno() != kQx_NoErr) {
    if (*second.fd >= 0) QXacceptCloseLiaison(*second.fd);
    QXacceptCloseLiaison(*first.fd);
    *first.fd = -1;
    *second.fd = -1;
    return false;
  }
  return true;
}

void RemoveCreated(std::initializer_list<const char*> paths) {
  int err = errno;
  for (const char* path : paths) {
    if (path != nullptr) unlink(path);
  }
  errno = err;
}

void RemoveFifoLink(std::initializer_list<const char*> fifos,
                    std::initializer_list<const char*> others) {
  int err = errno;
  constexpr size_t kMaxFifos = 2;
  int held[kMaxFifos] = {-1, -1};
  size_t count = 0;
  for (const char* path : fifos) {
    if (path == nullptr || count == kMaxFifos) continue;
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISFIFO(st.st_mode)) {
      held[count++] = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
  }
  RemoveCreated(others);
  RemoveCreated(fifos);
  for (size_t i = 0; i < count; ++i) {
    if (held[i] >= 0) close(held[i]);
  }
  errno = err;
}

}  // namespace qx::link
