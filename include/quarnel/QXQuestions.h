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

void QxUserStep(const char* message, QxStepLevel stepLevel, QxSLong max, QxSLong value) QX_NOEXCEPT;
void QxUserCreateSessionVariable(const char* var_name, const char* var_value,
                                 QxPersistantSessionVariable persistantSessionVariable) QX_NOEXCEPT;
void QxUserDeleteSession_Variable(const char* var_name) QX_NOEXCEPT;
void QxUserChangedModel(PQxChannelIOParams pQxOutputChannelIOParams) QX_NOEXCEPT;
void QxUserLockModel(PQxChannelIOParams pQxOutputChannelIOParams, QxBoolean lock) QX_NOEXCEPT;
void QxUserInit(void) QX_NOEXCEPT;
void QxQuestionsInit(void) QX_NOEXCEPT;
void QxSendModel(PQxModel pQxModel) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
