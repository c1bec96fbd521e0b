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

void QxUserStep(const char* message, QxStepLevel stepLevel, QxSLong max, QxSLong value);
void QxUserCreateSessionVariable(const char* var_name, const char* var_value,
                                 QxPersistantSessionVariable persistantSessionVariable);
void QxUserDeleteSession_Variable(const char* var_name);
void QxUserChangedModel(PQxChannelIOParams pQxOutputChannelIOParams);
void QxUserLockModel(PQxChannelIOParams pQxOutputChannelIOParams, QxBoolean lock);
void QxUserInit(void);
void QxQuestionsInit(void);
void QxSendModel(PQxModel pQxModel);

#ifdef __cplusplus
}
#endif

#endif
