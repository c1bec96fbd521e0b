// SPDX-License-Identifier: MIT
/* Typed channels: records, enumerations and the channel layer.
 *
 * A channel is a two-way message path to another process over a FIFO pair or a
 * TCP socket. Its parameter record (QxChannelParam, owned by the caller) names
 * the transport and the coordinates; QxOpenChannel opens it in one of four
 * usages and returns a QxChannel (freed by QxCloseChannel); reads and writes are
 * described by I/O requests (QxChannelIOParams, from QxNewChannelIOParams, never
 * freed by the layer).
 *
 * Every operation except QxChannelInit and QxSetChannelTrace sets g_qxErrno to
 * kQx_NoErr when it starts and to an error code on failure. In a request, a
 * pointer or size field with all bits set means "not given".
 *
 * Reads: a message is at most kQx_MaxMessageLength bytes; a read buffer must
 * hold kQx_MaxMessageLength bytes (plus one for a NUL where the caller adds
 * one). A longer frame is consumed and reported as a failed read (-1). */
#ifndef QUARNEL_QXCHANNEL_H
#define QUARNEL_QXCHANNEL_H

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include "quarnel/CListes.h"
#include "quarnel/QXTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Largest message the library reads from a channel or descriptor, in bytes. */
enum { kQx_MaxMessageLength = 65536 };

typedef enum {
  kQx_ChannelUnknown = 1,
  kQx_ChannelFIFO = 2,
  kQx_ChannelSocket = 3
} QxChannelType;

typedef enum {
  kQx_ChannelUsageUnknown = 1,
  kQx_ServerProvider = 2,
  kQx_ServerConsumer = 3,
  kQx_ClientProvider = 4,
  kQx_ClientConsumer = 5
} QxChannelUsage;

typedef enum { kQx_IOSyncNotSpecified = 0, kQx_Sync = 1, kQx_Async = 2 } QxIOSynch;

typedef enum { kQx_ChannelDirNotSpecified = 1, kQx_Read = 2, kQx_Write = 3 } QxChannelDir;

typedef enum {
  kQx_ChannelStateNotSpecified = 1,
  kQx_ChannelIOCharsAvailable = 2,
  kQx_ChannelEmpty = 3,
  kQx_ChannelBroken = 4
} QxChannelState;

typedef struct QxChannelFIFOParam {
  char* pChannelIn;    /* path of the FIFO this process reads */
  char* pChannelOut;   /* path of the FIFO this process writes */
  char* pGateFileName; /* gate file kept by a server provider; NULL otherwise */
  int fdIn;            /* descriptor read from, -1 when none */
  int fdOut;           /* descriptor written to, -1 when none */
} QxChannelFIFOParam;

typedef struct QxChannelSocketParam {
  char* pGateFileName; /* gate file kept by a server provider; NULL otherwise */
  uint16_t sin_port;   /* port on the local host, for a server consumer */
  int sockfdInOut;     /* the connected socket, -1 when none */
} QxChannelSocketParam;

typedef struct QxChannelParam {
  QxChannelType qxChannelType;
  union {
    QxChannelFIFOParam fifoParam;
    QxChannelSocketParam socketParam;
  } channel;
} QxChannelParam, *PQxChannelParam;

typedef struct QxChannel {
  PQxChannelParam pQxChannelParam;
  QxChannelUsage qxChannelUsage;
} QxChannel, *PQxChannel;

typedef struct QxChannelIOParams {
  PQxChannel pQxChannel; /* all bits set: not given */
  union {
    QxPtr rBufferPtr;
    QxConstPtr wBufferPtr;
  } io;                  /* all bits set: not given */
  size_t length;         /* write: bytes to send; after a read: its result */
  QxChannelDir qxChannelDir;
  QxIOSynch qxIOSynch;
  QxSLong ioResult;      /* -1 with the defaults; not written by the layer */
  size_t actualLength;   /* bytes transferred by the last operation */
  QxChannelState qxChannelState;
} QxChannelIOParams, *PQxChannelIOParams;

/* The "not given" value of request fields and QxSetChannelIOParams arguments. */
#define kQx_NotGivenPtr ((void*)~(uintptr_t)0)
#define kQx_NotGivenChannel ((PQxChannel)~(uintptr_t)0)
#define kQx_NotGivenLength (~(size_t)0)

typedef QxSShort QxChannelTraceLevel;
enum {
  kQx_Channel_NoTrace = 0,
  kQx_Channel_TraceError = 1,
  kQx_Channel_TraceRoutineCalls = 2
};

QX_API void QxChannelInit(void) QX_NOEXCEPT;
QX_API void QxSetChannelTrace(QxChannelTraceLevel qxChannelTraceLevel) QX_NOEXCEPT;
/* Sets the record to the type with no coordinates (null paths, -1
 * descriptors). */
QX_API void QxInitChannelParam(PQxChannelParam pQxChannelParam, QxChannelType qxChannelType) QX_NOEXCEPT;
/* Opens the link described by the caller's record, which must outlive the
 * channel (the channel points to it; the paths in it are borrowed). path is
 * the gate file for kQx_ServerProvider (written) and kQx_ClientConsumer
 * (read), the program to start for kQx_ClientProvider, unused for
 * kQx_ServerConsumer. Blocks until the peer arrives, without a time-out (a
 * signal whose handler does not restart calls ends a FIFO open: kQx_OpenError).
 * Returns the channel (freed by QxCloseChannel) or null with g_qxErrno set and
 * a trace. A client provider whose program cannot be started fails at once
 * (kQx_ExecvError, whatever SIGCHLD's setting); what it does once the program
 * has started is in QXLink.h. A gate file that cannot be written: kQx_OpenError,
 * or kQx_MemFullErr when memory ran out. The library's own descriptors are
 * close-on-exec.
 * A socket server provider listens on every interface of the machine and
 * accepts any peer that connects: there is no authentication. */
QX_API PQxChannel QxOpenChannel(PQxChannelParam pQxChannelParam, QxChannelUsage qxChannelUsage,
                                char* path) QX_NOEXCEPT;
/* Ends the link (end-of-link marker), removes the gate file of a server
 * provider or the FIFOs of a FIFO client provider (a FIFO server provider's
 * FIFOs stay), and frees the channel; the caller's parameter record stays. */
QX_API void QxCloseChannel(PQxChannel pQxChannel) QX_NOEXCEPT;
/* A new request with the defaults; never freed by the layer. */
QX_API PQxChannelIOParams QxNewChannelIOParams(void) QX_NOEXCEPT;
QX_API void QxSetChannelDefaultIOParams(PQxChannelIOParams pQxChannelIOParam) QX_NOEXCEPT;
QX_API void QxSetChannelIOParams(PQxChannelIOParams pQxChannelIOParam, PQxChannel pQxChannel,
                                 QxChannelDir qxChannelDir, QxIOSynch qxIOSynch, QxPtr rBufferPtr,
                                 QxConstPtr wBufferPtr, size_t length) QX_NOEXCEPT;
/* Reads one message into the request's buffer (kQx_MaxMessageLength bytes;
 * no NUL added); actualLength holds its length. kQx_Sync waits for a whole
 * message, kQx_Async makes one attempt (0 bytes when nothing waits). */
QX_API void QxReadInChannel(PQxChannelIOParams pQxChannelIOParam, QxIOSynch qxIOSynch) QX_NOEXCEPT;
/* Writes the request's length bytes as one message. A failed write sets
 * kQx_BrokenCom and marks the request broken; later writes on it return at
 * once without error and without writing. SIGPIPE: see QXMain.h. */
QX_API void QxWriteInChannel(PQxChannelIOParams pQxChannelIOParam, QxIOSynch qxIOSynch) QX_NOEXCEPT;
/* Waits until one of the requests of the list (PQxChannelIOParams, each naming
 * an open channel) can proceed, and marks each one's qxChannelState.
 * (tv_sec 0, tv_nsec -1) waits without limit; otherwise tv_nsec is the
 * microseconds part of the time-out, and a time-out is traced and sets
 * kQx_TimeOut. A list that leaves nothing to watch (only broken requests, say)
 * fails at once with kQx_InternalErr. At the end of a link the read gives a
 * negative actualLength and the wait keeps reporting the channel readable. */
QX_API void QxWaitForChannelMessages(CListe channelIOParamList, time_t tv_sec, long tv_nsec) QX_NOEXCEPT;

/* Per-type halves of open and close; the opens return the connection
 * function's result (0, or -1 on failure). */
QX_API int QxOpenChannelFIFO(PQxChannel pQxChannel, char* path) QX_NOEXCEPT;
QX_API int QxOpenChannelSocket(PQxChannel pQxChannel, char* path) QX_NOEXCEPT;
QX_API void QxCloseChannelFIFO(PQxChannel pQxChannel) QX_NOEXCEPT;
QX_API void QxCloseChannelSocket(PQxChannel pQxChannel) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
