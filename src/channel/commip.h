// SPDX-License-Identifier: MIT
// Internal operations of the framed descriptor I/O and of the channel wait.
//
// The frame on a FIFO or socket is an 8-byte native signed length N followed by
// N text bytes; N = 0 is the end-of-link marker.
#ifndef QUARNEL_SRC_CHANNEL_COMMIP_H
#define QUARNEL_SRC_CHANNEL_COMMIP_H

#include <stddef.h>
#include <sys/select.h>
#include <time.h>

// QXLSurviveBrokenPipes, which the frame writes rely on, is public.
#include "quarnel/QXLink.h"

#ifdef __cplusplus
extern "C" {
#endif

// Reads exactly taille bytes into buffer. Returns taille; 0 when the
// descriptor is non-blocking and no byte was waiting (nothing consumed); -1 at
// end of file or on an error. Once the first byte has been taken the rest is
// awaited (with poll on a non-blocking descriptor). A taille <= 0 is returned
// unchanged; one above INT_MAX is refused with -1.
int QXlectDesc(int desc, char* buffer, long taille);

// Writes the taille bytes of buffer completely. Returns taille, 0 for
// taille <= 0, or -1 on failure. SIGPIPE: see QXLSurviveBrokenPipes.
int QXecritDesc(int desc, long taille, const char* buffer);

// Writes the n bytes of text as one frame (length word, then the text),
// completing short writes. Returns n, 0 for n == 0 (nothing is written and
// text may then be null), or -1 on failure. text must hold no NUL among its n
// bytes; it need not be NUL-terminated. SIGPIPE: see QXLSurviveBrokenPipes.
int QXLWriteFrame(int desc, const char* text, size_t n);

// Records the kind of a descriptor this layer has just opened: a socket,
// always written with sendmsg and MSG_NOSIGNAL, or a FIFO end, written with
// writev without trying sendmsg first. Descriptors this layer did not open
// are tried with sendmsg on every write.
void QXLLearnKind(int desc, bool socket);

// The channel write's switch of its descriptor to blocking mode: QXlectBloq,
// without any system call when this layer already knows the descriptor to be
// blocking (it cleared or saw clear the flag, and neither set it nor closed
// the descriptor since). A change of the flag made outside this layer (fcntl
// by the caller, or another process sharing the open file description) is
// therefore not looked for on every write; the frame write waits for room
// whatever the flag says, so the write blocks either way.
void QXLMakeBlockingForWrite(int desc);

// Waits like select on the descriptors of the three sets (exceptfds: urgent
// data). (sec 0, msec -1) waits without limit; otherwise msec is the
// microseconds part of the time-out. Returns the number of ready (descriptor,
// set) pairs with the sets reduced to the ready ones, 0 on time-out, or -1 with
// errno (the sets are then unchanged).
int QXselect(fd_set* readfds, fd_set* writefds, fd_set* exceptfds, time_t sec, long msec);

// The two visitors of the channel wait (list traversal callbacks). pDonnee is
// a PQxChannelIOParams, param1 the wait's private descriptor set. Both return
// NULL so that the walk visits every request.
void* AjouterDescripteur(void* pDonnee, void* param1, void* param2, void* param3, void* param4,
                         void* param5, void* param6, void* param7, void* param8);
void* ScruterDescripteur(void* pDonnee, void* param1, void* param2, void* param3, void* param4,
                         void* param5, void* param6, void* param7, void* param8);

#ifdef __cplusplus
}
#endif

#endif
