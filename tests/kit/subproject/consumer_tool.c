// SPDX-License-Identifier: MIT
/* The smallest tool: an identity and a service that ends without problem. */
#include "quarnel/Quarnel.h"

const char kQx_KitName[] = "MIRLAN";
const char kQx_ToolName[] = "Consumer";
const char kQx_ToolVersion[] = "1.0";
const char kQx_ToolCopyright[] = "(c) the Varnost authors";

QxEndStatus QxServiceMain(int argc, char** argv) {
  (void)argc;
  (void)argv;
  QxTrace("consumer");
  return kQx_EndNoProblem;
}
