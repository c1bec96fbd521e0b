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

void QxResultSendBeginMessage(QxResultErrorLevel qxResultErrorLevel) QX_NOEXCEPT;
void QxResultSendMessage(QxConstISOStr message, QxObjectID qxObjectID,
                         QxConstAttributeName pAttributeInternalName, QxSShort indexBegin,
                         QxSShort indexEnd) QX_NOEXCEPT;
void QxResultSendEndMessage(void) QX_NOEXCEPT;
void QxResultSendOneMessage(QxResultErrorLevel qxResultErrorLevel, QxConstISOStr message,
                            QxObjectID qxObjectID, QxConstAttributeName pAttributeInternalName,
                            QxSShort indexBegin, QxSShort indexEnd) QX_NOEXCEPT;
void QxSendTextResponse(QxConstISOStr message) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
