// SPDX-License-Identifier: MIT
// Trace level of the channel layer and its routine and error traces.
#include <cstdarg>

#include "channel/channel_internal.h"
#include "quarnel/QXEnv.h"
#include "runtime/trace.h"
#include "support/format.h"

namespace {

QxChannelTraceLevel g_qxChannelTraceLevel = kQx_Channel_NoTrace;

bool RoutineEnabled() {
  return (g_qxChannelTraceLevel & kQx_Channel_TraceRoutineCalls) != 0 && !qx::TraceSending();
}

}  // namespace

namespace qx::channel {

QxChannelTraceLevel TraceLevel() { return g_qxChannelTraceLevel; }

void RoutineTrace(const char* text) {
  if (RoutineEnabled()) QxTrace(text);
}

void RoutineTraceF(const char* fmt, ...) {
  if (!RoutineEnabled()) return;
  va_list ap;
  va_start(ap, fmt);
  qx::VFormatTo(g_tmpTrace, sizeof g_tmpTrace, fmt, ap);
  va_end(ap);
  QxTrace(g_tmpTrace);
}

void ErrorTrace(const char* text) {
  if ((g_qxChannelTraceLevel & kQx_Channel_TraceError) != 0) QxTrace(text);
}

PQxChannelParam ParamOf(const QxChannelIOParams* request) {
  if (request == nullptr) return nullptr;
  PQxChannel channel = request->pQxChannel;
  if (channel == nullptr || channel == kQx_NotGivenChannel) return nullptr;
  return channel->pQxChannelParam;
}

}  // namespace qx::channel

extern "C" {

void QxChannelInit(void) noexcept { g_qxChannelTraceLevel = kQx_Channel_TraceError; }

void QxSetChannelTrace(QxChannelTraceLevel qxChannelTraceLevel) noexcept {
  if ((g_qxChannelTraceLevel & kQx_Channel_TraceRoutineCalls) != 0) {
    qx::channel::RoutineTrace("QxSetChannelTrace");
  }
  g_qxChannelTraceLevel = qxChannelTraceLevel;
}

}  // extern "C"
