// SPDX-License-Identifier: MIT
// The legacy calls that compose no command of their own: life-cycle calls
// whose work the library now does itself (each leaves a trace saying so),
// question states, and the lookup of numbered error messages.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kora/kora_compose.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "runtime/trace.h"
#include "support/format.h"
#include "support/memory_guard.h"
#include "support/stdio_file.h"

namespace {

// Opens the error-message file of a language in the main workspace; path
// receives its name.
qx::StdioFile OpenMessageFile(const char* mainWorkSpace, int language, std::string& path) {
  path = qx::StringF("%serreur.%d", mainWorkSpace, language);
  return qx::OpenStdio(path.c_str(), "r");
}

// Reads the next line without its line feed. False at end of file.
bool ReadLine(FILE* file, std::string& line) {
  line.clear();
  int c = std::fgetc(file);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::fgetc(file)) line.push_back(static_cast<char>(c));
  return true;
}

// Splits a record "<number> <text>". False when the line does not begin
// (after white space) with a decimal number.
bool ParseRecord(const std::string& line, long& number, const char*& text) {
  const char* start = line.c_str();
  char* end = nullptr;
  number = std::strtol(start, &end, 10);
  if (end == start) return false;
  while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\v' || *end == '\f') ++end;
  text = end;
  return true;
}

}  // namespace

extern "C" {

QxBoolean QxOldInitKORA_a(int /*argc*/, char** /*argv*/) noexcept { return kQx_False; }

void QxOldFinInitKORA_a(void) noexcept {}

void QxOldArretKORA_a(void) noexcept { QxTrace("Qx OldArretKORA_a called"); }

void QxOldEnvoiFinReponse(void) noexcept {
  QxTrace("Qx OldEnvoiFinReponse:Please do not use FR ! Quarnel will do it for you.");
}

void QxOldEnvoiFinReponse2(int /*num*/) noexcept {
  QxTrace("Qx OldEnvoiFinReponse2:Please do not use FR ! Quarnel will do it for you.");
}

void QxOldEnvoiDebutReponse(const char* nomQuestion) noexcept {
  qx::TraceF(
      "Qx OldEnvoiDebutReponse for question %s, Please do not use DR ! Quarnel will do it for "
      "you.",
      qx::TextOrEmpty(nomQuestion));
}

int QxOldCheminExecApplication(char* fileName) noexcept {
  QxTrace("Qx OldCheminExecApplication: will give correct path");
  if (fileName != nullptr) fileName[0] = '\0';
  return -1;
}

int QxOldDejaTravaille(void) noexcept {
  QxTrace("Qx OldDejaTravaille:to be done");
  return 0;
}

void QxOldEnvoiEtatQuestion(const char* nomQuestion, long etat, const char* message) noexcept {
  static const char* const kStateNames[] = {"ETAT_Termine", "ETAT_Stop",    "ETAT_Back",
                                            "ETAT_Errone",  "ETAT_Enable",  "ETAT_Disable",
                                            "ETAT_Incremental"};
  switch (etat) {
    case ETAT_Inactif:
      QxTrace("Qx OldEnvoiEtatQuestion:ETAT_Inactif");
      return;
    case ETAT_Actif:
      if (message != nullptr) {
        QxSendWaitingMessage(message);
      } else {
        QxTrace("Qx OldEnvoiEtatQuestion: ETAT_Actif et message vide ?");
      }
      return;
    default:
      if (etat >= ETAT_Termine && etat <= ETAT_Incremental) {
        qx::TraceF("Qx OldEnvoiEtatQuestion: %s sur question %s", kStateNames[etat - ETAT_Termine],
                   qx::TextOrEmpty(nomQuestion));
      } else {
        qx::TraceF("Qx OldEnvoiEtatQuestion: unknown state %ld", etat);
      }
  }
}

static int LookUpErrorMessage(int numero, char* message) {
  if (message == nullptr) {
    QxTrace("Qx OldGetMessErreur:message==NULL");
    return -1;
  }
  // The lookup leaves the error code as it found it, whatever the path
  // operation reports. Without a main workspace (or with one refused as too
  // long) the path operation leaves the buffer empty and has said why; the
  // message files are then those of the current directory.
  const QxSLong savedErrno = g_qxErrno;
  char mainWorkSpace[kQx_PathCapacity];
  mainWorkSpace[0] = '\0';
  QxEnvGetMainWorkSpacePath(mainWorkSpace);
  g_qxErrno = savedErrno;

  const int language = QxEnvGetLanguage();
  std::string path;
  qx::StdioFile file = OpenMessageFile(mainWorkSpace, language, path);
  if (!file && language != 0) file = OpenMessageFile(mainWorkSpace, 0, path);
  if (!file) return -1;

  std::string line;
  while (ReadLine(file.get(), line)) {
    long number = 0;
    const char* text = nullptr;
    if (ParseRecord(line, number, text) && number == numero) {
      qx::CopyTo(message, kQx_ErrorMessageCapacity, text);  // cut to the documented capacity
      return 0;
    }
  }
  qx::FormatTo(message, kQx_ErrorMessageCapacity, "Qx OldGetMessErreur:Message %d is empty in file %s",
               numero, path.c_str());
  return 0;
}

int QxOldGetMessErreur(int numero, char* message) noexcept {
  return qx::GuardMemory(
      "OldGetMessErreur", [&] { return LookUpErrorMessage(numero, message); }, -1);
}

}  // extern "C"
