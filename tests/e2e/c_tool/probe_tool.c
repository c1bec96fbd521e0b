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
 * The end of the service is also checked: "not reached" must never appear. */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "quarnel/Quarnel.h"

#ifndef PROBE_KIT_NAME
#define PROBE_KIT_NAME "MIRLAN"
#endif

const char kQx_KitName[] = PROBE_KIT_NAME;
const char kQx_ToolName[] = "Probe";
const char kQx_ToolVersion[] = "0.3";
const char kQx_ToolCopyright[] = "(c) probe, 2 lines, no rights";

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
  } else {
    fprintf(stderr, "probe: unknown request '%s'\n", what);
    return kQx_EndOnError;
  }
  fputs("not reached\n", stderr);
  return kQx_EndNoProblem;
}
