// SPDX-License-Identifier: MIT
// The legacy French-named senders: one function per host command. Each
// composes its command (string arguments counted, a null string sent as the
// empty one) and sends it to the current output record.
#include <cstring>

#include "kora/kora_compose.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"

namespace {

using qx::KoraCommand;
using qx::TextOrEmpty;

// Texts longer than this are announced as too large before being sent.
constexpr size_t kLegacyTextWarning = 200;

}  // namespace

extern "C" {

void QxOldEnvoiDetruitObjet(long numero) noexcept { KoraCommand("SU").Number(numero).Send(); }

void QxOldEnvoiAfficherDialogue(long numDialogue) noexcept {
  KoraCommand("AD").Number(numDialogue).Send();
}

void QxOldEnvoiCreerDialogue(long numDialogue, long type, long nbBouton, const char* titreFenetre,
                             const char* help, const char* titre, long saisie, long multi,
                             const char* valDefaut) noexcept {
  KoraCommand command("CE");
  command.Number(numDialogue).Number(type).Number(nbBouton);
  command.Text(titreFenetre).Text(help).Text(titre).Number(saisie).Number(multi);
  // Without a default value the last argument stays empty.
  if (valDefaut == nullptr) {
    command.Empty();
  } else {
    command.Text(valDefaut);
  }
  command.Send();
}

void QxOldEnvoiDebutDialogue(void) noexcept { KoraCommand("DC").Send(); }

void QxOldEnvoiDialogueSuite(long numDialogue, const char* ligne) noexcept {
  KoraCommand("DS").Number(numDialogue).Text(ligne).Send();
}

void QxOldEnvoiFinDialogue(void) noexcept { KoraCommand("FF").Send(); }

void QxOldEnvoiDetruireDialogue(long numDialogue) noexcept {
  KoraCommand("DG").Number(numDialogue).Send();
}

void QxOldEnvoiDebutEnsemble(void) noexcept { KoraCommand("DE").Send(); }

void QxOldEnvoiDebutEnsemble2(const char* setName, int setKind) noexcept {
  g_qxErrno = kQx_NoErr;
  if (setName == nullptr) {
    QxTrace("Qx OldEnvoiDebutEnsemble2:setName==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  KoraCommand("DE").Text(setName).Number(setKind).Send();
}

void QxOldEnvoiFinEnsemble(void) noexcept { KoraCommand("FE").Send(); }

void QxOldEnvoiResultatObjet(long numero) noexcept { KoraCommand("RO").Number(numero).Send(); }

void QxOldEnvoiCategorieResultat(int code) noexcept { KoraCommand("CR").Number(code).Send(); }

void QxOldEnvoiMiseEnEvidence(long numero) noexcept { KoraCommand("ME").Number(numero).Send(); }

void QxOldEnvoiMiseEnEvidenceAttribut(long numero, const char* typeAtt, long /*indiceInf*/,
                                      long /*indiceSup*/) noexcept {
  KoraCommand("MT").Number(numero).Text(typeAtt).Empty().Empty().Send();
}

void QxOldEnvoiModifAttribut(long numero, const char* nomAttribut, const char* valeur) noexcept {
  KoraCommand("XA").Number(numero).Text(nomAttribut).Text(valeur).Send();
}

void QxOldEnvoiSupprimerTypeObjet(const char* typeAtt, const char* typeObjet) noexcept {
  KoraCommand command("SO");
  // Without an attribute type the first argument stays empty.
  if (typeAtt == nullptr) {
    command.Empty();
  } else {
    command.Text(typeAtt);
  }
  command.Text(typeObjet).Send();
}

void QxOldEnvoiReponseTexte(const char* bufferTexte) noexcept {
  bufferTexte = TextOrEmpty(bufferTexte);
  if (std::strlen(bufferTexte) > kLegacyTextWarning) {
    QxTrace("Qx OldEnvoiReponseTexte:bufferTexte too large (have to be cut !)");
  }
  KoraCommand("RT").Text(bufferTexte).Send();
}

void QxOldEnvoiReponseNumTexte(long /*num*/) noexcept {
  KoraCommand("RT").Text("Qx OldEnvoiReponseNumTexte not implemented").Send();
}

void QxOldEnvoiReponseTrace(const char* bufferTexte) noexcept {
  if (bufferTexte == nullptr) {
    QxTrace("Qx OldEnvoiReponseTrace:bufferTexte==NULL");
    return;
  }
  if (std::strlen(bufferTexte) > kLegacyTextWarning) {
    QxTrace("Qx OldEnvoiReponseTrace:bufferTexte too large (have to be cut !)");
  }
  KoraCommand("TR").Text(bufferTexte).Send();
}

void QxOldEnvoiKORA(const char* koraParam, const char* koraCommand) noexcept {
  g_qxErrno = kQx_NoErr;
  if (koraParam == nullptr) {
    QxTrace("Qx OldEnvoiKORA:koraParam==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  if (koraCommand == nullptr) {
    QxTrace("Qx OldEnvoiKORA:koraCommand==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  KoraCommand(koraCommand).Raw(koraParam).Send();
}

}  // extern "C"
