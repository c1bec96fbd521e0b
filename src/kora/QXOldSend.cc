// The legacy French-named senders: one function per host command. Each
// composes its command (string arguments counted, a null string sent as the
// empty one) and sends it to the current output record.
#include <cstring>

#include "kora/kora_compose.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"

namespace {

using qx::SendKoraF;
using qx::TextOrEmpty;

// Byte length of a counted argument.
long Len(const char* text) { return static_cast<long>(std::strlen(TextOrEmpty(text))); }

// Texts longer than this are announced as too large before being sent.
constexpr size_t kLegacyTextWarning = 200;

}  // namespace

extern "C" {

void QxOldEnvoiDetruitObjet(long numero) noexcept { SendKoraF(nullptr, "SU(%ld)", numero); }

void QxOldEnvoiAfficherDialogue(long numDialogue) noexcept {
  SendKoraF(nullptr, "AD(%ld)", numDialogue);
}

void QxOldEnvoiCreerDialogue(long numDialogue, long type, long nbBouton, const char* titreFenetre,
                             const char* help, const char* titre, long saisie, long multi,
                             const char* valDefaut) noexcept {
  titreFenetre = TextOrEmpty(titreFenetre);
  help = TextOrEmpty(help);
  titre = TextOrEmpty(titre);
  if (valDefaut == nullptr) {
    SendKoraF(nullptr, "CE(%ld,%ld,%ld,%ld:%s,%ld:%s,%ld:%s,%ld,%ld,)", numDialogue, type,
              nbBouton, Len(titreFenetre), titreFenetre, Len(help), help, Len(titre), titre,
              saisie, multi);
  } else {
    SendKoraF(nullptr, "CE(%ld,%ld,%ld,%ld:%s,%ld:%s,%ld:%s,%ld,%ld,%ld:%s)", numDialogue, type,
              nbBouton, Len(titreFenetre), titreFenetre, Len(help), help, Len(titre), titre,
              saisie, multi, Len(valDefaut), valDefaut);
  }
}

void QxOldEnvoiDebutDialogue(void) noexcept { SendKoraF(nullptr, "DC()"); }

void QxOldEnvoiDialogueSuite(long numDialogue, const char* ligne) noexcept {
  SendKoraF(nullptr, "DS(%ld,%ld:%s)", numDialogue, Len(ligne), TextOrEmpty(ligne));
}

void QxOldEnvoiFinDialogue(void) noexcept { SendKoraF(nullptr, "FF()"); }

void QxOldEnvoiDetruireDialogue(long numDialogue) noexcept {
  SendKoraF(nullptr, "DG(%ld)", numDialogue);
}

void QxOldEnvoiDebutEnsemble(void) noexcept { SendKoraF(nullptr, "DE()"); }

void QxOldEnvoiDebutEnsemble2(const char* setName, int setKind) noexcept {
  g_qxErrno = kQx_NoErr;
  if (setName == nullptr) {
    QxTrace("Qx OldEnvoiDebutEnsemble2:setName==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  SendKoraF(nullptr, "DE(%ld:%s,%d)", Len(setName), setName, setKind);
}

void QxOldEnvoiFinEnsemble(void) noexcept { SendKoraF(nullptr, "FE()"); }

void QxOldEnvoiResultatObjet(long numero) noexcept { SendKoraF(nullptr, "RO(%ld)", numero); }

void QxOldEnvoiCategorieResultat(int code) noexcept { SendKoraF(nullptr, "CR(%d)", code); }

void QxOldEnvoiMiseEnEvidence(long numero) noexcept { SendKoraF(nullptr, "ME(%ld)", numero); }

void QxOldEnvoiMiseEnEvidenceAttribut(long numero, const char* typeAtt, long /*indiceInf*/,
                                      long /*indiceSup*/) noexcept {
  SendKoraF(nullptr, "MT(%ld,%ld:%s,,)", numero, Len(typeAtt), TextOrEmpty(typeAtt));
}

void QxOldEnvoiModifAttribut(long numero, const char* nomAttribut, const char* valeur) noexcept {
  SendKoraF(nullptr, "XA(%ld,%ld:%s,%ld:%s)", numero, Len(nomAttribut), TextOrEmpty(nomAttribut),
            Len(valeur), TextOrEmpty(valeur));
}

void QxOldEnvoiSupprimerTypeObjet(const char* typeAtt, const char* typeObjet) noexcept {
  if (typeAtt == nullptr) {
    SendKoraF(nullptr, "SO(,%ld:%s)", Len(typeObjet), TextOrEmpty(typeObjet));
  } else {
    SendKoraF(nullptr, "SO(%ld:%s,%ld:%s)", Len(typeAtt), typeAtt, Len(typeObjet),
              TextOrEmpty(typeObjet));
  }
}

void QxOldEnvoiReponseTexte(const char* bufferTexte) noexcept {
  bufferTexte = TextOrEmpty(bufferTexte);
  if (std::strlen(bufferTexte) > kLegacyTextWarning) {
    QxTrace("Qx OldEnvoiReponseTexte:bufferTexte too large (have to be cut !)");
  }
  SendKoraF(nullptr, "RT(%ld:%s)", Len(bufferTexte), bufferTexte);
}

void QxOldEnvoiReponseNumTexte(long /*num*/) noexcept {
  static const char kText[] = "Qx OldEnvoiReponseNumTexte not implemented";
  SendKoraF(nullptr, "RT(%ld:%s)", Len(kText), kText);
}

void QxOldEnvoiReponseTrace(const char* bufferTexte) noexcept {
  if (bufferTexte == nullptr) {
    QxTrace("Qx OldEnvoiReponseTrace:bufferTexte==NULL");
    return;
  }
  if (std::strlen(bufferTexte) > kLegacyTextWarning) {
    QxTrace("Qx OldEnvoiReponseTrace:bufferTexte too large (have to be cut !)");
  }
  SendKoraF(nullptr, "TR(%ld:%s)", Len(bufferTexte), bufferTexte);
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
  SendKoraF(nullptr, "%s(%s)", koraCommand, koraParam);
}

}  // extern "C"
