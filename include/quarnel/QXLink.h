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

/* Connection establishment: 0 on success, -1 on failure. */
int OpenFifoConnexionForServerProvider(char* path, char* pin, char* pout, int* din,
                                        int* dout) QX_NOEXCEPT;
int OpenFifoConnexionForServerConsumer(char* pin, char* pout, int* din, int* dout) QX_NOEXCEPT;
int OpenFifoConnexionForClientProvider(char* path, char* pin, char* pout, int* din,
                                        int* dout) QX_NOEXCEPT;
int OpenFifoConnexionForClientConsumer(char* path, int* din, int* dout) QX_NOEXCEPT;
int OpenSocketConnexionForServerProvider(char* path, int* d) QX_NOEXCEPT;
int OpenSocketConnexionForServerConsumer(int portClient, int* d) QX_NOEXCEPT;
int OpenSocketConnexionForClientProvider(char* path, int* d) QX_NOEXCEPT;
int OpenSocketConnexionForClientConsumer(char* path, int* d) QX_NOEXCEPT;
int CloseFifoConnexionForServerProvider(char* path, int din, int dout) QX_NOEXCEPT;
int CloseFifoConnexionForServerConsumer(int din, int dout) QX_NOEXCEPT;
int CloseFifoConnexionForClientProvider(char* pin, char* pout, int din, int dout) QX_NOEXCEPT;
int CloseFifoConnexionForClientConsumer(int din, int dout) QX_NOEXCEPT;
int CloseSocketConnexionForServerProvider(char* path, int d) QX_NOEXCEPT;
int CloseSocketConnexionForServerConsumer(int d) QX_NOEXCEPT;
int CloseSocketConnexionForClientProvider(int d) QX_NOEXCEPT;
int CloseSocketConnexionForClientConsumer(int d) QX_NOEXCEPT;

/* FIFO and socket primitives. sens 1 opens the read end, anything else the
 * write end; both block until the peer opens the other end. */
int QXcreeFIFO(const char* path) QX_NOEXCEPT;
int QXouvrirFIFO(const char* path, int sens) QX_NOEXCEPT;
int QXcreeSocket(int* port) QX_NOEXCEPT;
int QXaccept(int port) QX_NOEXCEPT;
int QXinitConnexion(char* nameHote, int port) QX_NOEXCEPT;
int QXcreeService(char* nomService) QX_NOEXCEPT;
int QXcreeServiceMultiple(char* nomService) QX_NOEXCEPT;
int QXinitConnexionService(char* nameHote, char* nomService) QX_NOEXCEPT;

/* Framed descriptor I/O. Read results: N > 0 a whole message, 0 nothing waiting
 * (non-blocking read only), -1 end of file, error or over-long frame, -2 the
 * end-of-link marker. */
int QX_Write_Sync(int desc, const char* ptr) QX_NOEXCEPT;
int QX_Read_Sync(int desc, char* ptr) QX_NOEXCEPT;
int QX_Read_Async(int desc, char* ptr) QX_NOEXCEPT;
void QXlectBloq(int desc) QX_NOEXCEPT;
void QXlectNonBloq(int desc) QX_NOEXCEPT;
void QXcloseLiaison(int desc) QX_NOEXCEPT;
void QXacceptCloseLiaison(int desc) QX_NOEXCEPT;
int QxLWaitForChannelMessages(CListe channelIOParamList, time_t tv_sec, long tv_nsec) QX_NOEXCEPT;

/* Process launching. The variadic launchers take up to 8 char* arguments after
 * chemin, ending with NULL; no more than 8 are ever read. None waits for its
 * child to end. A program that cannot be started is reported by the caller
 * (the launcher's trace; kQx_ExecvError from QXExecutionAsynchroneByForkExec),
 * once the child has told it so; the child leaves with _exit(127), sending
 * nothing to the host and creating no lock file. Every child carries the
 * launched-peer mark in its environment, by which the library's main knows
 * it is a peer: its end sends no END_TOOL and creates no end lock file.
 * QXExecutionAsynchroneBySystem runs "chemin arg... &" through the shell: an
 * argument holding blanks or shell-special characters is single-quoted so it
 * stays one word, and a line over 999 characters is refused (-1, trace).
 * The child of QXExecutionAsynchroneByForkExec keeps only its standard streams
 * across execv. */
int QXExecutionAsynchroneBySystem(char* chemin, ...) QX_NOEXCEPT;
int QXExecutionAsynchroneByForkExec(char* chemin, ...) QX_NOEXCEPT;
int QXExecutionSynchronePgm(char* chemin, ...) QX_NOEXCEPT;
int QXexcPipe(char* programme, char* hostName, int portEmis) QX_NOEXCEPT;
int QXexecution(char* programme, int arg) QX_NOEXCEPT;
int QXonExeComm(char* programme, char* arg0, char* arg1, int arg2) QX_NOEXCEPT;
void QXimpression(const char* s) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
