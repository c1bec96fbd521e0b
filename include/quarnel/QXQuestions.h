// SPDX-License-Identifier: MIT
/* User feedback: progress steps, session variables and model notices. */
#ifndef QUARNEL_QXQUESTIONS_H
#define QUARNEL_QXQUESTIONS_H

#include "quarnel/QXChannel.h"
#include "quarnel/QXModel.h"
#include "quarnel/QXTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum { kQx_MainStepLevel = 1, kQx_SubStepLevel = 2 } QxStepLevel;

typedef enum {
  kQx_NonPersistantSessionVariable = 0,
  kQx_PersistantSessionVariable = 1
} QxPersistantSessionVariable;

/* Progress as a waiting message (QxSendWaitingMessage): "message value/max"
 * when max is not 0, "message value" when only value is, "+" when both are 0
 * (standalone, a tick on standard error without a line feed); without a
 * message, the numbers alone. stepLevel is not used. */
QX_API void QxUserStep(const char* message, QxStepLevel stepLevel, QxSLong max, QxSLong value) QX_NOEXCEPT;
/* SESSION_VAR(n:name,persistence,n:value), in every mode; a command over
 * kQx_MaxKoraCommand bytes is dropped. */
QX_API void QxUserCreateSessionVariable(const char* var_name, const char* var_value,
                                        QxPersistantSessionVariable persistantSessionVariable) QX_NOEXCEPT;
/* SESSION_VAR(n:name,0,0:). */
QX_API void QxUserDeleteSession_Variable(const char* var_name) QX_NOEXCEPT;
/* CHANGE_MODEL() on the given output request (null: the current one). */
QX_API void QxUserChangedModel(PQxChannelIOParams pQxOutputChannelIOParams) QX_NOEXCEPT;
/* LOCK_MODEL() when lock is kQx_True, UNLOCK_MODEL() otherwise, on the given
 * output request (null: the current one). */
QX_API void QxUserLockModel(PQxChannelIOParams pQxOutputChannelIOParams, QxBoolean lock) QX_NOEXCEPT;
/* Hooks with no effect, kept for tools that call them (main calls
 * QxUserInit). */
QX_API void QxUserInit(void) QX_NOEXCEPT;
QX_API void QxQuestionsInit(void) QX_NOEXCEPT;
QX_API void QxSendModel(PQxModel pQxModel) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
