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
                             PQxChannelIOParams pqxPDefaultOutputChannelIOParams);
void QxEnvSetDefaultOutputStream(FILE* outputStream);
void QxClSendChannelKora(PQxChannelIOParams pQxOutputChannelIOParams, const char* message);
void QxClReceiveChannelKora(char* messageBuffer, PQxChannelIOParams pQxInputChannelIOParams);
void QxClRecoitKORA(char* messageBuffer);
SqSize_t QxOldRecoitKORA(QxPtr rBufferPtr);
SqSize_t QXOldRecoitKORANonBl(char* messageBuffer);

/* Long texts and files. */
void QxClSendTextResponse(QxConstISOStr textBuffer);
void QxClSendMultipleText(const char* koraPrefix, QxConstISOStr textBuffer);
void QxClSendFile(const char* fileNamePath, QxFilePostCondition qxFilePostCondition);
void QxClSendMainWorkSpaceFile(const char* shortFileName);
void QxClSendModelWorkSpaceFile(const char* shortFileName,
                                QxFilePostCondition qxFilePostCondition);

/* Legacy senders. */
void QxOldEnvoiDetruitObjet(long numero);
void QxOldEnvoiAfficherDialogue(long numDialogue);
void QxOldEnvoiCreerDialogue(long numDialogue, long type, long nbBouton, const char* titreFenetre,
                             const char* help, const char* titre, long saisie, long multi,
                             const char* valDefaut);
void QxOldEnvoiDebutDialogue(void);
void QxOldEnvoiDialogueSuite(long numDialogue, const char* ligne);
void QxOldEnvoiFinDialogue(void);
void QxOldEnvoiDetruireDialogue(long numDialogue);
void QxOldEnvoiDebutEnsemble(void);
void QxOldEnvoiDebutEnsemble2(const char* setName, int setKind);
void QxOldEnvoiFinEnsemble(void);
void QxOldEnvoiResultatObjet(long numero);
void QxOldEnvoiCategorieResultat(int code);
void QxOldEnvoiMiseEnEvidence(long numero);
void QxOldEnvoiMiseEnEvidenceAttribut(long numero, const char* typeAtt, long indiceInf,
                                      long indiceSup);
void QxOldEnvoiModifAttribut(long numero, const char* nomAttribut, const char* valeur);
void QxOldEnvoiSupprimerTypeObjet(const char* typeAtt, const char* typeObjet);
void QxOldEnvoiReponseTexte(const char* bufferTexte);
void QxOldEnvoiReponseNumTexte(long num);
void QxOldEnvoiReponseTrace(const char* bufferTexte);
void QxOldEnvoiKORA(const char* koraParam, const char* koraCommand);

/* Legacy calls that compose no command of their own. */
QxBoolean QxOldInitKORA_a(int argc, char** argv);
void QxOldFinInitKORA_a(void);
void QxOldArretKORA_a(void);
void QxOldEnvoiFinReponse(void);
void QxOldEnvoiFinReponse2(int num);
void QxOldEnvoiDebutReponse(const char* nomQuestion);
int QxOldCheminExecApplication(char* fileName);
int QxOldDejaTravaille(void);
void QxOldEnvoiEtatQuestion(const char* nomQuestion, long etat, const char* message);
/* message must hold kQx_ErrorMessageCapacity bytes. */
int QxOldGetMessErreur(int numero, char* message);

#ifdef __cplusplus
}
#endif

#endif
