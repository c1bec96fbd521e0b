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
 * many. Writes never raise SIGPIPE: a reader that is gone gives -1. */
#ifndef QUARNEL_QXLINK_H
#define QUARNEL_QXLINK_H

#include <time.h>

#include "quarnel/CListes.h"
#include "quarnel/QXChannel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Connection establishment: 0 on success, -1 on failure. */
int OpenFifoConnexionForServerProvider(char* path, char* pin, char* pout, int* din, int* dout);
int OpenFifoConnexionForServerConsumer(char* pin, char* pout, int* din, int* dout);
int OpenFifoConnexionForClientProvider(char* path, char* pin, char* pout, int* din, int* dout);
int OpenFifoConnexionForClientConsumer(char* path, int* din, int* dout);
int OpenSocketConnexionForServerProvider(char* path, int* d);
int OpenSocketConnexionForServerConsumer(int portClient, int* d);
int OpenSocketConnexionForClientProvider(char* path, int* d);
int OpenSocketConnexionForClientConsumer(char* path, int* d);
int CloseFifoConnexionForServerProvider(char* path, int din, int dout);
int CloseFifoConnexionForServerConsumer(int din, int dout);
int CloseFifoConnexionForClientProvider(char* pin, char* pout, int din, int dout);
int CloseFifoConnexionForClientConsumer(int din, int dout);
int CloseSocketConnexionForServerProvider(char* path, int d);
int CloseSocketConnexionForServerConsumer(int d);
int CloseSocketConnexionForClientProvider(int d);
int CloseSocketConnexionForClientConsumer(int d);

/* FIFO and socket primitives. sens 1 opens the read end, anything else the
 * write end; both block until the peer opens the other end. */
int QXcreeFIFO(const char* path);
int QXouvrirFIFO(const char* path, int sens);
int QXcreeSocket(int* port);
int QXaccept(int port);
int QXinitConnexion(char* nameHote, int port);
int QXcreeService(char* nomService);
int QXcreeServiceMultiple(char* nomService);
int QXinitConnexionService(char* nameHote, char* nomService);

/* Framed descriptor I/O. Read results: N > 0 a whole message, 0 nothing waiting
 * (non-blocking read only), -1 end of file, error or over-long frame, -2 the
 * end-of-link marker. */
int QX_Write_Sync(int desc, const char* ptr);
int QX_Read_Sync(int desc, char* ptr);
int QX_Read_Async(int desc, char* ptr);
void QXlectBloq(int desc);
void QXlectNonBloq(int desc);
void QXcloseLiaison(int desc);
void QXacceptCloseLiaison(int desc);
int QxLWaitForChannelMessages(CListe channelIOParamList, time_t tv_sec, long tv_nsec);

/* Process launching. The variadic launchers take up to 8 char* arguments after
 * chemin, ending with NULL; no more than 8 are ever read. None waits for its
 * child; a child whose program cannot start ends through QxAbort.
 * QXExecutionAsynchroneBySystem runs "chemin arg... &" through the shell: an
 * argument holding blanks or shell-special characters is single-quoted so it
 * stays one word, and a line over 999 characters is refused (-1, trace).
 * The child of QXExecutionAsynchroneByForkExec keeps only its standard streams
 * across execv. */
int QXExecutionAsynchroneBySystem(char* chemin, ...);
int QXExecutionAsynchroneByForkExec(char* chemin, ...);
int QXExecutionSynchronePgm(char* chemin, ...);
int QXexcPipe(char* programme, char* hostName, int portEmis);
int QXexecution(char* programme, int arg);
int QXonExeComm(char* programme, char* arg0, char* arg1, int arg2);
void QXimpression(const char* s);

#ifdef __cplusplus
}
#endif

#endif
