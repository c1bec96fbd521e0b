// Shared helpers of the channel layer's files: its trace levels and the
// lookup of the descriptors a request runs on. Not part of the public
// interface.
#ifndef QUARNEL_SRC_CHANNEL_CHANNEL_INTERNAL_H
#define QUARNEL_SRC_CHANNEL_CHANNEL_INTERNAL_H

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

// Parameter record of the channel a request names, or null when the request
// names no channel (null or not given) or its channel has no parameter record.
PQxChannelParam ParamOf(const QxChannelIOParams* request);

}  // namespace qx::channel

#endif
