// SPDX-License-Identifier: MIT
// Parameter records, and the opening and closing of a channel in one of its
// four usages through the connection functions of the link layer.
#include <cstring>

#include "channel/channel_internal.h"
#include "channel/link_internal.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"
#include "quarnel/QXMemory.h"
#include "runtime/trace.h"
#include "support/heap_copy.h"

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
  *slot = qx::HeapCopy(path);
  if (*slot == nullptr) {
    ErrorTrace("Qx OpenChannel:QxCalloc pGateFileName");
    g_qxErrno = kQx_MemFullErr;
    return false;
  }
  return true;
}

// The operation that refuses a missing argument, in its trace.
constexpr const char* kOpenOp = "Qx OpenChannel";

// Failure traces of the connection functions, by usage from
// kQx_ServerProvider to kQx_ClientConsumer.
using FailureTexts = const char* const[4];
constexpr FailureTexts kFifoFailures = {
    "OpenChannelFifo kQx_ServerProvider != 0", "OpenChannelFifo kQx_ServerConsumer !=0",
    "OpenChannelFifo kQx_ClientProvider !=0", "OpenChannelFifo kQx_ClientConsumer !=0"};
constexpr FailureTexts kSocketFailures = {
    "OpenChannelSocket kQx_ServerProvider !=0", "OpenChannelSocket kQx_ServerConsumer !=0",
    "OpenChannelSocket kQx_ClientProvider !=0", "OpenChannelSocket kQx_ClientConsumer !=0"};

// Every channel routine starts alike: its trace, then a clear error code.
void BeginRoutine(const char* routine) {
  RoutineTrace(routine);
  g_qxErrno = kQx_NoErr;
}

// The open of one channel type in the channel's usage: routine trace, error
// code reset, the type's own preconditions (ready, which traces what it
// refuses), the usage, the path the usage needs, the gate file name a server
// provider keeps in *gateSlot, then the usage's connection function
// (connect), whose failure is traced with the usage's text.
template <typename Ready, typename Connect>
int OpenInUsage(PQxChannel channel, char* path, const char* routine, Ready ready,
                char** gateSlot, const FailureTexts& failures, Connect connect) {
  BeginRoutine(routine);
  const int usage = channel->qxChannelUsage;
  if (!ready(usage)) return -1;
  if (!KnownUsage(usage)) {
    qx::TraceF("Qx OpenChannel:unknown qxChannelUsage = %d", usage);
    g_qxErrno = kQx_ParamErr;
    return -1;
  }
  if (UsageNeedsPath(usage) && !qx::link::Given(kOpenOp, "path", path)) return -1;
  if (usage == kQx_ServerProvider && !KeepGateFileName(gateSlot, path)) return -1;
  const int result = connect(static_cast<QxChannelUsage>(usage));
  if (result != 0) QxTrace(failures[usage - kQx_ServerProvider]);
  return result;
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
  QxChannelFIFOParam& fifo = pQxChannel->pQxChannelParam->channel.fifoParam;
  // Every usage but the client consumer (which reads them from its gate
  // file) is given both FIFO paths.
  auto pathsGiven = [&](int usage) {
    return usage == kQx_ClientConsumer ||
           (qx::link::Given(kOpenOp, "pChannelIn", fifo.pChannelIn) &&
            qx::link::Given(kOpenOp, "pChannelOut", fifo.pChannelOut));
  };
  return OpenInUsage(pQxChannel, path, "Qx OpenChannelFIFO", pathsGiven, &fifo.pGateFileName,
                     kFifoFailures, [&](QxChannelUsage usage) {
                       switch (usage) {
                         case kQx_ServerProvider:
                           return OpenFifoConnexionForServerProvider(
                               path, fifo.pChannelIn, fifo.pChannelOut, &fifo.fdIn, &fifo.fdOut);
                         case kQx_ServerConsumer:
                           return OpenFifoConnexionForServerConsumer(
                               fifo.pChannelIn, fifo.pChannelOut, &fifo.fdIn, &fifo.fdOut);
                         case kQx_ClientProvider:
                           return OpenFifoConnexionForClientProvider(
                               path, fifo.pChannelIn, fifo.pChannelOut, &fifo.fdIn, &fifo.fdOut);
                         default:
                           return OpenFifoConnexionForClientConsumer(path, &fifo.fdIn,
                                                                     &fifo.fdOut);
                       }
                     });
}

int QxOpenChannelSocket(PQxChannel pQxChannel, char* path) noexcept {
  QxChannelSocketParam& socket = pQxChannel->pQxChannelParam->channel.socketParam;
  return OpenInUsage(pQxChannel, path, "Qx OpenChannelSocket", [](int) { return true; },
                     &socket.pGateFileName, kSocketFailures, [&](QxChannelUsage usage) {
                       switch (usage) {
                         case kQx_ServerProvider:
                           return OpenSocketConnexionForServerProvider(path, &socket.sockfdInOut);
                         case kQx_ServerConsumer:
                           return OpenSocketConnexionForServerConsumer(socket.sin_port,
                                                                       &socket.sockfdInOut);
                         case kQx_ClientProvider:
                           return OpenSocketConnexionForClientProvider(path, &socket.sockfdInOut);
                         default:
                           return OpenSocketConnexionForClientConsumer(path, &socket.sockfdInOut);
                       }
                     });
}

// The open fails (null result) only when the connection reports an error
// code; a link failure that sets none is traced and the channel is returned
// with its descriptors as the connection function left them.
PQxChannel QxOpenChannel(PQxChannelParam pQxChannelParam, QxChannelUsage qxChannelUsage,
                         char* path) noexcept {
  BeginRoutine("Qx OpenConsumerChannel");
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
  if (UsageNeedsPath(usage) && !qx::link::Given(kOpenOp, "path", path)) return nullptr;
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
  BeginRoutine("Qx CloseChannelFIFO");
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
  BeginRoutine("Qx CloseChannelSocket");
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
