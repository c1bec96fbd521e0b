// SPDX-License-Identifier: MIT
// A tool on the library's own main for the load tests: its service sends N
// commands (its first argument, default 1000) of about 40 bytes to the host,
// then ends. It stops early with kQx_EndOnError when a command cannot be
// sent (the host has gone).
#include <cstdio>
#include <cstdlib>

#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXMain.h"

extern "C" {

const char kQx_KitName[] = "MIRLAN";
const char kQx_ToolName[] = "QxLoad";
const char kQx_ToolVersion[] = "1.0";
const char kQx_ToolCopyright[] = "(c) Quarnel load test";

QxEndStatus QxServiceMain(int argc, char** argv) {
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000;
  char command[64];
  for (long i = 0; i < count; ++i) {
    std::snprintf(command, sizeof command, "SESSION_VAR(4:load,20:command %012ld)", i);
    QxClSendChannelKora(nullptr, command);
    if (QxErrno() != kQx_NoErr) return kQx_EndOnError;
  }
  return kQx_EndNoProblem;
}

}  // extern "C"
