// SPDX-License-Identifier: MIT
// The library's one diagnostic output (QxTrace), waiting messages and the
// legacy warning.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "kora/kora_compose.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "runtime/env_state.h"
#include "runtime/trace.h"
#include "support/format.h"

namespace {

// Depth of QxTrace calls now sending their TR command. The channel layer reads
// it so that its routine-call traces never recurse through the trace's own
// send.
int g_traceSending = 0;

}  // namespace

namespace qx {

void TraceF(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  VFormatTo(g_tmpTrace, sizeof g_tmpTrace, fmt, ap);
  va_end(ap);
  QxTrace(g_tmpTrace);
}

bool TraceSending() { return g_traceSending > 0; }

}  // namespace qx

extern "C" {

void QxTrace(const char* message) noexcept {
  if (message == nullptr) {
    qx::CopyTo(g_tmpTrace, sizeof g_tmpTrace, "Qx Trace:message==NULL");
    message = g_tmpTrace;
  }
  std::fprintf(stderr, "#(%s):%s\n", QxEnvToolName(), message);
  if (!g_qxStandalone) {
    ++g_traceSending;
    qx::KoraCommand("TR").Text(message).Send();
    --g_traceSending;
  }
}

void QxSendWaitingMessage(const char* message) noexcept {
  if (message == nullptr) {
    qx::TraceF("Qx SendWaitingMessage:message==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  if (g_qxStartedByQuarnel || g_qxSTT_MSG_Allowed) {
    qx::KoraCommand("STT_MSG").Text(message).Send(g_qxPDefaultOutputChannelIOParams);
  } else if (g_qxStandalone) {
    std::fprintf(stderr, "%s\n", message);
  }
}

void QxOldSVimpression(const char* message) noexcept {
  if (message == nullptr) {
    qx::TraceF("Qx OldSVimpression/2:message==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  std::fprintf(stderr, "$(%s):%s\n", QxEnvToolName(), message);
  qx::KoraCommand("WN").Text(message).Send();
}

}  // extern "C"
