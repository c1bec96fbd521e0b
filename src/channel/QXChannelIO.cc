// SPDX-License-Identifier: MIT
// I/O requests of the channel layer: their defaults and setters, and the
// synchronous or non-blocking read and the write of one message.
#include <cstring>

#include "channel/channel_internal.h"
#include "channel/commip.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"
#include "quarnel/QXMemory.h"

namespace {

using qx::channel::ErrorTrace;
using qx::channel::ParamOf;
using qx::channel::RoutineTrace;

bool BufferGiven(const QxChannelIOParams& request) {
  return request.io.wBufferPtr != kQx_NotGivenPtr && request.io.wBufferPtr != nullptr;
}

// Sends the first `length` bytes of buffer, ending early at a NUL, as one
// frame on desc; nothing past them is read. A length of 0 sends nothing and
// does not look at buffer, which may then be null.
int SendMessage(int desc, const char* buffer, size_t length) {
  if (length == 0) return 0;
  return QXLWriteFrame(desc, buffer, strnlen(buffer, length));
}

}  // namespace

extern "C" {

void QxSetChannelDefaultIOParams(PQxChannelIOParams pQxChannelIOParam) noexcept {
  RoutineTrace("Qx SetChannelDefaultIOParams");
  g_qxErrno = kQx_NoErr;
  if (pQxChannelIOParam == nullptr) {
    ErrorTrace("Qx SetChannelDefaultIOParams:pQxChannelIOParam==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  pQxChannelIOParam->pQxChannel = kQx_NotGivenChannel;
  pQxChannelIOParam->io.rBufferPtr = kQx_NotGivenPtr;
  pQxChannelIOParam->length = kQx_NotGivenLength;
  pQxChannelIOParam->qxChannelDir = kQx_ChannelDirNotSpecified;
  pQxChannelIOParam->qxIOSynch = kQx_IOSyncNotSpecified;
  pQxChannelIOParam->ioResult = -1;
  pQxChannelIOParam->actualLength = 0;
  pQxChannelIOParam->qxChannelState = kQx_ChannelStateNotSpecified;
}

PQxChannelIOParams QxNewChannelIOParams(void) noexcept {
  RoutineTrace("Qx NewChannelIOParams");
  g_qxErrno = kQx_NoErr;
  auto request = static_cast<PQxChannelIOParams>(QxCalloc(sizeof(QxChannelIOParams)));
  if (request == nullptr) {
    ErrorTrace("Qx NewChannelIOParams:QxCalloc pQxChannel");
    g_qxErrno = kQx_MemFullErr;
    return nullptr;
  }
  QxSetChannelDefaultIOParams(request);
  if (g_qxErrno != kQx_NoErr) {
    QxFree(request);
    return nullptr;
  }
  return request;
}

void QxSetChannelIOParams(PQxChannelIOParams pQxChannelIOParam, PQxChannel pQxChannel,
                          QxChannelDir qxChannelDir, QxIOSynch qxIOSynch, QxPtr rBufferPtr,
                          QxConstPtr wBufferPtr, size_t length) noexcept {
  RoutineTrace("Qx SetChannelIOParams");
  g_qxErrno = kQx_NoErr;
  if (pQxChannelIOParam == nullptr) {
    ErrorTrace("Qx SetChannelIOParams:pQxChannelIOParam==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  if (pQxChannel == nullptr) {
    ErrorTrace("Qx SetChannelIOParams:pQxChannel==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  if (rBufferPtr == nullptr && wBufferPtr == nullptr) {
    ErrorTrace("Qx SetChannelIOParams:buffers Ptr==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  if (pQxChannel != kQx_NotGivenChannel) pQxChannelIOParam->pQxChannel = pQxChannel;
  // One field holds both buffers: a given write pointer wins over a read one.
  if (rBufferPtr != kQx_NotGivenPtr) pQxChannelIOParam->io.rBufferPtr = rBufferPtr;
  if (wBufferPtr != kQx_NotGivenPtr) pQxChannelIOParam->io.wBufferPtr = wBufferPtr;
  if (length != kQx_NotGivenLength) pQxChannelIOParam->length = length;
  if (qxChannelDir != kQx_ChannelDirNotSpecified) pQxChannelIOParam->qxChannelDir = qxChannelDir;
  if (qxIOSynch != kQx_IOSyncNotSpecified) pQxChannelIOParam->qxIOSynch = qxIOSynch;
}

// The result of the read is stored widened in both length and actualLength:
// N, 0 (nothing waiting), -1 (end of file, error, over-long frame) or -2
// (end-of-link marker). A buffer must hold kQx_MaxMessageLength bytes; the
// text is not NUL-terminated. A request that names no channel, or whose
// buffer is null, is refused with kQx_ParamErr before any I/O.
void QxReadInChannel(PQxChannelIOParams pQxChannelIOParam, QxIOSynch qxIOSynch) noexcept {
  RoutineTrace("Qx ReadInChanne");
  if (pQxChannelIOParam == nullptr) {
    ErrorTrace("Qx ReadInChannel:pQxChannelIOParam==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  QxChannelIOParams& request = *pQxChannelIOParam;
  if (request.qxChannelState == kQx_ChannelBroken) return;
  g_qxErrno = kQx_NoErr;
  request.qxChannelDir = kQx_Read;
  request.qxIOSynch = qxIOSynch;
  if (!BufferGiven(request)) {
    ErrorTrace("Qx ReadInChannel: Read Channel Buffer Not Specified");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  PQxChannelParam param = ParamOf(&request);
  if (param == nullptr) {
    ErrorTrace("Qx ReadInChannel:pQxChannel not specified");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  int desc;
  switch (param->qxChannelType) {
    case kQx_ChannelFIFO: desc = param->channel.fifoParam.fdIn; break;
    case kQx_ChannelSocket: desc = param->channel.socketParam.sockfdInOut; break;
    default: return;
  }
  auto buffer = static_cast<char*>(request.io.rBufferPtr);
  int result = 0;
  if (qxIOSynch == kQx_Sync) {
    QXlectBloq(desc);
    result = QX_Read_Sync(desc, buffer);
  } else if (qxIOSynch == kQx_Async) {
    QXlectNonBloq(desc);
    result = QX_Read_Async(desc, buffer);
  }
  const auto widened = static_cast<size_t>(static_cast<QxSLong>(result));
  request.length = widened;
  request.actualLength = widened;
}

// Sends the first `length` bytes of the buffer, ending early at a NUL, as one
// message. A failed send marks the request broken and closes its descriptor;
// the parameter record then holds -1 for it, so that closing the channel
// never closes that number again (it may by then belong to another file).
void QxWriteInChannel(PQxChannelIOParams pQxChannelIOParam, QxIOSynch qxIOSynch) noexcept {
  RoutineTrace("Qx WriteInChannel");
  if (pQxChannelIOParam == nullptr) {
    ErrorTrace("Qx WriteInChannel:pQxChannelIOParam==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  QxChannelIOParams& request = *pQxChannelIOParam;
  if (request.qxChannelState == kQx_ChannelBroken) return;
  g_qxErrno = kQx_NoErr;
  request.qxChannelDir = kQx_Write;
  request.qxIOSynch = qxIOSynch;
  // A null buffer holds no bytes: it can only carry the empty message.
  const bool emptyNull = request.io.wBufferPtr == nullptr && request.length == 0;
  if (!BufferGiven(request) && !emptyNull) {
    ErrorTrace("Qx WriteInChannel: Write Channel Buffer Not Specified");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  if (request.length == kQx_NotGivenLength) {
    ErrorTrace("Qx WriteInChannel: Channel Message Length Not Specified");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  PQxChannelParam param = ParamOf(&request);
  if (param == nullptr) {
    ErrorTrace("Qx WriteInChannel:pQxChannel not specified");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  int* desc;
  const char* brokenText;
  switch (param->qxChannelType) {
    case kQx_ChannelFIFO:
      desc = &param->channel.fifoParam.fdOut;
      brokenText = "Qx WriteInChannel FIFO:  BROKEN COMMUNICATION";
      QXLMakeBlockingForWrite(*desc);
      break;
    case kQx_ChannelSocket:
      desc = &param->channel.socketParam.sockfdInOut;
      brokenText = "Qx WriteInChannel Socket:  BROKEN COMMUNICATION";
      break;
    default: return;
  }
  const int sent = SendMessage(*desc, static_cast<const char*>(request.io.wBufferPtr),
                               request.length);
  if (sent < 0) {
    g_qxErrno = kQx_BrokenCom;
    request.qxChannelState = kQx_ChannelBroken;
    if (*desc >= 0) QXacceptCloseLiaison(*desc);
    *desc = -1;
    ErrorTrace(brokenText);
    return;
  }
  request.actualLength = request.length;
}

}  // extern "C"
