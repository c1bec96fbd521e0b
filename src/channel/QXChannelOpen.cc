// Parameter records, and the opening and closing of a channel in one of its
// four usages through the connection functions of the link layer.
#include <cstring>

#include "channel/channel_internal.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"
#include "quarnel/QXMemory.h"
#include "runtime/trace.h"

namespace {

using qx::channel::ErrorTrace;
using qx::channel::RoutineTrace;
using qx::channel::RoutineTraceF;

bool KnownUsage(int usage) { return usage >= kQx_ServerProvider && usage <= kQx_ClientConsumer; }

// Whether the usage takes a path (gate file or program).
bool UsageNeedsPath(int usage) { return usage != kQx_ServerConsumer; }

// Stores in *slot a copy of the gate file name that a server provider keeps
// for its close; the copy lives as long as the process. Reports
// kQx_MemFullErr when memory is exhausted.
bool KeepGateFileName(char** slot, const char* path) {
  const size_t size = std::strlen(path) + 1;
  *slot = static_cast<char*>(QxCalloc(size));
  if (*slot == nullptr) {
    ErrorTrace("Qx OpenChannel:QxCalloc pGateFileName");
    g_qxErrno = kQx_MemFullErr;
    return false;
  }
  std::memcpy(*slot, path, size);
  return true;
}

// Refuses with kQx_ParamErr when text is null; name is the field's name.
bool Given(const char* text, const char* name) {
  if (text != nullptr) return true;
  qx::TraceF("Qx OpenChannel:%s==NULL", name);
  g_qxErrno = kQx_ParamErr;
  return false;
}

}  // namespace

extern "C" {

void QxInitChannelParam(PQxChannelParam pQxChannelParam, QxChannelType qxChannelType) noexcept {
  switch (qxChannelType) {
    case kQx_ChannelFIFO: RoutineTrace("Qx InitChannelParam: qxChannelType = kQx_ChannelFIFO"); break;
    case kQx_ChannelSocket:
      RoutineTrace("Qx InitChannelParam: qxChannelType = kQx_ChannelSocket");
      break;
    default:
      RoutineTraceF("### Qx InitChannelParam:unknown qxChannelType = %d",
                    static_cast<int>(qxChannelType));
  }
  g_qxErrno = kQx_NoErr;
  if (pQxChannelParam == nullptr) {
    ErrorTrace("Qx InitChannelParam:pQxChannelParam==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  pQxChannelParam->qxChannelType = qxChannelType;
  switch (qxChannelType) {
    case kQx_ChannelFIFO: {
      QxChannelFIFOParam& fifo = pQxChannelParam->channel.fifoParam;
      fifo.pChannelIn = nullptr;
      fifo.pChannelOut = nullptr;
      fifo.pGateFileName = nullptr;
      fifo.fdIn = -1;
      fifo.fdOut = -1;
      break;
    }
    case kQx_ChannelSocket: {
      QxChannelSocketParam& socket = pQxChannelParam->channel.socketParam;
      socket.pGateFileName = nullptr;
      socket.sockfdInOut = -1;
      break;
    }
    default:
      qx::TraceF("### Qx InitChannelParam:unknown qxChannelType = %d",
                 static_cast<int>(qxChannelType));
      g_qxErrno = kQx_ParamErr;
  }
}

int QxOpenChannelFIFO(PQxChannel pQxChannel, char* path) noexcept {
  RoutineTrace("Qx OpenChannelFIFO");
  g_qxErrno = kQx_NoErr;
  QxChannelFIFOParam& fifo = pQxChannel->pQxChannelParam->channel.fifoParam;
  const int usage = pQxChannel->qxChannelUsage;
  if (usage != kQx_ClientConsumer &&
      (!Given(fifo.pChannelIn, "pChannelIn") || !Given(fifo.pChannelOut, "pChannelOut"))) {
    return -1;
  }
  int result = -1;
  const char* failure = nullptr;
  switch (usage) {
    case kQx_ServerProvider:
      if (!KeepGateFileName(&fifo.pGateFileName, path)) return -1;
      result = OpenFifoConnexionForServerProvider(path, fifo.pChannelIn, fifo.pChannelOut,
                                                  &fifo.fdIn, &fifo.fdOut);
      failure = "OpenChannelFifo kQx_ServerProvider != 0";
      break;
    case kQx_ServerConsumer:
      result = OpenFifoConnexionForServerConsumer(fifo.pChannelIn, fifo.pChannelOut, &fifo.fdIn,
                                                  &fifo.fdOut);
      failure = "OpenChannelFifo kQx_ServerConsumer !=0";
      break;
    case kQx_ClientProvider:
      result = OpenFifoConnexionForClientProvider(path, fifo.pChannelIn, fifo.pChannelOut,
                                                  &fifo.fdIn, &fifo.fdOut);
      failure = "OpenChannelFifo kQx_ClientProvider !=0";
      break;
    case kQx_ClientConsumer:
      result = OpenFifoConnexionForClientConsumer(path, &fifo.fdIn, &fifo.fdOut);
      failure = "OpenChannelFifo kQx_ClientConsumer !=0";
      break;
    default:
      qx::TraceF("Qx OpenChannel:unknown qxChannelUsage = %d", usage);
      g_qxErrno = kQx_ParamErr;
      return -1;
  }
  if (result != 0) QxTrace(failure);
  return result;
}

int QxOpenChannelSocket(PQxChannel pQxChannel, char* path) noexcept {
  RoutineTrace("Qx OpenChannelSocket");
  g_qxErrno = kQx_NoErr;
  QxChannelSocketParam& socket = pQxChannel->pQxChannelParam->channel.socketParam;
  const int usage = pQxChannel->qxChannelUsage;
  int result = -1;
  const char* failure = nullptr;
  switch (usage) {
    case kQx_ServerProvider:
      if (!KeepGateFileName(&socket.pGateFileName, path)) return -1;
      result = OpenSocketConnexionForServerProvider(path, &socket.sockfdInOut);
      failure = "OpenChannelSocket kQx_ServerProvider !=0";
      break;
    case kQx_ServerConsumer:
      result = OpenSocketConnexionForServerConsumer(socket.sin_port, &socket.sockfdInOut);
      failure = "OpenChannelSocket kQx_ServerConsumer !=0";
      break;
    case kQx_ClientProvider:
      result = OpenSocketConnexionForClientProvider(path, &socket.sockfdInOut);
      failure = "OpenChannelSocket kQx_ClientProvider !=0";
      break;
    case kQx_ClientConsumer:
      result = OpenSocketConnexionForClientConsumer(path, &socket.sockfdInOut);
      failure = "OpenChannelSocket kQx_ClientConsumer !=0";
      break;
    default:
      qx::TraceF("Qx OpenChannel:unknown qxChannelUsage = %d", usage);
      g_qxErrno = kQx_ParamErr;
      return -1;
  }
  if (result != 0) QxTrace(failure);
  return result;
}

// The open fails (null result) only when the connection reports an error
// code; a link failure that sets none is traced and the channel is returned
// with its descriptors as the connection function left them.
PQxChannel QxOpenChannel(PQxChannelParam pQxChannelParam, QxChannelUsage qxChannelUsage,
                         char* path) noexcept {
  RoutineTrace("Qx OpenConsumerChannel");
  g_qxErrno = kQx_NoErr;
  if (pQxChannelParam == nullptr) {
    ErrorTrace("Qx OpenChannel:pQxChannelParam==NULL");
    g_qxErrno = kQx_ParamErr;
    return nullptr;
  }
  const int usage = qxChannelUsage;
  if (!KnownUsage(usage)) {
    qx::TraceF("Qx OpenChannel:unknown qxChannelUsage = %d", usage);
    g_qxErrno = kQx_ParamErr;
    return nullptr;
  }
  // The connection functions write, read or start what path names.
  if (UsageNeedsPath(usage) && !Given(path, "path")) return nullptr;
  auto channel = static_cast<PQxChannel>(QxCalloc(sizeof(QxChannel)));
  if (channel == nullptr) {
    ErrorTrace("Qx OpenChannel:QxCalloc pQxChannel");
    g_qxErrno = kQx_MemFullErr;
    return nullptr;
  }
  channel->pQxChannelParam = pQxChannelParam;
  channel->qxChannelUsage = qxChannelUsage;
  switch (pQxChannelParam->qxChannelType) {
    case kQx_ChannelFIFO: QxOpenChannelFIFO(channel, path); break;
    case kQx_ChannelSocket: QxOpenChannelSocket(channel, path); break;
    default:
      qx::TraceF("Qx OpenChannel:unknown qxChannelType = %d",
                 static_cast<int>(pQxChannelParam->qxChannelType));
      g_qxErrno = kQx_ParamErr;
  }
  if (QxErrno() != kQx_NoErr) {
    QxFree(channel);
    return nullptr;
  }
  return channel;
}

void QxCloseChannelFIFO(PQxChannel pQxChannel) noexcept {
  RoutineTrace("Qx CloseChannelFIFO");
  g_qxErrno = kQx_NoErr;
  QxChannelFIFOParam& fifo = pQxChannel->pQxChannelParam->channel.fifoParam;
  switch (pQxChannel->qxChannelUsage) {
    case kQx_ServerProvider:
      CloseFifoConnexionForServerProvider(fifo.pGateFileName, fifo.fdIn, fifo.fdOut);
      break;
    case kQx_ServerConsumer: CloseFifoConnexionForServerConsumer(fifo.fdIn, fifo.fdOut); break;
    case kQx_ClientProvider:
      CloseFifoConnexionForClientProvider(fifo.pChannelIn, fifo.pChannelOut, fifo.fdIn,
                                          fifo.fdOut);
      break;
    case kQx_ClientConsumer: CloseFifoConnexionForClientConsumer(fifo.fdIn, fifo.fdOut); break;
    default: QxTrace("CloseChannelFIFO unknown qxChannelUsage");
  }
}

void QxCloseChannelSocket(PQxChannel pQxChannel) noexcept {
  RoutineTrace("Qx CloseChannelSocket");
  g_qxErrno = kQx_NoErr;
  QxChannelSocketParam& socket = pQxChannel->pQxChannelParam->channel.socketParam;
  switch (pQxChannel->qxChannelUsage) {
    case kQx_ServerProvider:
      CloseSocketConnexionForServerProvider(socket.pGateFileName, socket.sockfdInOut);
      break;
    case kQx_ServerConsumer: CloseSocketConnexionForServerConsumer(socket.sockfdInOut); break;
    case kQx_ClientProvider: CloseSocketConnexionForClientProvider(socket.sockfdInOut); break;
    case kQx_ClientConsumer: CloseSocketConnexionForClientConsumer(socket.sockfdInOut); break;
    default: QxTrace("CloseChannelSocket unknown qxChannelUsage");
  }
}

// Frees the channel when the close reports no error. The parameter record,
// its strings and its descriptor fields are left as they are.
void QxCloseChannel(PQxChannel pQxChannel) noexcept {
  RoutineTrace("Qx CloseChannel");
  g_qxErrno = kQx_NoErr;
  if (pQxChannel == nullptr) {
    ErrorTrace("Qx CloseChannel:pQxChannel==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  PQxChannelParam param = pQxChannel->pQxChannelParam;
  if (param == nullptr) {
    ErrorTrace("Qx CloseChannel:pQxChannelParam==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  switch (param->qxChannelType) {
    case kQx_ChannelFIFO: QxCloseChannelFIFO(pQxChannel); break;
    case kQx_ChannelSocket: QxCloseChannelSocket(pQxChannel); break;
    default:
      qx::TraceF("Qx CloseChannel:unknown qxChannelType = %d",
                 static_cast<int>(param->qxChannelType));
      g_qxErrno = kQx_ParamErr;
  }
  if (QxErrno() == kQx_NoErr) QxFree(pQxChannel);
}

}  // extern "C"
