// SPDX-License-Identifier: MIT
// Framed descriptor I/O: whole messages over one connected descriptor (a FIFO
// end or a connected socket).
//
// Guarantees:
// - A frame is the 8-byte native length word followed by the text, sent with
//   one writev/sendmsg and completed after a short write, so a frame of at most
//   PIPE_BUF bytes is atomic on a FIFO and the bytes on the wire are exactly the
//   frame's.
// - A write to a reader that is gone fails with -1 (EPIPE). Sockets are always
//   written with MSG_NOSIGNAL, so a socket write never raises SIGPIPE. Other
//   descriptors are written plainly once QXLSurviveBrokenPipes has made
//   SIGPIPE harmless for the process (the library's main does so first thing):
//   from then on SIGPIPE stays harmless as long as the process leaves its
//   disposition alone, and a process that changes it takes broken pipes over.
//   Until then they are written with SIGPIPE blocked in the calling thread for
//   the duration of the write, a SIGPIPE raised by that write being consumed
//   before the mask is restored. No other operation changes the process's
//   signal dispositions.
// - The channel write's switch to blocking mode (QXLMakeBlockingForWrite)
//   costs no system call on a descriptor this layer already knows to be
//   blocking; see there.
// - A frame on a FIFO end this layer opened (QXouvrirFIFO) is one writev: the
//   layer knows from the open that it is no socket and does not try sendmsg
//   on it until it closes it or opens a socket under that number. Any other
//   descriptor is tried with sendmsg first, every time: a number the caller
//   opened, closed or reused itself may be a socket by now.
// - A read never stores more than kQx_MaxMessageLength bytes. A longer frame is
//   consumed and reported as -1; a negative length word, or one that no int
//   result can carry, is reported as -1 without reading further (the stream
//   cannot be trusted past it).
// - A frame is never abandoned midway: "nothing waiting" (0) is reported only
//   before the first byte of a frame; after it the rest is awaited, with poll on
//   a non-blocking descriptor.
// - EINTR before the first byte of a frame fails the call (-1), so a signal can
//   break a blocked read or write; once a frame has begun it is retried, so a
//   signal never leaves half a frame on the wire or in the buffer.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "channel/commip.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXLink.h"

namespace {

using FrameLength = int64_t;
constexpr size_t kLengthWordSize = sizeof(FrameLength);
static_assert(kLengthWordSize == 8, "the length word is 8 bytes");

// Waits until desc can be read (or has hung up or failed); the next read then
// tells which.
void AwaitReady(int desc, short events) {
  pollfd p{desc, events, 0};
  while (poll(&p, 1, -1) < 0 && errno == EINTR) {
  }
}

// Reads exactly n bytes into buf, or discards them when buf is null. Returns
// n; 0 when nothing was waiting on a non-blocking descriptor and the frame had
// not begun; -1 at end of file or on an error.
ssize_t ReadExact(int desc, char* buf, size_t n, bool begun) {
  char scratch[4096];
  size_t done = 0;
  while (done < n) {
    char* dst = buf != nullptr ? buf + done : scratch;
    size_t want = buf != nullptr ? n - done : std::min(n - done, sizeof scratch);
    ssize_t r = read(desc, dst, want);
    if (r > 0) {
      done += static_cast<size_t>(r);
      begun = true;
      continue;
    }
    if (r == 0) return -1;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!begun) return 0;
      AwaitReady(desc, POLLIN);
      continue;
    }
    if (errno == EINTR && begun) continue;
    return -1;
  }
  return static_cast<ssize_t>(n);
}

// Reads one frame. The text goes to buf, which holds kQx_MaxMessageLength
// bytes, or is discarded when buf is null (then any length is accepted and
// reported). Results as QX_Read_Sync.
int ReadFrame(int desc, char* buf) {
  FrameLength length = 0;
  ssize_t r = ReadExact(desc, reinterpret_cast<char*>(&length), kLengthWordSize, false);
  if (r <= 0) return static_cast<int>(r);
  if (length == 0) return -2;
  if (length < 0 || length > INT_MAX) return -1;
  size_t n = static_cast<size_t>(length);
  if (buf == nullptr || length > kQx_MaxMessageLength) {
    if (ReadExact(desc, nullptr, n, true) < 0) return -1;
    return buf == nullptr ? static_cast<int>(n) : -1;
  }
  return static_cast<int>(ReadExact(desc, buf, n, true));
}

// Reads one frame without waiting for one that has not begun; the descriptor
// is left blocking.
int ReadFrameAsync(int desc, char* buf) {
  QXlectNonBloq(desc);
  int r = ReadFrame(desc, buf);
  int saved = errno;
  QXlectBloq(desc);
  errno = saved;
  return r;
}

// Blocks SIGPIPE in the calling thread for its lifetime. When the guarded write
// failed with EPIPE, the SIGPIPE it raised is consumed before the old mask is
// restored, unless one was already pending before (that one belongs to someone
// else and stays).
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    if (sigismember(&old_, SIGPIPE)) {
      sigset_t pending;
      sigpending(&pending);
      pendingBefore_ = sigismember(&pending, SIGPIPE) == 1;
    }
  }
  ~SigpipeBlock() {
    int saved = errno;
    if (raised_ && !pendingBefore_) {
      timespec zero{};
      while (sigtimedwait(&pipe_, nullptr, &zero) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    errno = saved;
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

  void NoteBrokenPipe() { raised_ = true; }

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool pendingBefore_ = false;
  bool raised_ = false;
};

// What this layer knows of a descriptor number, so that the hot path of a
// write makes no system call to find it out again: kBlocking, its
// non-blocking flag was seen clear, or cleared, by this layer, and no
// operation of this layer has set it since; kNotSocket, this layer opened it
// as a FIFO end. Forgotten when this layer closes the descriptor, and
// kNotSocket when this layer opens a socket under that number. Only a FIFO
// end of this layer that the caller closes itself and reuses for a socket of
// its own would then be written with writev, under the SIGPIPE rules of a
// FIFO (see QXLSurviveBrokenPipes): close link ends through this layer.
constexpr int kKindCacheSize = 1024;
enum : unsigned char { kBlocking = 1, kNotSocket = 2 };
std::atomic<unsigned char> g_known[kKindCacheSize];

bool Known(int desc, unsigned char what) {
  return desc >= 0 && desc < kKindCacheSize &&
         (g_known[desc].load(std::memory_order_relaxed) & what) != 0;
}

void Learn(int desc, unsigned char what, bool on) {
  if (desc < 0 || desc >= kKindCacheSize) return;
  if (on) {
    g_known[desc].fetch_or(what, std::memory_order_relaxed);
  } else {
    g_known[desc].fetch_and(static_cast<unsigned char>(~what), std::memory_order_relaxed);
  }
}

void Forget(int desc) {
  if (desc >= 0 && desc < kKindCacheSize) g_known[desc].store(0, std::memory_order_relaxed);
}

// Set once SIGPIPE can no longer end the process (QXLSurviveBrokenPipes).
std::atomic<bool> g_brokenPipesHarmless{false};

// A handler that does nothing, rather than SIG_IGN: a caught signal returns to
// its default in the programs the process starts, an ignored one would stay
// ignored there.
void OnBrokenPipe(int) {}

// One gathering write: on a FIFO end this layer opened, writev; on any other
// descriptor sendmsg with MSG_NOSIGNAL first, which a socket takes and any
// other descriptor refuses at once (ENOTSOCK), then writev. writev runs with
// SIGPIPE blocked unless the process has made it harmless.
ssize_t WriteSome(int desc, iovec* iov, int count) {
  ssize_t r;
  if (!Known(desc, kNotSocket)) {
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = static_cast<size_t>(count);
    r = sendmsg(desc, &msg, MSG_NOSIGNAL);
    if (r >= 0 || errno != ENOTSOCK) return r;
  }
  if (g_brokenPipesHarmless.load(std::memory_order_relaxed)) return writev(desc, iov, count);
  SigpipeBlock block;
  r = writev(desc, iov, count);
  if (r < 0 && errno == EPIPE) block.NoteBrokenPipe();
  return r;
}

// Writes every byte of iov[0..count), completing short writes. Returns false
// on failure (errno set); bytes already sent stay sent.
bool WriteAll(int desc, iovec* iov, int count) {
  bool begun = false;
  while (count > 0 && iov->iov_len == 0) {
    ++iov;
    --count;
  }
  while (count > 0) {
    ssize_t r = WriteSome(desc, iov, count);
    if (r < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        AwaitReady(desc, POLLOUT);
        continue;
      }
      if (errno == EINTR && begun) continue;
      return false;
    }
    if (r == 0) {
      errno = EIO;
      return false;
    }
    begun = true;
    size_t left = static_cast<size_t>(r);
    while (count > 0 && left >= iov->iov_len) {
      left -= iov->iov_len;
      ++iov;
      --count;
    }
    if (count > 0) {
      iov->iov_base = static_cast<char*>(iov->iov_base) + left;
      iov->iov_len -= left;
    }
  }
  return true;
}

void SetNonBlocking(int desc, bool on) {
  int flags = fcntl(desc, F_GETFL);
  if (flags < 0) {
    Learn(desc, kBlocking, false);
    return;
  }
  int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  bool done = wanted == flags || fcntl(desc, F_SETFL, wanted) == 0;
  Learn(desc, kBlocking, done ? !on : (flags & O_NONBLOCK) == 0);
}

void CloseKnown(int desc) {
  Forget(desc);
  close(desc);
}

}  // namespace

extern "C" {

int QXlectDesc(int desc, char* buffer, long taille) {
  if (taille <= 0) return static_cast<int>(std::max(taille, static_cast<long>(INT_MIN)));
  if (taille > INT_MAX || buffer == nullptr) return -1;
  return static_cast<int>(ReadExact(desc, buffer, static_cast<size_t>(taille), false));
}

int QXecritDesc(int desc, long taille, const char* buffer) {
  if (taille <= 0) return 0;
  if (taille > INT_MAX || buffer == nullptr) return -1;
  iovec iov{const_cast<char*>(buffer), static_cast<size_t>(taille)};
  return WriteAll(desc, &iov, 1) ? static_cast<int>(taille) : -1;
}

int QXLWriteFrame(int desc, const char* text, size_t n) {
  if (n == 0) return 0;
  if (n > INT_MAX || text == nullptr) return -1;
  FrameLength length = static_cast<FrameLength>(n);
  iovec iov[2] = {{&length, kLengthWordSize}, {const_cast<char*>(text), n}};
  return WriteAll(desc, iov, 2) ? static_cast<int>(n) : -1;
}

int QX_Write_Sync(int desc, const char* ptr) noexcept {
  if (ptr == nullptr) return -1;
  return QXLWriteFrame(desc, ptr, std::strlen(ptr));
}

int QX_Read_Sync(int desc, char* ptr) noexcept {
  if (ptr == nullptr) return -1;
  return ReadFrame(desc, ptr);
}

int QX_Read_Async(int desc, char* ptr) noexcept {
  if (ptr == nullptr) return -1;
  return ReadFrameAsync(desc, ptr);
}

void QXlectBloq(int desc) noexcept { SetNonBlocking(desc, false); }

void QXlectNonBloq(int desc) noexcept { SetNonBlocking(desc, true); }

void QXcloseLiaison(int desc) noexcept {
  // The marker's write fails harmlessly on a read-only end (a FIFO's input).
  FrameLength marker = 0;
  iovec iov{&marker, kLengthWordSize};
  WriteAll(desc, &iov, 1);
  // Discard the frames already waiting, of any length, until nothing waits,
  // the peer's own marker, end of file, or a write-only end (-1).
  while (ReadFrameAsync(desc, nullptr) > 0) {
  }
  CloseKnown(desc);
}

void QXacceptCloseLiaison(int desc) noexcept { CloseKnown(desc); }

void QXLLearnKind(int desc, bool socket) { Learn(desc, kNotSocket, !socket); }

void QXLMakeBlockingForWrite(int desc) {
  if (!Known(desc, kBlocking)) SetNonBlocking(desc, false);
}

void QXLSurviveBrokenPipes(void) noexcept {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnBrokenPipe;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (sigaction(SIGPIPE, &action, nullptr) == 0) {
    g_brokenPipesHarmless.store(true, std::memory_order_relaxed);
  }
}

}  // extern "C"
