/* KORA commands: output and input, long texts and files, and the legacy
 * French-named message interface.
 *
 * A KORA command is a name, "(", comma-separated arguments, ")": integers in
 * decimal, strings counted as "<byte length>:<bytes>". Every command leaves
 * through QxClSendChannelKora: to a channel request (one framed message), else
 * to standard output in standard-output mode (one line), else as a diagnostic
 * line on standard error. A command longer than kQx_MaxKoraCommand bytes is
 * refused whole (trace, kQx_ParamErr). */
#ifndef QUARNEL_QXCLSEND_H
#define QUARNEL_QXCLSEND_H

#include <stdio.h>

#include "quarnel/QXChannel.h"
#include "quarnel/QXTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Longest command that may be sent, in bytes. */
enum { kQx_MaxKoraCommand = 255 };

/* Receive buffers must hold kQx_MaxMessageLength + 1 bytes (QXChannel.h).
 * A read that fails (end of file, end-of-link marker, over-long frame) or does
 * not take place (broken or refused request) leaves an empty string in the
 * buffer of QxClReceiveChannelKora and QxClRecoitKORA. QxOldRecoitKORA then
 * returns the read's negative result as SqSize_t (-1 end of file or error, -2
 * end-of-link marker), or -1 as SqSize_t when no read took place, and leaves
 * the buffer as it was. */
enum { kQx_ReceiveBufferSize = kQx_MaxMessageLength + 1 };

/* Capacity the caller of QxOldGetMessErreur must provide, in bytes; longer
 * message lines are cut to fit. */
enum { kQx_ErrorMessageCapacity = 8192 };

typedef enum { kQx_DoNotDeleteIt = 0, kQx_DeleteIt = 1 } QxFilePostCondition;

/* Question states of QxOldEnvoiEtatQuestion. */
enum {
  ETAT_Inactif = 1,
  ETAT_Actif = 2,
  ETAT_Termine = 3,
  ETAT_Stop = 4,
  ETAT_Back = 5,
  ETAT_Errone = 6,
  ETAT_Enable = 7,
  ETAT_Disable = 8,
  ETAT_Incremental = 9
};

/* Output and input. */
void QxClSetCurrentChannelIO(PQxChannelIOParams pqxPDefaultInputChannelIOParams,
                             PQxChannelIOParams pqxPDefaultOutputChannelIOParams) QX_NOEXCEPT;
void QxEnvSetDefaultOutputStream(FILE* outputStream) QX_NOEXCEPT;
void QxClSendChannelKora(PQxChannelIOParams pQxOutputChannelIOParams,
                         const char* message) QX_NOEXCEPT;
void QxClReceiveChannelKora(char* messageBuffer,
                            PQxChannelIOParams pQxInputChannelIOParams) QX_NOEXCEPT;
void QxClRecoitKORA(char* messageBuffer) QX_NOEXCEPT;
SqSize_t QxOldRecoitKORA(QxPtr rBufferPtr) QX_NOEXCEPT;
SqSize_t QXOldRecoitKORANonBl(char* messageBuffer) QX_NOEXCEPT;

/* Long texts and files. */
void QxClSendTextResponse(QxConstISOStr textBuffer) QX_NOEXCEPT;
void QxClSendMultipleText(const char* koraPrefix, QxConstISOStr textBuffer) QX_NOEXCEPT;
void QxClSendFile(const char* fileNamePath, QxFilePostCondition qxFilePostCondition) QX_NOEXCEPT;
void QxClSendMainWorkSpaceFile(const char* shortFileName) QX_NOEXCEPT;
void QxClSendModelWorkSpaceFile(const char* shortFileName,
                                QxFilePostCondition qxFilePostCondition) QX_NOEXCEPT;

/* Legacy senders. */
void QxOldEnvoiDetruitObjet(long numero) QX_NOEXCEPT;
void QxOldEnvoiAfficherDialogue(long numDialogue) QX_NOEXCEPT;
void QxOldEnvoiCreerDialogue(long numDialogue, long type, long nbBouton, const char* titreFenetre,
                             const char* help, const char* titre, long saisie, long multi,
                             const char* valDefaut) QX_NOEXCEPT;
void QxOldEnvoiDebutDialogue(void) QX_NOEXCEPT;
void QxOldEnvoiDialogueSuite(long numDialogue, const char* ligne) QX_NOEXCEPT;
void QxOldEnvoiFinDialogue(void) QX_NOEXCEPT;
void QxOldEnvoiDetruireDialogue(long numDialogue) QX_NOEXCEPT;
void QxOldEnvoiDebutEnsemble(void) QX_NOEXCEPT;
void QxOldEnvoiDebutEnsemble2(const char* setName, int setKind) QX_NOEXCEPT;
void QxOldEnvoiFinEnsemble(void) QX_NOEXCEPT;
void QxOldEnvoiResultatObjet(long numero) QX_NOEXCEPT;
void QxOldEnvoiCategorieResultat(int code) QX_NOEXCEPT;
void QxOldEnvoiMiseEnEvidence(long numero) QX_NOEXCEPT;
void QxOldEnvoiMiseEnEvidenceAttribut(long numero, const char* typeAtt, long indiceInf,
                                      long indiceSup) QX_NOEXCEPT;
void QxOldEnvoiModifAttribut(long numero, const char* nomAttribut, const char* valeur) QX_NOEXCEPT;
void QxOldEnvoiSupprimerTypeObjet(const char* typeAtt, const char* typeObjet) QX_NOEXCEPT;
void QxOldEnvoiReponseTexte(const char* bufferTexte) QX_NOEXCEPT;
void QxOldEnvoiReponseNumTexte(long num) QX_NOEXCEPT;
void QxOldEnvoiReponseTrace(const char* bufferTexte) QX_NOEXCEPT;
void QxOldEnvoiKORA(const char* koraParam, const char* koraCommand) QX_NOEXCEPT;

/* Legacy calls that compose no command of their own. */
QxBoolean QxOldInitKORA_a(int argc, char** argv) QX_NOEXCEPT;
void QxOldFinInitKORA_a(void) QX_NOEXCEPT;
void QxOldArretKORA_a(void) QX_NOEXCEPT;
void QxOldEnvoiFinReponse(void) QX_NOEXCEPT;
void QxOldEnvoiFinReponse2(int num) QX_NOEXCEPT;
void QxOldEnvoiDebutReponse(const char* nomQuestion) QX_NOEXCEPT;
int QxOldCheminExecApplication(char* fileName) QX_NOEXCEPT;
int QxOldDejaTravaille(void) QX_NOEXCEPT;
void QxOldEnvoiEtatQuestion(const char* nomQuestion, long etat, const char* message) QX_NOEXCEPT;
/* message must hold kQx_ErrorMessageCapacity bytes. */
int QxOldGetMessErreur(int numero, char* message) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
