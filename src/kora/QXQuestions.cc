// SPDX-License-Identifier: MIT
// User feedback: progress steps, session variables kept by the host, and
// notices about the model.
#include "quarnel/QXQuestions.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "kora/kora_compose.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "support/memory_guard.h"

extern "C" {

static void SendStep(const char* message, QxSLong max, QxSLong value) {
  const long lmax = static_cast<long>(max);
  const long lvalue = static_cast<long>(value);
  std::string text;
  if (max != 0) {
    text = message != nullptr ? qx::StringF("%s %ld/%ld", message, lvalue, lmax)
                              : qx::StringF("%ld/%ld", lvalue, lmax);
  } else if (value != 0) {
    text = message != nullptr ? qx::StringF("%s %ld", message, lvalue) : qx::StringF("%ld", lvalue);
  } else if (g_qxStandalone) {
    // A tick: progress without a count stays on one line.
    std::fputs("+", stderr);
    return;
  } else {
    text = "+";
  }
  QxSendWaitingMessage(text.c_str());
}

void QxUserStep(const char* message, QxStepLevel /*stepLevel*/, QxSLong max,
                QxSLong value) noexcept {
  qx::GuardMemory("UserStep", [&] { SendStep(message, max, value); });
}

void QxUserCreateSessionVariable(const char* var_name, const char* var_value,
                                 QxPersistantSessionVariable persistantSessionVariable) noexcept {
  qx::KoraCommand("SESSION_VAR")
      .Text(var_name)
      .Number(static_cast<int>(persistantSessionVariable))
      .Text(var_value)
      .Send();
}

void QxUserDeleteSession_Variable(const char* var_name) noexcept {
  QxUserCreateSessionVariable(var_name, "", kQx_NonPersistantSessionVariable);
}

void QxUserChangedModel(PQxChannelIOParams pQxOutputChannelIOParams) noexcept {
  qx::KoraCommand("CHANGE_MODEL").Send(pQxOutputChannelIOParams);
}

void QxUserLockModel(PQxChannelIOParams pQxOutputChannelIOParams, QxBoolean lock) noexcept {
  qx::KoraCommand(lock == kQx_True ? "LOCK_MODEL" : "UNLOCK_MODEL").Send(pQxOutputChannelIOParams);
}

void QxUserInit(void) noexcept { QxQuestionsInit(); }

void QxQuestionsInit(void) noexcept {}

void QxSendModel(PQxModel /*pQxModel*/) noexcept {}

}  // extern "C"
