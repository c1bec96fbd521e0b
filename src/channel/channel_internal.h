// SPDX-License-Identifier: MIT
// Shared helpers of the channel layer's files: its trace levels and the
// lookup of the descriptors a request runs on. Not part of the public
// interface.
#ifndef QUARNEL_SRC_CHANNEL_CHANNEL_INTERNAL_H
#define QUARNEL_SRC_CHANNEL_CHANNEL_INTERNAL_H

#include <poll.h>
#include <time.h>

#include <climits>
#include <vector>

#include "quarnel/QXChannel.h"

namespace qx::channel {

// Current channel trace level (kQx_Channel_* bits).
QxChannelTraceLevel TraceLevel();

// Routine-call trace: written when the routine bit is set, except while a
// trace is being sent, so that the sending path never traces itself.
void RoutineTrace(const char* text);
void RoutineTraceF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Error trace: written when the error bit is set.
void ErrorTrace(const char* text);

// Polls fds with a wait's time-out: (0, -1) without limit, otherwise sec whole
// seconds and usec microseconds (negative values are refused with EINVAL).
// A wait longer than sliceMs milliseconds (by default poll's largest) is made
// of several polls, and a time-out (0) is reported only once the whole time
// has passed. Results as poll's; a descriptor that is not open fails (EBADF).
int PollWait(std::vector<pollfd>& fds, time_t sec, long usec, int sliceMs = INT_MAX);

// Parameter record of the channel a request names, or null when the request
// names no channel (null or not given) or its channel has no parameter record.
PQxChannelParam ParamOf(const QxChannelIOParams* request);

}  // namespace qx::channel

#endif
