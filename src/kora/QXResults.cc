// SPDX-License-Identifier: MIT
// Results: a message of a severity, optionally tied to an object and to a
// place in one of its labels. Sent to the host as a set of legacy commands and
// text responses, or, standalone, printed on standard output (no error) or
// standard error (every other level).
#include "quarnel/QXResults.h"

#include <cstdio>
#include <string>

#include "kora/kora_compose.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "support/format.h"
#include "support/memory_guard.h"

namespace {

// Level of the result being reported; chooses the standalone stream.
QxResultErrorLevel g_tmpQxResultErrorLevel = kQx_ResultErrorNotSpecified;

// Header of the result being opened ("from <tool>:").
char g_message[2048];

FILE* ResultStream() {
  return g_tmpQxResultErrorLevel == kQx_ResultNoError ? stdout : stderr;
}

// The place a message refers to, each form beginning with two blanks; empty
// when there is none.
std::string LocationText(QxConstISOStr message, QxObjectID id, QxConstAttributeName attribute,
                         QxSShort indexBegin, QxSShort indexEnd) {
  const long object = static_cast<long>(id);
  if (attribute != nullptr) {
    if (indexBegin == 0 && indexEnd == 0) {
      return qx::StringF("  in label '%s' of object %ld", attribute, object);
    }
    if (indexBegin < 0) {
      return qx::StringF("  line %d in label '%s' of object %ld", -indexBegin, attribute, object);
    }
    return qx::StringF("  between char %d-%d in label '%s' of object %ld", indexBegin, indexEnd,
                       attribute, object);
  }
  if (id != 0 && message != nullptr) return qx::StringF("  for object %ld", object);
  return {};
}

}  // namespace

extern "C" {

void QxResultSendBeginMessage(QxResultErrorLevel qxResultErrorLevel) noexcept {
  g_tmpQxResultErrorLevel = qxResultErrorLevel;
  g_qxErrno = kQx_NoErr;
  qx::FormatTo(g_message, sizeof g_message, "from %s:", QxEnvToolName());
  if (!g_qxStandalone) {
    QxOldEnvoiDebutEnsemble2(g_message, qxResultErrorLevel);
    return;
  }
  if (qxResultErrorLevel == kQx_ResultWarning) {
    std::fputs("* Warning ", stderr);
  } else if (qxResultErrorLevel == kQx_ResultError) {
    std::fputs("* Error ", stderr);
  }
  std::fputs(g_message, ResultStream());
}

// Sends a message whose place is already composed (location); allocates
// nothing.
static void SendComposedMessage(QxConstISOStr message, QxObjectID qxObjectID,
                                QxConstAttributeName pAttributeInternalName, QxSShort indexBegin,
                                QxSShort indexEnd, const std::string& location) {
  g_qxErrno = kQx_NoErr;
  if (message == nullptr && location.empty() && qxObjectID == 0) {
    QxTrace("Qx ResultSendMessage: no message ?");
  }
  if (g_qxStandalone) {
    FILE* stream = ResultStream();
    if (message != nullptr) std::fprintf(stream, "%s\n", message);
    if (!location.empty()) std::fprintf(stream, "%s\n", location.c_str());
    return;
  }
  const long object = static_cast<long>(qxObjectID);
  if (pAttributeInternalName != nullptr || qxObjectID != 0) QxOldEnvoiResultatObjet(object);
  if (message != nullptr) QxClSendTextResponse(message);
  if (!location.empty()) QxClSendTextResponse(location.c_str());
  if (pAttributeInternalName != nullptr) {
    qx::KoraCommand("MT")
        .Number(object)
        .Text(pAttributeInternalName)
        .Number(indexBegin)
        .Number(indexEnd)
        .Send();
  } else if (qxObjectID != 0) {
    QxOldEnvoiMiseEnEvidence(object);
  }
}

void QxResultSendMessage(QxConstISOStr message, QxObjectID qxObjectID,
                         QxConstAttributeName pAttributeInternalName, QxSShort indexBegin,
                         QxSShort indexEnd) noexcept {
  qx::GuardMemory("ResultSendMessage", [&] {
    const std::string location =
        LocationText(message, qxObjectID, pAttributeInternalName, indexBegin, indexEnd);
    SendComposedMessage(message, qxObjectID, pAttributeInternalName, indexBegin, indexEnd,
                        location);
  });
}

void QxResultSendEndMessage(void) noexcept {
  g_qxErrno = kQx_NoErr;
  if (!g_qxStandalone) {
    QxOldEnvoiFinEnsemble();
  } else {
    std::fflush(ResultStream());
  }
  g_tmpQxResultErrorLevel = kQx_ResultErrorNotSpecified;
}

void QxResultSendOneMessage(QxResultErrorLevel qxResultErrorLevel, QxConstISOStr message,
                            QxObjectID qxObjectID, QxConstAttributeName pAttributeInternalName,
                            QxSShort indexBegin, QxSShort indexEnd) noexcept {
  // Everything that needs memory is composed before the first command, so
  // that exhaustion sends nothing of the message and its code stays.
  qx::GuardMemory("ResultSendOneMessage", [&] {
    const std::string location =
        LocationText(message, qxObjectID, pAttributeInternalName, indexBegin, indexEnd);
    QxResultSendBeginMessage(qxResultErrorLevel);
    SendComposedMessage(message, qxObjectID, pAttributeInternalName, indexBegin, indexEnd,
                        location);
    QxResultSendEndMessage();
  });
}

void QxSendTextResponse(QxConstISOStr message) noexcept {
  g_qxErrno = kQx_NoErr;
  if (message == nullptr) {
    QxTrace("Qx SendTextResponse null message");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  QxResultSendOneMessage(kQx_ResultNoError, message, 0, nullptr, 0, 0);
}

}  // extern "C"
