// SPDX-License-Identifier: MIT
/* A small tool written in C on the Quarnel library: its own service entry and
 * identity, a few KORA commands, and every way a service can end. The first
 * argument after the marker chooses what it does:
 *   hello         a trace, a waiting message and a result; ends without problem
 *   warning       a trace, then QxExit(kQx_EndOnWarning) from a nested call
 *   error         QxExit(kQx_EndOnError)
 *   abort         QxAbort()
 *   exit0         QxExit(0), which is refused
 *   args          lists its argument vector on standard error
 *   until-broken  sends commands until the host has gone, then ends normally
 *   echo          reads commands with QxClRecoitKORA until its input ends and
 *                 traces each one as "got <command>"
 *   send-file F C transfers the model-workspace file F with post condition C
 *                 (0 keep, 1 delete), between two traces
 *   senders       calls every sender of the library once
 * The end of the service is also checked: "not reached" must never appear. */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "quarnel/Quarnel.h"

#ifndef PROBE_KIT_NAME
#define PROBE_KIT_NAME "MIRLAN"
#endif

/* Built with PROBE_NO_IDENTITY, the tool defines none of the four identity
 * constants and runs with the library's defaults. */
#ifndef PROBE_NO_IDENTITY
const char kQx_KitName[] = PROBE_KIT_NAME;
const char kQx_ToolName[] = "Probe";
const char kQx_ToolVersion[] = "0.3";
const char kQx_ToolCopyright[] = "(c) probe, 2 lines, no rights";
#endif

static void EndWithWarning(int depth) {
  if (depth > 0) {
    EndWithWarning(depth - 1);
    fputs("not reached\n", stderr);
    return;
  }
  QxExit(kQx_EndOnWarning);
}

/* Sends commands until a send reports a broken link (FIFO mode) or standard
 * output fails (standard-output mode); gives up after about ten seconds. */
static void SendUntilBroken(void) {
  struct timespec pause = {0, 10 * 1000 * 1000};
  int i;
  for (i = 0; i < 1000; ++i) {
    QxOldEnvoiResultatObjet(i);
    if (QxErrno() == kQx_BrokenCom || ferror(stdout)) {
      fputs("probe: the host has gone\n", stderr);
      return;
    }
    nanosleep(&pause, NULL);
  }
  fputs("probe: the host never went away\n", stderr);
}

/* Traces every command the host sends until the input ends. The end of the
 * input (the host closed its end) reads as an empty text without error code:
 * no command is empty, since an empty frame is the end-of-link marker. */
static void Echo(void) {
  static char command[kQx_ReceiveBufferSize];
  static char trace[kQx_ReceiveBufferSize + 8];
  for (;;) {
    QxClRecoitKORA(command);
    if (QxErrno() != kQx_NoErr || command[0] == '\0') break;
    snprintf(trace, sizeof trace, "got %s", command);
    QxTrace(trace);
  }
  QxTrace("input ended");
}

/* The model records live until the process ends, as the library's do. */
static PQxModel g_model;
static PQxNode g_node;
static PQxEdge g_edge;

/* One call of each sender, with texts that need their counts: commas,
 * parentheses, colons, blanks, empty strings, a line feed. */
static void CallEverySender(void) {
  QxAttributeList attributes;
  QxOldEnvoiDetruitObjet(3);
  QxOldEnvoiAfficherDialogue(4);
  QxOldEnvoiCreerDialogue(5, 1, 2, "win, (1)", "", "t:x", 0, 1, NULL);
  QxOldEnvoiCreerDialogue(5, 1, 2, "w", "h", "t", 1, 0, "def");
  QxOldEnvoiDebutDialogue();
  QxOldEnvoiDialogueSuite(5, "a line, with (all) of: it");
  QxOldEnvoiFinDialogue();
  QxOldEnvoiDetruireDialogue(5);
  QxOldEnvoiDebutEnsemble();
  QxOldEnvoiDebutEnsemble2("set", 2);
  QxOldEnvoiResultatObjet(-7);
  QxOldEnvoiCategorieResultat(0);
  QxOldEnvoiMiseEnEvidence(8);
  QxOldEnvoiMiseEnEvidenceAttribut(8, "name", 1, 2);
  QxOldEnvoiModifAttribut(8, "name", "v)(,");
  QxOldEnvoiSupprimerTypeObjet(NULL, "place");
  QxOldEnvoiSupprimerTypeObjet("name", "place");
  QxOldEnvoiFinEnsemble();
  QxOldEnvoiReponseTexte("text");
  QxOldEnvoiReponseNumTexte(1);
  QxOldEnvoiReponseTrace("trace");
  QxOldEnvoiKORA("1,2:ab", "XX");
  QxClSendTextResponse("first\nsecond, (2)\n");
  QxClSendMultipleText("CM(4:name,7,", "ab\ncd");
  QxUserStep("step", kQx_MainStepLevel, 10, 3);
  QxUserCreateSessionVariable("var", "value", kQx_PersistantSessionVariable);
  QxUserDeleteSession_Variable("var");
  QxUserChangedModel(NULL);
  QxUserLockModel(NULL, kQx_True);
  QxUserLockModel(NULL, kQx_False);
  QxResultSendOneMessage(kQx_ResultError, "bad, (very)", 9, "name", -1, 4);
  QxSendTextResponse("done");
  QxSendWaitingMessage("waiting: 1, 2");
  QxOldSVimpression("warned, (x)");
  QxSetModelTrace(kQx_Model_TraceKORA);
  g_model = QxNewModel("TAV-Net");
  attributes = QxNewAttributeList();
  QxAppendAttribute(attributes, QxNewStringAttribute(g_model, "place", "name", "p, (1)"));
  QxAppendAttribute(attributes, QxNewStringAttribute(g_model, "place", "comment", "two\nlines"));
  g_node = QxNewNode("place", 12, attributes);
  QxSetNodeCenter(g_node, -30, 40);
  g_edge = QxNewEdge("arc", 13, 12, 14, QxNewAttributeList());
}

QxEndStatus QxServiceMain(int argc, char** argv) {
  int i;
  const char* what = argc > 1 ? argv[1] : "";
  if (strcmp(what, "hello") == 0) {
    QxTrace("probe says hello");
    QxSendWaitingMessage("probing");
    QxOldEnvoiResultatObjet(17);
    return kQx_EndNoProblem;
  }
  if (strcmp(what, "warning") == 0) {
    QxTrace("about to warn");
    EndWithWarning(3);
  } else if (strcmp(what, "error") == 0) {
    QxExit(kQx_EndOnError);
  } else if (strcmp(what, "abort") == 0) {
    QxAbort();
  } else if (strcmp(what, "exit0") == 0) {
    QxExit((QxEndStatus)0);
  } else if (strcmp(what, "args") == 0) {
    for (i = 0; i < argc; ++i) fprintf(stderr, "probe argv[%d]=<%s>\n", i, argv[i]);
    return kQx_EndNoProblem;
  } else if (strcmp(what, "until-broken") == 0) {
    SendUntilBroken();
    return kQx_EndNoProblem;
  } else if (strcmp(what, "echo") == 0) {
    Echo();
    return kQx_EndNoProblem;
  } else if (strcmp(what, "send-file") == 0 && argc > 3) {
    QxTrace("before the file");
    QxClSendModelWorkSpaceFile(argv[2], argv[3][0] == '1' ? kQx_DeleteIt : kQx_DoNotDeleteIt);
    QxTrace("after the file");
    return kQx_EndNoProblem;
  } else if (strcmp(what, "senders") == 0) {
    CallEverySender();
    return kQx_EndNoProblem;
  } else {
    fprintf(stderr, "probe: unknown request '%s'\n", what);
    return kQx_EndOnError;
  }
  fputs("not reached\n", stderr);
  return kQx_EndNoProblem;
}
