// SPDX-License-Identifier: MIT
/* A tool that traces a large model as fast as the library sends it, for the
 * host stand-in's benchmark (run_bench.sh): N places and transitions, each
 * with a name, then N arcs joining them in a ring. N is the first argument
 * after the marker (default 1000000). */
#include <stdio.h>
#include <stdlib.h>

#include "quarnel/Quarnel.h"

const char kQx_KitName[] = "MIRLAN";
const char kQx_ToolName[] = "ModelFlood";
const char kQx_ToolVersion[] = "1.0";
const char kQx_ToolCopyright[] = "(c) model flood";

QxEndStatus QxServiceMain(int argc, char** argv) {
  const long count = argc > 1 ? atol(argv[1]) : 1000000;
  PQxModel model;
  long i;
  char name[32];
  QxSetModelTrace(kQx_Model_TraceError | kQx_Model_TraceKORA);
  model = QxNewModel("TAV-Net");
  for (i = 0; i < count; ++i) {
    QxAttributeList list = QxNewAttributeList();
    snprintf(name, sizeof name, "%c%ld", i % 2 ? 't' : 'p', i);
    QxAppendAttribute(list, QxNewStringAttribute(model, "", "name", name));
    QxNewNode(i % 2 ? "transition" : "place", 2 + i, list);
  }
  for (i = 0; i < count; ++i) QxNewEdge("arc", 2 + count + i, 2 + i, 2 + (i + 1) % count, NULL);
  return kQx_EndNoProblem;
}
