// SPDX-License-Identifier: MIT
/* The link layer under the channels: connection establishment through gate
 * files or the command line, FIFO and socket primitives, framed descriptor I/O
 * with the channel wait, and process launching.
 *
 * Results are ints: 0 or a descriptor on success, a negative value on failure.
 * The FIFO primitives and the fork launcher set g_qxErrno; the socket
 * primitives report through QXimpression and leave g_qxErrno alone.
 *
 * Frame: every message travels as an 8-byte native signed length N followed by
 * N text bytes (no NUL). N = 0 is the end-of-link marker. A read stores at most
 * kQx_MaxMessageLength bytes (QXChannel.h); the caller's buffer must hold that
 * many.
 *
 * Broken pipes: a write to a reader that is gone gives -1. Sockets are always
 * written with MSG_NOSIGNAL and never raise SIGPIPE. For FIFOs and pipes: under
 * the library's main, SIGPIPE stays harmless unless the tool changes its
 * disposition, and a tool that does takes broken pipes over (with SIG_DFL such
 * a write ends the tool); a program with its own main has SIGPIPE blocked
 * around each write, so the write fails without the signal (QXMain.h). */
#ifndef QUARNEL_QXLINK_H
#define QUARNEL_QXLINK_H

#include <time.h>

#include "quarnel/CListes.h"
#include "quarnel/QXChannel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Connection establishment: 0 on success, -1 on failure.
 * The client providers start their peer program and wait for it without a
 * time-out; a caught signal whose handler does not restart calls ends a FIFO
 * open, and any caught signal ends the socket client provider's wait
 * (kQx_OpenError). A program that cannot be started fails the open at once,
 * with kQx_ExecvError, whatever SIGCHLD's setting: the FIFO client provider
 * checks before it creates anything that the shell finds a regular file it
 * may execute under that name (in PATH for a bare name); the socket client
 * provider learns it from its launch. Once the program has started:
 * - the FIFO client provider runs it through the shell, detached, and waits
 *   on its FIFOs until the peer opens them, however the program ends;
 * - the socket client provider holds SIGCHLD back while it waits, fails
 *   (kQx_OpenError) when the program ends with a non-zero status or a signal
 *   before connecting, whatever SIGCHLD's setting (with SIGCHLD ignored the
 *   program runs under a watcher process, the caller's child, that reports
 *   its status and is reaped by the system), and keeps waiting after an exit
 *   with status 0 (the program may have handed the link to a peer of its
 *   own); bound that wait with alarm. */
QX_API int OpenFifoConnexionForServerProvider(char* path, char* pin, char* pout, int* din,
                                               int* dout) QX_NOEXCEPT;
QX_API int OpenFifoConnexionForServerConsumer(char* pin, char* pout, int* din, int* dout) QX_NOEXCEPT;
QX_API int OpenFifoConnexionForClientProvider(char* path, char* pin, char* pout, int* din,
                                               int* dout) QX_NOEXCEPT;
QX_API int OpenFifoConnexionForClientConsumer(char* path, int* din, int* dout) QX_NOEXCEPT;
QX_API int OpenSocketConnexionForServerProvider(char* path, int* d) QX_NOEXCEPT;
QX_API int OpenSocketConnexionForServerConsumer(int portClient, int* d) QX_NOEXCEPT;
QX_API int OpenSocketConnexionForClientProvider(char* path, int* d) QX_NOEXCEPT;
QX_API int OpenSocketConnexionForClientConsumer(char* path, int* d) QX_NOEXCEPT;
QX_API int CloseFifoConnexionForServerProvider(char* path, int din, int dout) QX_NOEXCEPT;
QX_API int CloseFifoConnexionForServerConsumer(int din, int dout) QX_NOEXCEPT;
QX_API int CloseFifoConnexionForClientProvider(char* pin, char* pout, int din, int dout) QX_NOEXCEPT;
QX_API int CloseFifoConnexionForClientConsumer(int din, int dout) QX_NOEXCEPT;
QX_API int CloseSocketConnexionForServerProvider(char* path, int d) QX_NOEXCEPT;
QX_API int CloseSocketConnexionForServerConsumer(int d) QX_NOEXCEPT;
QX_API int CloseSocketConnexionForClientProvider(int d) QX_NOEXCEPT;
QX_API int CloseSocketConnexionForClientConsumer(int d) QX_NOEXCEPT;

/* FIFO and socket primitives. sens 1 opens the read end, anything else the
 * write end; both block until the peer opens the other end. */
QX_API int QXcreeFIFO(const char* path) QX_NOEXCEPT;
QX_API int QXouvrirFIFO(const char* path, int sens) QX_NOEXCEPT;
QX_API int QXcreeSocket(int* port) QX_NOEXCEPT;
QX_API int QXaccept(int port) QX_NOEXCEPT;
QX_API int QXinitConnexion(char* nameHote, int port) QX_NOEXCEPT;
QX_API int QXcreeService(char* nomService) QX_NOEXCEPT;
QX_API int QXcreeServiceMultiple(char* nomService) QX_NOEXCEPT;
QX_API int QXinitConnexionService(char* nameHote, char* nomService) QX_NOEXCEPT;

/* Framed descriptor I/O. Read results: N > 0 a whole message, 0 nothing waiting
 * (non-blocking read only), -1 end of file, error or over-long frame, -2 the
 * end-of-link marker. */
QX_API int QX_Write_Sync(int desc, const char* ptr) QX_NOEXCEPT;
QX_API int QX_Read_Sync(int desc, char* ptr) QX_NOEXCEPT;
QX_API int QX_Read_Async(int desc, char* ptr) QX_NOEXCEPT;
QX_API void QXlectBloq(int desc) QX_NOEXCEPT;
QX_API void QXlectNonBloq(int desc) QX_NOEXCEPT;
QX_API void QXcloseLiaison(int desc) QX_NOEXCEPT;
QX_API void QXacceptCloseLiaison(int desc) QX_NOEXCEPT;
QX_API int QxLWaitForChannelMessages(CListe channelIOParamList, time_t tv_sec, long tv_nsec) QX_NOEXCEPT;

/* Process launching. The variadic launchers take up to 8 char* arguments after
 * chemin, ending with NULL; no more than 8 are ever read. None waits for its
 * child to end, and none judges a child by a wait status, so SIGCHLD's
 * setting (ignored, or a handler that reaps) never changes a result. A
 * program that cannot be started is reported by the caller (the launcher's
 * trace; kQx_ExecvError from QXExecutionAsynchroneByForkExec and QXexcPipe),
 * once the child has told it so through a close-on-exec pipe; the child
 * leaves with _exit(127), sending nothing to the host and creating no lock
 * file. The other launchers still return the child's process id then.
 * Every launched program carries the launched-peer mark in its environment,
 * whose value is its own process id: the library's main of that process knows
 * by it that it is a peer, and its end sends no END_TOOL and creates no end
 * lock file. A program the peer starts in turn does not carry a mark naming
 * itself, and is a tool of its own.
 * QXExecutionAsynchroneBySystem runs "chemin arg... &" through the shell: an
 * argument holding blanks or shell-special characters is single-quoted so it
 * stays one word, and a line over 999 characters is refused (-1, trace). The
 * shell runs as a background process that is not the caller's child (standard
 * input /dev/null, SIGINT and SIGQUIT ignored) and execs the program in that
 * process. The result is 0 once the shell has started, -1 when it could not
 * be; a program the shell cannot run is reported by the shell on standard
 * error only.
 * The child of QXExecutionAsynchroneByForkExec keeps only its standard streams
 * across execv.
 * QXexcPipe makes descriptor 1 the pipe to its child only once the program has
 * started; when it cannot start, it returns -1 (kQx_ExecvError; kQx_ForkError
 * when no child was created) and the caller's standard output stays as it
 * was. */
QX_API int QXExecutionAsynchroneBySystem(char* chemin, ...) QX_NOEXCEPT;
QX_API int QXExecutionAsynchroneByForkExec(char* chemin, ...) QX_NOEXCEPT;
QX_API int QXExecutionSynchronePgm(char* chemin, ...) QX_NOEXCEPT;
QX_API int QXexcPipe(char* programme, char* hostName, int portEmis) QX_NOEXCEPT;
QX_API int QXexecution(char* programme, int arg) QX_NOEXCEPT;
QX_API int QXonExeComm(char* programme, char* arg0, char* arg1, int arg2) QX_NOEXCEPT;
QX_API void QXimpression(const char* s) QX_NOEXCEPT;

/* Makes SIGPIPE harmless for the whole process with a handler that does
 * nothing (programs the process starts get the default back at exec), so that
 * a write to a reader that is gone fails with EPIPE. From then on writes to
 * descriptors other than sockets no longer block SIGPIPE around each write:
 * SIGPIPE stays harmless as long as the process leaves its disposition alone,
 * and a process that changes it takes broken pipes over (with SIG_DFL, a write
 * to a FIFO whose reader is gone ends it). Before this call such writes block
 * SIGPIPE for their duration. Sockets are always written with MSG_NOSIGNAL
 * and never raise it. The library's main calls it before anything else; a
 * program with its own main calls it to write as a tool does. */
QX_API void QXLSurviveBrokenPipes(void) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
