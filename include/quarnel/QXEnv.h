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
/* Size of the shared trace scratch buffer. */
enum { kQx_TmpTraceSize = 2000 };

/* Mode flags. */
extern QxBoolean g_qxStdOut;                 /* commands without channel go to stdout */
extern QxBoolean g_qxStandalone;             /* no host; traces are not sent */
extern QxBoolean g_qxStartedByQuarnel;       /* handshake and waiting messages */
extern QxBoolean g_qxSEND_KORA_FILE_Allowed; /* files may be announced by name */

/* Language of the error-message files: 0 English (default), 1 French. */
extern short g_qxLanguage;

/* Default channel requests of the host channel; null unless "-fifo_in_out"
 * opened it. */
extern PQxChannelIOParams g_qxPDefaultInputChannelIOParams;
extern PQxChannelIOParams g_qxPDefaultOutputChannelIOParams;

/* Scratch buffer in which library operations compose trace texts. A text in it
 * is valid until the next operation composes one. */
extern char g_tmpTrace[kQx_TmpTraceSize];

/* Tool identity, defined by each tool (see QXMain.h). */
extern const char kQx_KitName[];
extern const char kQx_ToolName[];
extern const char kQx_ToolVersion[];
extern const char kQx_ToolCopyright[];

/* Command line. Results: -99 empty vector, -1 "-version", -2 "-kit_name",
 * 0 error (already reported), i >= 1 the index of the marker "-s" or
 * "-end_env_p". */
int QxEnvInit(int argc, char** argv) QX_NOEXCEPT;
QxConstISOStr QxSysErrList(int myErrno) QX_NOEXCEPT;
short QxEnvGetLanguage(void) QX_NOEXCEPT;
const char* QxEnvKitName(void) QX_NOEXCEPT;
const char* QxEnvToolName(void) QX_NOEXCEPT;
const char* QxEnvToolVersion(void) QX_NOEXCEPT;
const char* QxEnvToolCopyright(void) QX_NOEXCEPT;
void QxSetRandomSeed(QxULong randSeed) QX_NOEXCEPT;
QxULong QxRandom(void) QX_NOEXCEPT;

/* Basic information ("qx_basic_info", "QX_MNGR/.formalism") and paths. The
 * path buffers hold kQx_PathCapacity bytes. */
void QxEnvReadBasicInfo(void) QX_NOEXCEPT;
void QxEnvGetModelWorkSpacePath(char* path) QX_NOEXCEPT;
void QxEnvGetMainWorkSpacePath(char* path) QX_NOEXCEPT;
void QxEnvGetToolPath(char* path) QX_NOEXCEPT;

/* Trace: standard error always, and a TR command to the host unless
 * standalone. Neither sets nor clears g_qxErrno. */
void QxTrace(const char* message) QX_NOEXCEPT;
/* Progress text: STT_MSG to the host, or standard error when standalone. */
void QxSendWaitingMessage(const char* message) QX_NOEXCEPT;
/* Legacy warning: standard error and a WN command. */
void QxOldSVimpression(const char* message) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
