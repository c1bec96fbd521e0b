// SPDX-License-Identifier: MIT
/* Results: messages of a severity, optionally tied to an object and to a place
 * in one of its labels. Sent to the host as KORA commands, or printed on the
 * standard streams when the tool runs standalone. Each operation clears
 * g_qxErrno on entry. A result is begin, messages, end; results must not be
 * interleaved. */
#ifndef QUARNEL_QXRESULTS_H
#define QUARNEL_QXRESULTS_H

#include "quarnel/QXTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
  kQx_ResultErrorNotSpecified = 0,
  kQx_ResultNoError = 1,
  kQx_ResultWarning = 2,
  kQx_ResultError = 3
} QxResultErrorLevel;

/* Opens a result of that level: DE(n:from TOOL:,level) to the host;
 * standalone, "* Warning " or "* Error " and "from TOOL:" on standard error,
 * or "from TOOL:" on standard output for kQx_ResultNoError. */
QX_API void QxResultSendBeginMessage(QxResultErrorLevel qxResultErrorLevel) QX_NOEXCEPT;
/* Adds a message, optionally about object qxObjectID (0: none) and a place in
 * its label pAttributeInternalName (null: none): both indexes 0, the whole
 * label; indexBegin negative, line -indexBegin; otherwise the characters
 * indexBegin to indexEnd. To the host: RO(id), the message and the location
 * text as RT commands (split like QxClSendTextResponse, so of any length),
 * then ME(id), or MT(id,n:attribute,begin,end) with an attribute. Standalone:
 * the message and the location text as lines. May be called several times.
 * Memory exhausted: nothing of the message is sent, trace and
 * kQx_MemFullErr. */
QX_API void QxResultSendMessage(QxConstISOStr message, QxObjectID qxObjectID,
                                QxConstAttributeName pAttributeInternalName, QxSShort indexBegin,
                                QxSShort indexEnd) QX_NOEXCEPT;
/* Closes the result: FE() to the host; standalone, flushes the stream. */
QX_API void QxResultSendEndMessage(void) QX_NOEXCEPT;
/* Begin, one message, end. Memory exhausted while composing the location
 * text: nothing of the result is sent, trace and kQx_MemFullErr. */
QX_API void QxResultSendOneMessage(QxResultErrorLevel qxResultErrorLevel, QxConstISOStr message,
                                   QxObjectID qxObjectID, QxConstAttributeName pAttributeInternalName,
                                   QxSShort indexBegin, QxSShort indexEnd) QX_NOEXCEPT;
/* A plain answer of any length: a result of level kQx_ResultNoError holding
 * the text (DE, RT pieces, FE); standalone, "from TOOL:" and the text on
 * standard output. The sender to use for texts to the user. A null message:
 * trace, kQx_ParamErr. */
QX_API void QxSendTextResponse(QxConstISOStr message) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
