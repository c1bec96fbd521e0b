// SPDX-License-Identifier: MIT
// The wait on several channel requests at once.
#include "channel/channel_internal.h"
#include "quarnel/CListes.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"

namespace {

// Result of the visitor for a null request (the walk stops on any non-null).
int g_nullRequestMark;

// List visitor: stops the walk at the first request the wait would watch
// although it names no channel to watch.
void* FindUndirected(void* datum, void*, void*, void*, void*, void*, void*, void*, void*) {
  auto request = static_cast<PQxChannelIOParams>(datum);
  if (request == nullptr) return &g_nullRequestMark;
  if (request->qxChannelState == kQx_ChannelBroken) return nullptr;
  if (request->qxChannelDir != kQx_Read && request->qxChannelDir != kQx_Write) return nullptr;
  return qx::channel::ParamOf(request) == nullptr ? request : nullptr;
}

}  // namespace

extern "C" {

// Every request the wait would watch (not broken, direction read or write)
// must name an open channel: a list holding one that does not, or a null
// request, is refused with kQx_ParamErr before anything is watched.
void QxWaitForChannelMessages(CListe channelIOParamList, time_t tv_sec, long tv_nsec) noexcept {
  qx::channel::RoutineTrace("Qx WaitForChannelMessages");
  g_qxErrno = kQx_NoErr;
  if (channelIOParamList == nullptr) {
    qx::channel::ErrorTrace("Qx WaitForChannelMessages:channelIOParamList==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  if (ParcoursListe(channelIOParamList, FindUndirected, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, nullptr, nullptr) != nullptr) {
    qx::channel::ErrorTrace("Qx WaitForChannelMessages:pQxChannel not specified");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  QxLWaitForChannelMessages(channelIOParamList, tv_sec, tv_nsec);
}

}  // extern "C"
