// SPDX-License-Identifier: MIT
/* hello_c: a small tool of the Quarnel environment, written in C.
 *
 * The library supplies main(); this file supplies the tool's identity and its
 * service entry QxServiceMain. One run:
 *   1. reads its own parameters (all optional):
 *        -places N     the model has N places (1 to 9, default 2)
 *        -wait SEC     waits at most SEC seconds for each command of the host
 *                      (0 to 3600, default 5; 0 reads no command)
 *   2. sends a trace and a progress message;
 *   3. builds a small net, N places feeding one transition, whose nodes, edges
 *      and attributes reach the host as CN, CA and CT commands;
 *   4. sends a result (a text response);
 *   5. when the host talks to it over a FIFO pair, reads the host's commands,
 *      parses each with QxParseKora and answers it with a trace, until the
 *      input ends, QUIT() arrives or no command comes within the wait:
 *        HELLO(n:WHO)        "hello, WHO"
 *        NAME(N)             "node N is p1" (... "t"), or "no node N"
 *        QUIT()              "bye", and the tool stops reading
 *        any other command   "unknown command NAME"
 *        a malformed one     "malformed command, breaks after N bytes";
 *   6. ends without problem (END_TOOL(0), exit status 0).
 * Bad parameters end the run with kQx_EndOnError (END_TOOL(2), exit status 1).
 *
 * Build: see CMakeLists.txt beside this file, or with pkg-config:
 *   cc -o hello_c hello.c $(pkg-config --cflags --libs quarnel)
 * Run standalone:   ./hello_c -s -places 3
 * Run under qxhost: qxhost ./hello_c -places 3 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quarnel/Quarnel.h"

/* The identity: C linkage, visible to the library (not static). */
const char kQx_KitName[] = "EXAMPLE";
const char kQx_ToolName[] = "HelloC";
const char kQx_ToolVersion[] = "1.0";
const char kQx_ToolCopyright[] = "(c) the Varnost authors";

/* Reads a whole decimal number between low and high; 0 when it is not one. */
static int ReadNumber(const char* text, long low, long high, long* value) {
  char* end = NULL;
  long number = strtol(text, &end, 10);
  if (end == text || *end != '\0' || number < low || number > high) return 0;
  *value = number;
  return 1;
}

/* An attribute list holding one attribute, name = value. */
static QxAttributeList OneAttribute(PQxModel model, const char* object, const char* name,
                                    const char* value) {
  QxAttributeList list = QxNewAttributeList();
  PQxAttribute attribute = QxNewStringAttribute(model, object, name, value);
  if (attribute == NULL) QxExit(kQx_EndOnError);
  QxAppendAttribute(list, attribute);
  return list;
}

/* Places are nodes 2 to places+1, the transition is node places+2, the arcs
 * follow: object numbers start at 2 and every node and edge has its own. */
static void SendModel(long places) {
  char text[32];
  long i;
  QxObjectID transition = (QxObjectID)places + 2;
  PQxModel model;
  PQxNode node;

  /* Set the level first: each node, edge and attribute is sent to the host the
   * moment it is created, and nothing is kept. */
  QxSetModelTrace(kQx_Model_TraceError | kQx_Model_TraceKORA);
  model = QxNewModel("TAV-Net");
  if (model == NULL) QxExit(kQx_EndOnError);

  for (i = 1; i <= places; ++i) {
    snprintf(text, sizeof text, "p%ld", i);
    node = QxNewNode("place", (QxObjectID)i + 1, OneAttribute(model, "place", "name", text));
    if (node == NULL) QxExit(kQx_EndOnError);
    QxSetNodeCenter(node, (short)(40 * i), 40);
    QxAppendNodeToModel(model, node);
    QxUserStep("places", kQx_MainStepLevel, places, i);
  }
  node = QxNewNode("transition", transition, OneAttribute(model, "transition", "name", "t"));
  if (node == NULL) QxExit(kQx_EndOnError);
  QxAppendNodeToModel(model, node);

  for (i = 1; i <= places; ++i) {
    PQxEdge arc = QxNewEdge("arc", transition + (QxObjectID)i, (QxObjectID)i + 1, transition,
                            OneAttribute(model, "arc", "valuation", "1"));
    if (arc == NULL) QxExit(kQx_EndOnError);
    QxAppendEdgeToModel(model, arc);
  }
}

/* True when the command is NAME with the argument kinds given, one letter
 * each: 'i' integer, 's' string ("" for NAME()). */
static int Is(const QxKoraCommand* command, const char* name, const char* kinds) {
  int i;
  if (command->nameLength != strlen(name) || memcmp(command->name, name, command->nameLength) != 0)
    return 0;
  if (command->argCount != (int)strlen(kinds)) return 0;
  for (i = 0; i < command->argCount; ++i) {
    QxKoraArgKind kind = kinds[i] == 'i' ? kQx_KoraInteger : kQx_KoraString;
    if (command->args[i].kind != kind) return 0;
  }
  return 1;
}

/* Answers one command of the host (length bytes, which may hold NUL bytes
 * inside counted strings) with a trace; returns 1 when the tool stops reading. */
static int Answer(const char* text, size_t length, long places) {
  QxKoraCommand command; /* its name and strings point into text */
  char answer[160];
  size_t result = QxParseKora(text, length, &command);

  if (result != 0) {
    snprintf(answer, sizeof answer, "malformed command, breaks after %lu bytes",
             (unsigned long)(result - 1));
  } else if (Is(&command, "HELLO", "s")) {
    const QxKoraArg* who = &command.args[0]; /* counted: not NUL-terminated */
    snprintf(answer, sizeof answer, "hello, %.*s", (int)(who->length > 100 ? 100 : who->length),
             who->text);
  } else if (Is(&command, "NAME", "i")) {
    long node = command.args[0].integer; /* places are nodes 2 to places+1 */
    if (node >= 2 && node <= places + 1) {
      snprintf(answer, sizeof answer, "node %ld is p%ld", node, node - 1);
    } else if (node == places + 2) {
      snprintf(answer, sizeof answer, "node %ld is t", node);
    } else {
      snprintf(answer, sizeof answer, "no node %ld", node);
    }
  } else if (Is(&command, "QUIT", "")) {
    QxTrace("bye");
    return 1;
  } else {
    snprintf(answer, sizeof answer, "unknown command %.*s", (int)command.nameLength, command.name);
  }
  QxTrace(answer);
  return 0;
}

/* Reads the host's commands until the input ends, QUIT() arrives or none
 * comes within waitSeconds. Only a FIFO pair carries commands to the tool:
 * standalone and in standard-output mode there is nothing to read. */
static void ReadCommands(long waitSeconds, long places) {
  static char command[kQx_ReceiveBufferSize];
  CListe waitList;

  if (g_qxPDefaultInputChannelIOParams == NULL || waitSeconds == 0) return;
  waitList = CreerListe();
  AjoutFinListe(waitList, g_qxPDefaultInputChannelIOParams);
  for (;;) {
    QxWaitForChannelMessages(waitList, (time_t)waitSeconds, 0);
    if (QxErrno() != kQx_NoErr) break; /* kQx_TimeOut: the host said nothing */
    QxClRecoitKORA(command);
    if (QxErrno() != kQx_NoErr || command[0] == '\0') break; /* the input ended */
    if (Answer(command, g_qxPDefaultInputChannelIOParams->actualLength, places)) break;
  }
  ViderListe(waitList); /* a list must be empty when it is destroyed */
  DetruireListe(waitList);
}

QxEndStatus QxServiceMain(int argc, char** argv) {
  long places = 2;
  long waitSeconds = 5;
  char text[64];
  int i;

  /* argv[0] is the empty string standing for the program name. */
  for (i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "-places") == 0 && i + 1 < argc &&
        ReadNumber(argv[i + 1], 1, 9, &places)) {
      ++i;
    } else if (strcmp(argv[i], "-wait") == 0 && i + 1 < argc &&
               ReadNumber(argv[i + 1], 0, 3600, &waitSeconds)) {
      ++i;
    } else {
      fprintf(stderr, "usage: hello_c [-places 1..9] [-wait SECONDS]\n");
      return kQx_EndOnError;
    }
  }

  QxTrace("hello from C");
  QxSendWaitingMessage("building the model");
  SendModel(places);
  snprintf(text, sizeof text, "a net of %ld places and one transition", places);
  QxSendTextResponse(text);
  ReadCommands(waitSeconds, places);
  return kQx_EndNoProblem;
}
