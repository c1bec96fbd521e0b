// SPDX-License-Identifier: MIT
// The wait on several channel I/O requests until the descriptor of at least
// one of them is ready.
//
// The descriptors are watched with poll, so a descriptor of any number is
// watched correctly (a fixed-capacity descriptor set would be overrun by one
// at or above its capacity). The results keep select's meaning: a count of
// ready (descriptor, direction) pairs, 0 on time-out, -1 on failure with the
// failure told by errno; a descriptor that is not open fails the wait (EBADF)
// as select does. A request whose descriptor was released (a negative number:
// its link failed and was closed, or never came up) fails the wait the same
// way, at once: poll would skip such an entry and wait on the others, for
// ever when there is no time-out. So does a list that leaves nothing to watch
// (only broken requests, say, after writes to a peer that has gone): a wait
// on nothing would only ever end at its time-out.
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <new>
#include <vector>

#include "channel/channel_internal.h"
#include "channel/commip.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"

namespace {

// What a watched descriptor reports when it is ready in each direction: a
// hang-up or an error counts as ready, so that the following read or write
// tells the caller about it instead of the wait blocking.
constexpr short kReadReady = POLLIN | POLLHUP | POLLERR;
constexpr short kWriteReady = POLLOUT | POLLHUP | POLLERR;

bool ReadyFor(const pollfd& p, short event) {
  switch (event) {
    case POLLIN:
      return (p.revents & kReadReady) != 0;
    case POLLOUT:
      return (p.revents & kWriteReady) != 0;
    default:
      return (p.revents & event) != 0;
  }
}

// Number of (descriptor, direction) pairs ready, as select counts them.
int CountReady(const std::vector<pollfd>& fds) {
  int ready = 0;
  for (const pollfd& p : fds) {
    for (short event : {POLLIN, POLLOUT, POLLPRI}) {
      if ((p.events & event) != 0 && ReadyFor(p, event)) ++ready;
    }
  }
  return ready;
}

int PollOnce(std::vector<pollfd>& fds, int timeoutMs) {
  int r = poll(fds.data(), fds.size(), timeoutMs);
  if (r > 0 && std::any_of(fds.begin(), fds.end(),
                           [](const pollfd& p) { return (p.revents & POLLNVAL) != 0; })) {
    errno = EBADF;
    return -1;
  }
  return r;
}

// The descriptors of one wait, one poll entry per descriptor.
struct WaitSet {
  std::vector<pollfd> fds;
  bool exhausted = false;
  bool released = false;  // a watched request has no descriptor any more

  void Add(int fd, short event) {
    if (fd < 0) {
      released = true;
      return;
    }
    for (pollfd& p : fds) {
      if (p.fd == fd) {
        p.events |= event;
        return;
      }
    }
    try {
      fds.push_back(pollfd{fd, event, 0});
    } catch (const std::bad_alloc&) {
      exhausted = true;
    }
  }

  bool Ready(int fd, short event) const {
    for (const pollfd& p : fds) {
      if (p.fd == fd) return ReadyFor(p, event);
    }
    return false;
  }
};

// The descriptor and direction a request is watched for; false when it is not
// watched (broken, no usable channel, no direction, unknown channel type).
bool Watched(const QxChannelIOParams* request, int* fd, short* event) {
  if (request == nullptr || request->qxChannelState == kQx_ChannelBroken) return false;
  PQxChannel channel = request->pQxChannel;
  if (channel == nullptr || channel == kQx_NotGivenChannel) return false;
  const QxChannelParam* param = channel->pQxChannelParam;
  if (param == nullptr) return false;
  bool reading = request->qxChannelDir == kQx_Read;
  if (!reading && request->qxChannelDir != kQx_Write) return false;
  switch (param->qxChannelType) {
    case kQx_ChannelFIFO:
      *fd = reading ? param->channel.fifoParam.fdIn : param->channel.fifoParam.fdOut;
      break;
    case kQx_ChannelSocket:
      *fd = param->channel.socketParam.sockfdInOut;
      break;
    default:
      return false;
  }
  *event = reading ? POLLIN : POLLOUT;
  return true;
}

}  // namespace

namespace qx::channel {

int PollWait(std::vector<pollfd>& fds, time_t sec, long usec, int sliceMs) {
  if (sec == 0 && usec == -1) return PollOnce(fds, -1);
  if (sec < 0 || usec < 0) {
    errno = EINVAL;
    return -1;
  }
  using Clock = std::chrono::steady_clock;
  // Bounds that keep the deadline representable; either is decades.
  constexpr time_t kMaxSeconds = 1000000000;
  constexpr long kMaxMicroseconds = 1000000000000000L;
  auto deadline = Clock::now() + std::chrono::seconds(std::min(sec, kMaxSeconds)) +
                  std::chrono::microseconds(std::min(usec, kMaxMicroseconds));
  for (;;) {
    auto left = deadline - Clock::now();
    long long ms = left.count() <= 0
                       ? 0
                       : std::chrono::ceil<std::chrono::milliseconds>(left).count();
    int r = PollOnce(fds, static_cast<int>(std::min<long long>(ms, std::max(sliceMs, 1))));
    if (r != 0 || Clock::now() >= deadline) return r;
  }
}

}  // namespace qx::channel

extern "C" {

void* AjouterDescripteur(void* pDonnee, void* param1, void*, void*, void*, void*, void*, void*,
                         void*) {
  int fd = -1;
  short event = 0;
  if (Watched(static_cast<const QxChannelIOParams*>(pDonnee), &fd, &event)) {
    static_cast<WaitSet*>(param1)->Add(fd, event);
  }
  return nullptr;
}

void* ScruterDescripteur(void* pDonnee, void* param1, void*, void*, void*, void*, void*, void*,
                         void*) {
  auto request = static_cast<QxChannelIOParams*>(pDonnee);
  int fd = -1;
  short event = 0;
  if (Watched(request, &fd, &event)) {
    request->qxChannelState = static_cast<const WaitSet*>(param1)->Ready(fd, event)
                                  ? kQx_ChannelIOCharsAvailable
                                  : kQx_ChannelEmpty;
  }
  return nullptr;
}

int QXselect(fd_set* readfds, fd_set* writefds, fd_set* exceptfds, time_t sec, long msec) {
  fd_set* sets[] = {readfds, writefds, exceptfds};
  const short events[] = {POLLIN, POLLOUT, POLLPRI};
  std::vector<pollfd> fds;
  try {
    for (int fd = 0; fd < FD_SETSIZE; ++fd) {
      short wanted = 0;
      for (int i = 0; i < 3; ++i) {
        if (sets[i] != nullptr && FD_ISSET(fd, sets[i])) wanted |= events[i];
      }
      if (wanted != 0) fds.push_back(pollfd{fd, wanted, 0});
    }
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return -1;
  }
  int r = qx::channel::PollWait(fds, sec, msec);
  if (r < 0) return -1;
  for (fd_set* set : sets) {
    if (set != nullptr) FD_ZERO(set);
  }
  for (const pollfd& p : fds) {
    for (int i = 0; i < 3; ++i) {
      if (sets[i] != nullptr && (p.events & events[i]) != 0 && ReadyFor(p, events[i])) {
        FD_SET(p.fd, sets[i]);
      }
    }
  }
  return CountReady(fds);
}

int QxLWaitForChannelMessages(CListe channelIOParamList, time_t tv_sec, long tv_nsec) noexcept {
  g_qxErrno = kQx_NoErr;
  if (channelIOParamList == nullptr) {
    QxTrace("QxL WaitForChannelMessages:channelIOParamList==NULL");
    g_qxErrno = kQx_ParamErr;
    return -1;
  }
  WaitSet set;
  ParcoursListe(channelIOParamList, AjouterDescripteur, &set, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr);
  if (set.exhausted) {
    g_qxErrno = kQx_MemFullErr;
    return -1;
  }
  int r = -1;
  if (set.released || set.fds.empty()) {
    errno = EBADF;
  } else {
    r = qx::channel::PollWait(set.fds, tv_sec, tv_nsec);
  }
  if (r == 0) {
    QxTrace("QxL WaitForChannelMessages:probleme de select: timeout atteint");
    g_qxErrno = kQx_TimeOut;
    return 0;
  }
  if (r < 0) {
    // The trace may send a command and reset g_qxErrno: the code is set after.
    if (errno == EINTR) {
      QxTrace("QxL WaitForChannelMessages:passage ds select mais signal recu ");
      g_qxErrno = kQx_SelectInterupt;
    } else if (errno == ENOMEM) {
      g_qxErrno = kQx_MemFullErr;
    } else {
      QxTrace("QxL WaitForChannelMessages:probleme de select");
      g_qxErrno = kQx_InternalErr;
    }
    return -1;
  }
  ParcoursListe(channelIOParamList, ScruterDescripteur, &set, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr);
  return CountReady(set.fds);
}

}  // extern "C"
