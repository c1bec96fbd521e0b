// SPDX-License-Identifier: MIT
// Process-wide state shared by every subsystem: the error code, the mode
// flags, the language, the default host channel requests and the trace buffer.
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"

extern "C" {

QxSLong g_qxErrno = kQx_NoErr;

QxBoolean g_qxStdOut = kQx_False;
QxBoolean g_qxStandalone = kQx_False;
QxBoolean g_qxStartedByQuarnel = kQx_False;
QxBoolean g_qxSEND_KORA_FILE_Allowed = kQx_False;

short g_qxLanguage = 0;

PQxChannelIOParams g_qxPDefaultInputChannelIOParams = nullptr;
PQxChannelIOParams g_qxPDefaultOutputChannelIOParams = nullptr;

char g_tmpTrace[kQx_TmpTraceSize];

QxSLong QxErrno(void) noexcept { return g_qxErrno; }

short QxEnvGetLanguage(void) noexcept { return g_qxLanguage; }

}  // extern "C"

#include "runtime/env_state.h"

extern "C" {
QxBoolean g_qxSTT_MSG_Allowed = kQx_False;
QxBoolean g_qxOnFifo = kQx_False;
char* g_qxUserName = nullptr;
}
