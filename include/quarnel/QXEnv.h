// SPDX-License-Identifier: MIT
/* The tool's environment: command line and mode flags, identity, basic
 * information and workspace paths, trace and waiting messages.
 *
 * The mode flags start false and are set only by QxEnvInit. Paths are composed
 * into a caller buffer of kQx_PathCapacity bytes; a path that would not fit is
 * refused (empty buffer, kQx_ParamErr, trace), never cut. */
#ifndef QUARNEL_QXENV_H
#define QUARNEL_QXENV_H

#include "quarnel/QXChannel.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Size of every path buffer the library composes into. */
enum { kQx_PathCapacity = 4096 };
/* Size of the shared trace scratch buffer, g_tmpTrace: part of the ABI and
 * frozen while the SONAME is libquarnel.so.1 (QXExport.h). */
enum { kQx_TmpTraceSize = 2000 };

/* Mode flags. */
QX_API extern QxBoolean g_qxStdOut;                 /* commands without channel go to stdout */
QX_API extern QxBoolean g_qxStandalone;             /* no host; traces are not sent */
QX_API extern QxBoolean g_qxStartedByQuarnel;       /* handshake and waiting messages */
QX_API extern QxBoolean g_qxSEND_KORA_FILE_Allowed; /* files may be announced by name */

/* Language of the error-message files: 0 English (default), 1 French. */
QX_API extern short g_qxLanguage;

/* Default channel requests of the host channel; null unless "-fifo_in_out"
 * opened it. */
QX_API extern PQxChannelIOParams g_qxPDefaultInputChannelIOParams;
QX_API extern PQxChannelIOParams g_qxPDefaultOutputChannelIOParams;

/* Scratch buffer in which library operations compose trace texts. A text in it
 * is valid until the next operation composes one. */
QX_API extern char g_tmpTrace[kQx_TmpTraceSize];

/* Tool identity, defined by each tool (see QXMain.h). The library reads them
 * only through the accessors below, which give the defaults for a program
 * that defines none. */
QX_API extern const char kQx_KitName[];
QX_API extern const char kQx_ToolName[];
QX_API extern const char kQx_ToolVersion[];
QX_API extern const char kQx_ToolCopyright[];

/* Command line; main calls it once, tools do not. Results: -99 empty vector,
 * -1 "-version", -2 "-kit_name", 0 error (already reported on standard
 * error), i >= 1 the index of the marker "-s" or "-end_env_p". */
QX_API int QxEnvInit(int argc, char** argv) QX_NOEXCEPT;
/* The system's text for an error number; a static string, not to be freed or
 * changed. */
QX_API QxConstISOStr QxSysErrList(int myErrno) QX_NOEXCEPT;
/* 0 English, 1 French ("-language"). */
QX_API short QxEnvGetLanguage(void) QX_NOEXCEPT;
/* The tool's identity constants (static strings). */
QX_API const char* QxEnvKitName(void) QX_NOEXCEPT;
QX_API const char* QxEnvToolName(void) QX_NOEXCEPT;
QX_API const char* QxEnvToolVersion(void) QX_NOEXCEPT;
QX_API const char* QxEnvToolCopyright(void) QX_NOEXCEPT;
/* The platform's pseudo-random generator (srand with the seed's low 32 bits,
 * rand): the same seed repeats the same sequence. */
QX_API void QxSetRandomSeed(QxULong randSeed) QX_NOEXCEPT;
QX_API QxULong QxRandom(void) QX_NOEXCEPT;

/* Basic information ("qx_basic_info", "QX_MNGR/.formalism" in the current
 * directory), read once by main before QxServiceMain; missing files leave
 * placeholders and are traced only when the host started the tool.
 * The path operations write into the caller's buffer of kQx_PathCapacity
 * bytes a path that ends with "/": the model workspace (the current
 * directory), the main workspace (main workspace + "GWS_" + kit name), the
 * tool's folder (tools + formalism + OS folder + kit name). They do not clear
 * g_qxErrno; on failure the buffer is empty and the code is kQx_ParamErr (a
 * null buffer, or a path that would not fit: refused, never cut) or
 * kQx_InternalErr (the information is missing). */
QX_API void QxEnvReadBasicInfo(void) QX_NOEXCEPT;
QX_API void QxEnvGetModelWorkSpacePath(char* path) QX_NOEXCEPT;
QX_API void QxEnvGetMainWorkSpacePath(char* path) QX_NOEXCEPT;
QX_API void QxEnvGetToolPath(char* path) QX_NOEXCEPT;

/* Trace: "#(TOOL):message" on standard error always, and TR(n:message) to the
 * host unless standalone. A null message traces "Qx Trace:message==NULL".
 * Neither sets nor clears g_qxErrno, so it is safe in error paths. The TR
 * command reaches the host only for texts of up to 247 bytes (the 255-byte
 * command limit), and a line break in the text breaks standard-output mode:
 * keep traces to one line. */
QX_API void QxTrace(const char* message) QX_NOEXCEPT;
/* Progress text: STT_MSG(n:message) on the host channel when the host started
 * the tool or "-stt_msg_allowed" was given; else on standard error when
 * standalone; else nothing. Up to 242 bytes reach the host. Null message:
 * kQx_ParamErr. Does not clear g_qxErrno. */
QX_API void QxSendWaitingMessage(const char* message) QX_NOEXCEPT;
/* Legacy warning: "$(TOOL):message" on standard error and WN(n:message) in
 * every mode, standalone included. New code uses QxTrace or
 * QxSendWaitingMessage. */
QX_API void QxOldSVimpression(const char* message) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
