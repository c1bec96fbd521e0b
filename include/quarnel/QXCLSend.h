// SPDX-License-Identifier: MIT
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

/* Makes the requests current for every sender that names none; a null
 * argument leaves that direction unchanged. The requests are borrowed and must
 * live as long as they are current. main makes the host's requests current
 * again before END_TOOL. */
QX_API void QxClSetCurrentChannelIO(PQxChannelIOParams pqxPDefaultInputChannelIOParams,
                                    PQxChannelIOParams pqxPDefaultOutputChannelIOParams) QX_NOEXCEPT;
/* The stream of standard-output mode (null: standard output). Borrowed. */
QX_API void QxEnvSetDefaultOutputStream(FILE* outputStream) QX_NOEXCEPT;
/* Sends one command, unchanged: to the given request, else to the current
 * output request (one frame), else to the stream of standard-output mode (one
 * line, flushed), else as a "#(TOOL):no std out, no DefaultOutput:" line on
 * standard error. A command of more than kQx_MaxKoraCommand bytes is dropped
 * whole (trace, kQx_ParamErr), never cut. The command must hold no line break.
 * A request that broke (kQx_BrokenCom) drops every later command silently. */
QX_API void QxClSendChannelKora(PQxChannelIOParams pQxOutputChannelIOParams,
                                const char* message) QX_NOEXCEPT;
/* Reads one whole command (waiting for it) into messageBuffer, which must
 * hold kQx_ReceiveBufferSize bytes, and ends it with a NUL. From the given
 * request, else the current input one: only a tool started over a FIFO pair
 * has one; without it the call traces and sets kQx_ParamErr. The end of the
 * input (the host closed its end, or sent the end-of-link marker) leaves an
 * empty text and sets no error code (QxErrno() stays kQx_NoErr): since no
 * command is empty, an empty text is how the caller learns that the input
 * has ended, and every later call gives it again. The text is not
 * interpreted. */
QX_API void QxClReceiveChannelKora(char* messageBuffer,
                                   PQxChannelIOParams pQxInputChannelIOParams) QX_NOEXCEPT;
/* QxClReceiveChannelKora from the current input request; clears g_qxErrno
 * first. */
QX_API void QxClRecoitKORA(char* messageBuffer) QX_NOEXCEPT;
/* Legacy: reads one command from the current input request without adding a
 * NUL; returns its length (see kQx_ReceiveBufferSize above for failures). */
QX_API SqSize_t QxOldRecoitKORA(QxPtr rBufferPtr) QX_NOEXCEPT;
/* Legacy: one attempt without waiting; returns the command's length, 0 when
 * nothing is waiting, -2 as SqSize_t on a channel error, -1 as SqSize_t
 * without an input request. No NUL is added. */
QX_API SqSize_t QXOldRecoitKORANonBl(char* messageBuffer) QX_NOEXCEPT;

/* Long texts and files. Every command goes to the current output request. */

/* Sends a text of any length as RT(n:piece) commands: one per line (line
 * feeds are not sent; an empty text, or the empty line after a final line
 * feed, gives RT(0:)), long lines cut into pieces of at most 232 bytes,
 * preferably after a blank, else after one of -+,.;: . The text alone, with
 * no result set around it: see QxSendTextResponse (QXResults.h). */
QX_API void QxClSendTextResponse(QxConstISOStr textBuffer) QX_NOEXCEPT;
/* Sends a text as a numbered series: each command is koraPrefix (the command
 * name, "(" and the leading arguments, each followed by its comma; shorter
 * than 235 bytes), then the piece number, the total size negated (first
 * piece), 2 (a middle one) or 3 (the last), the piece counted, and ")". */
QX_API void QxClSendMultipleText(const char* koraPrefix, QxConstISOStr textBuffer) QX_NOEXCEPT;
/* Hands a file to the host: in standard-output mode each line of the file is
 * sent as a command (the file holds KORA commands, one per line; empty lines
 * are skipped; kQx_DeleteIt is only traced); otherwise
 * SEND_KORA_FILE(n:path,post), when the host started the tool or
 * "-send_kora_file_allowed" was given (else a trace and kQx_ParamErr). The
 * path is sent as given; more than 233 bytes do not fit one command. A file
 * that is missing, a directory or unreadable: trace, kQx_ParamErr. Outside
 * standard-output mode a FIFO is never opened (its reader is the host): its
 * readability is checked with access(R_OK) and the call does not wait for a
 * writer. Does not clear g_qxErrno. */
QX_API void QxClSendFile(const char* fileNamePath, QxFilePostCondition qxFilePostCondition) QX_NOEXCEPT;
/* QxClSendFile of a file of the main workspace, never deleted. */
QX_API void QxClSendMainWorkSpaceFile(const char* shortFileName) QX_NOEXCEPT;
/* QxClSendFile of a file of the model workspace. */
QX_API void QxClSendModelWorkSpaceFile(const char* shortFileName,
                                       QxFilePostCondition qxFilePostCondition) QX_NOEXCEPT;

/* Legacy senders: one KORA command each, to the current output request, with
 * every string counted (a null string as the empty one, except where a
 * declaration says it is refused). Kept for tools
 * written against the older interface; new code uses the result calls
 * (QXResults.h), QxClSendTextResponse and QxTrace. None cuts its command: one
 * over kQx_MaxKoraCommand bytes is dropped whole. */
QX_API void QxOldEnvoiDetruitObjet(long numero) QX_NOEXCEPT;                /* SU(N) */
QX_API void QxOldEnvoiAfficherDialogue(long numDialogue) QX_NOEXCEPT;       /* AD(N) */
/* CE(N,type,buttons,window,help,title,saisie,multi,default); an empty last
 * argument when valDefaut is null. */
QX_API void QxOldEnvoiCreerDialogue(long numDialogue, long type, long nbBouton, const char* titreFenetre,
                                    const char* help, const char* titre, long saisie, long multi,
                                    const char* valDefaut) QX_NOEXCEPT;
QX_API void QxOldEnvoiDebutDialogue(void) QX_NOEXCEPT;                              /* DC() */
QX_API void QxOldEnvoiDialogueSuite(long numDialogue, const char* ligne) QX_NOEXCEPT; /* DS(N,line) */
QX_API void QxOldEnvoiFinDialogue(void) QX_NOEXCEPT;                                /* FF() */
QX_API void QxOldEnvoiDetruireDialogue(long numDialogue) QX_NOEXCEPT;               /* DG(N) */
QX_API void QxOldEnvoiDebutEnsemble(void) QX_NOEXCEPT;                              /* DE() */
/* DE(name,kind); a null name: trace, kQx_ParamErr, nothing sent. */
QX_API void QxOldEnvoiDebutEnsemble2(const char* setName, int setKind) QX_NOEXCEPT;
QX_API void QxOldEnvoiFinEnsemble(void) QX_NOEXCEPT;                                /* FE() */
QX_API void QxOldEnvoiResultatObjet(long numero) QX_NOEXCEPT;                       /* RO(N) */
QX_API void QxOldEnvoiCategorieResultat(int code) QX_NOEXCEPT;                      /* CR(N) */
QX_API void QxOldEnvoiMiseEnEvidence(long numero) QX_NOEXCEPT;                      /* ME(N) */
/* MT(N,attribute,,): the two bounds are not sent. */
QX_API void QxOldEnvoiMiseEnEvidenceAttribut(long numero, const char* typeAtt, long indiceInf,
                                             long indiceSup) QX_NOEXCEPT;
/* XA(N,attribute,value) */
QX_API void QxOldEnvoiModifAttribut(long numero, const char* nomAttribut, const char* valeur) QX_NOEXCEPT;
/* SO(attribute type,object type); an empty first argument when typeAtt is
 * null. */
QX_API void QxOldEnvoiSupprimerTypeObjet(const char* typeAtt, const char* typeObjet) QX_NOEXCEPT;
/* RT(n:text), never cut: over 200 bytes a warning is traced first, and over
 * 247 bytes the command is dropped. Use QxClSendTextResponse. */
QX_API void QxOldEnvoiReponseTexte(const char* bufferTexte) QX_NOEXCEPT;
/* RT with the fixed text "Qx OldEnvoiReponseNumTexte not implemented". */
QX_API void QxOldEnvoiReponseNumTexte(long num) QX_NOEXCEPT;
/* TR(n:text) only, without the standard-error line of QxTrace; a null text is
 * refused with a trace. */
QX_API void QxOldEnvoiReponseTrace(const char* bufferTexte) QX_NOEXCEPT;
/* koraCommand(koraParam), the parameters inserted unchanged (not counted):
 * the caller writes them in KORA syntax. Null arguments: trace,
 * kQx_ParamErr, nothing sent. */
QX_API void QxOldEnvoiKORA(const char* koraParam, const char* koraCommand) QX_NOEXCEPT;

/* Legacy calls that send no command of their own: the library does their work
 * now, and most only trace a note saying so. */
QX_API QxBoolean QxOldInitKORA_a(int argc, char** argv) QX_NOEXCEPT;  /* returns kQx_False */
QX_API void QxOldFinInitKORA_a(void) QX_NOEXCEPT;                      /* does nothing */
QX_API void QxOldArretKORA_a(void) QX_NOEXCEPT;                        /* trace only */
QX_API void QxOldEnvoiFinReponse(void) QX_NOEXCEPT;                    /* trace only */
QX_API void QxOldEnvoiFinReponse2(int num) QX_NOEXCEPT;                /* trace only */
QX_API void QxOldEnvoiDebutReponse(const char* nomQuestion) QX_NOEXCEPT; /* trace only */
/* Trace only; fileName becomes the empty string; returns -1. */
QX_API int QxOldCheminExecApplication(char* fileName) QX_NOEXCEPT;
QX_API int QxOldDejaTravaille(void) QX_NOEXCEPT;                       /* trace only; returns 0 */
/* ETAT_Actif with a message: the message as a waiting message (STT_MSG);
 * every other state is only traced. */
QX_API void QxOldEnvoiEtatQuestion(const char* nomQuestion, long etat, const char* message) QX_NOEXCEPT;
/* Looks up message numero in the error-message file "erreur.<language>" of
 * the main workspace (English when the user's language has none) and copies
 * its text into message, which must hold kQx_ErrorMessageCapacity bytes.
 * Returns 0 (a number absent from the file gives an "is empty" text), or -1
 * when no file can be opened. */
QX_API int QxOldGetMessErreur(int numero, char* message) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
