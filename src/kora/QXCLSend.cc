// SPDX-License-Identifier: MIT
// KORA command output and input: the one output operation every command of
// the library leaves through, the current channel records, and the receive
// operations that deliver the raw text of a command.
#include "quarnel/QXCLSend.h"

#include <cstdio>
#include <cstring>

#include "kora/send_state.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "runtime/trace.h"
#include "support/format.h"

namespace {

// Length of the excerpt a refused command is traced with.
constexpr size_t kExcerptLength = 50;

}  // namespace

namespace qx::kora {

char g_message[kMessageSize];
char g_error_message[kMessageSize];

void RefuseTooLarge(std::size_t length, const char* text) noexcept {
  // The command may lie in g_message itself: its first bytes are moved in
  // place before anything else is written there.
  std::memmove(g_message, text, kExcerptLength);
  g_message[kExcerptLength] = '\0';
  qx::FormatTo(g_error_message, sizeof g_error_message,
               "Qx ClSendChannelKora:KORA command too large (%ld bytes):%s...",
               static_cast<long>(length), g_message);
  QxTrace(g_error_message);
  g_qxErrno = kQx_ParamErr;
}

}  // namespace qx::kora

namespace {

using qx::kora::g_error_message;
using qx::kora::g_message;

// Record used when a sender names no output record; record read by the
// receive operations. Null until a channel is made current.
PQxChannelIOParams g_qxCurrentOutputChannelIOParams = nullptr;
PQxChannelIOParams g_qxCurrentInputChannelIOParams = nullptr;

// Stream of standard-output mode; null means standard output, taken at the
// first write.
FILE* g_defaultOutputStream = nullptr;


// Hands message to the channel layer as one synchronous write on request.
void WriteOnChannel(PQxChannelIOParams request, const char* message, size_t length) {
  QxSetChannelIOParams(request, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                       kQx_IOSyncNotSpecified, kQx_NotGivenPtr, message, length);
  QxWriteInChannel(request, kQx_Sync);
}

// Sends the TR command of a trace. The trace interrupts some operation that
// may be using the very same request (a routine trace of the write it is
// about to make, for instance) and that may have set an error code before
// tracing. The send therefore leaves the request's fields and the error code
// as it found them; only a failure of the send itself stays visible: the
// request is marked broken and the error code says why.
void WriteTraceOnChannel(PQxChannelIOParams request, const char* message, size_t length) {
  const QxChannelIOParams saved = *request;
  const QxSLong savedErrno = g_qxErrno;
  WriteOnChannel(request, message, length);
  const QxChannelState state = request->qxChannelState;
  const bool failed = g_qxErrno != kQx_NoErr;
  *request = saved;
  request->qxChannelState = state;
  if (!failed) g_qxErrno = savedErrno;
}

// Traces the refusal of a command that has no input record to read from.
// name is the operation's name as it appears in its traces.
void TraceNoInputRecord(const char* name) {
  if (g_qxStdOut) {
    qx::FormatTo(g_error_message, sizeof g_error_message, "Qx %s:std out there is no std in", name);
  } else {
    qx::FormatTo(g_error_message, sizeof g_error_message, "Qx %s:no std out, no DefaultInput !",
                 name);
  }
  QxTrace(g_error_message);
}

// Outcome of one read through the channel layer.
struct ReadOutcome {
  bool performed;  // the layer read (it did not refuse nor skip a broken request)
  QxSLong count;   // the read's result: N, 0, -1 (end of file, error) or -2 (end marker)
};

// Reads one message into buffer through request in the given mode.
ReadOutcome ReadInto(PQxChannelIOParams request, void* buffer, QxIOSynch mode) {
  QxSetChannelIOParams(request, kQx_NotGivenChannel, kQx_ChannelDirNotSpecified,
                       kQx_IOSyncNotSpecified, buffer, kQx_NotGivenPtr, kQx_NotGivenLength);
  if (g_qxErrno != kQx_NoErr) return {false, -1};
  if (request->qxChannelState == kQx_ChannelBroken) return {false, -1};
  QxReadInChannel(request, mode);
  if (g_qxErrno != kQx_NoErr) return {false, -1};
  return {true, static_cast<QxSLong>(request->actualLength)};
}

// Ends the text read into buffer (kQx_ReceiveBufferSize bytes) with a NUL.
// A read that failed or did not take place leaves an empty string, so the
// caller never sees stale text as a command; the NUL is never written past
// kQx_MaxMessageLength, the most the channel layer stores.
void Terminate(char* buffer, const ReadOutcome& outcome) {
  if (outcome.performed && outcome.count >= 0 && outcome.count <= kQx_MaxMessageLength) {
    buffer[outcome.count] = '\0';
  } else {
    buffer[0] = '\0';
  }
}

// Shared body of QxClReceiveChannelKora and QxClRecoitKORA.
void ReceiveTerminated(const char* name, char* messageBuffer, PQxChannelIOParams request) {
  if (messageBuffer == nullptr) {
    g_qxErrno = kQx_ParamErr;
    qx::FormatTo(g_error_message, sizeof g_error_message, "Qx %s:messageBuffer==NULL", name);
    QxTrace(g_error_message);
    return;
  }
  if (request == nullptr) {
    g_qxErrno = kQx_ParamErr;
    if (g_qxStdOut) messageBuffer[0] = '\0';
    TraceNoInputRecord(name);
    return;
  }
  Terminate(messageBuffer, ReadInto(request, messageBuffer, kQx_Sync));
}

// Value the legacy receive operations return for "no read took place".
constexpr SqSize_t kNoRead = static_cast<SqSize_t>(-1);

}  // namespace

namespace qx::kora {

void ResetCurrentChannelIO() {
  g_qxCurrentOutputChannelIOParams = nullptr;
  g_qxCurrentInputChannelIOParams = nullptr;
  g_defaultOutputStream = nullptr;
}

}  // namespace qx::kora

extern "C" {

void QxClSetCurrentChannelIO(PQxChannelIOParams pqxPDefaultInputChannelIOParams,
                             PQxChannelIOParams pqxPDefaultOutputChannelIOParams) noexcept {
  if (pqxPDefaultInputChannelIOParams != nullptr) {
    g_qxCurrentInputChannelIOParams = pqxPDefaultInputChannelIOParams;
  }
  if (pqxPDefaultOutputChannelIOParams != nullptr) {
    g_qxCurrentOutputChannelIOParams = pqxPDefaultOutputChannelIOParams;
  }
}

void QxEnvSetDefaultOutputStream(FILE* outputStream) noexcept {
  g_defaultOutputStream = outputStream;
}

void QxClSendChannelKora(PQxChannelIOParams pQxOutputChannelIOParams, const char* message) noexcept {
  PQxChannelIOParams target = pQxOutputChannelIOParams != nullptr
                                  ? pQxOutputChannelIOParams
                                  : g_qxCurrentOutputChannelIOParams;
  if (message == nullptr) {
    qx::CopyTo(g_error_message, sizeof g_error_message, "Qx ClSendChannelKora:message==NULL");
    QxTrace(g_error_message);
    g_qxErrno = kQx_ParamErr;
    return;
  }
  const size_t length = std::strlen(message);
  if (length > kQx_MaxKoraCommand) {
    qx::kora::RefuseTooLarge(length, message);
    return;
  }
  if (target != nullptr) {
    if (qx::TraceSending()) {
      WriteTraceOnChannel(target, message, length);
    } else {
      WriteOnChannel(target, message, length);
    }
    return;
  }
  if (g_qxStdOut) {
    if (g_defaultOutputStream == nullptr) g_defaultOutputStream = stdout;
    std::fputs(message, g_defaultOutputStream);
    std::fputc('\n', g_defaultOutputStream);
    std::fflush(g_defaultOutputStream);
    return;
  }
  std::fprintf(stderr, "#(%s):no std out, no DefaultOutput:%s\n", QxEnvToolName(), message);
}

void QxClReceiveChannelKora(char* messageBuffer,
                            PQxChannelIOParams pQxInputChannelIOParams) noexcept {
  PQxChannelIOParams request = pQxInputChannelIOParams != nullptr
                                   ? pQxInputChannelIOParams
                                   : g_qxCurrentInputChannelIOParams;
  ReceiveTerminated("ClReceiveChannelKora", messageBuffer, request);
}

void QxClRecoitKORA(char* messageBuffer) noexcept {
  g_qxErrno = kQx_NoErr;
  ReceiveTerminated("ClRecoitKORA", messageBuffer, g_qxCurrentInputChannelIOParams);
}

// Returns the read's result converted to SqSize_t: the message length, or a
// failed read's negative count (-1 end of file or error, -2 end-of-link
// marker) with all upper bits set. The buffer is not terminated. When no read
// takes place (no record, no buffer, a broken or refused request) the result
// is -1 converted and the buffer is untouched.
SqSize_t QxOldRecoitKORA(QxPtr rBufferPtr) noexcept {
  PQxChannelIOParams request = g_qxCurrentInputChannelIOParams;
  if (request == nullptr) {
    TraceNoInputRecord("OldRecoitKORA");
    return kNoRead;
  }
  if (rBufferPtr == nullptr) {
    qx::CopyTo(g_error_message, sizeof g_error_message, "Qx OldRecoitKORA:rBufferPtr==NULL");
    QxTrace(g_error_message);
    return kNoRead;
  }
  const ReadOutcome outcome = ReadInto(request, rBufferPtr, kQx_Sync);
  return outcome.performed ? static_cast<SqSize_t>(outcome.count) : kNoRead;
}

// One attempt to read a waiting message. Returns its length, 0 when nothing
// is waiting (or the request is broken: nothing can arrive on it), -2
// converted when the channel layer reports an error, -1 converted without a
// record or buffer. The buffer is not terminated.
SqSize_t QXOldRecoitKORANonBl(char* messageBuffer) noexcept {
  PQxChannelIOParams request = g_qxCurrentInputChannelIOParams;
  if (request == nullptr) {
    TraceNoInputRecord("OldRecoitKORANonBl");
    return kNoRead;
  }
  if (messageBuffer == nullptr) {
    qx::CopyTo(g_error_message, sizeof g_error_message,
               "Qx OldRecoitKORANonBl:messageBuffer==NULL");
    QxTrace(g_error_message);
    return kNoRead;
  }
  if (request->qxChannelState == kQx_ChannelBroken) return 0;
  ReadInto(request, messageBuffer, kQx_Async);
  if (QxErrno() != kQx_NoErr) return static_cast<SqSize_t>(-2);
  return request->length == request->actualLength ? request->length : 0;
}

}  // extern "C"
