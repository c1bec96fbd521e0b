// SPDX-License-Identifier: MIT
// Identity of the program for the library's tests: the names the library's
// traces and announcements carry. A tool defines these in its own code.
#include "quarnel/QXEnv.h"

extern "C" {
const char kQx_KitName[] = "MIRLAN";
const char kQx_ToolName[] = "Varnost";
const char kQx_ToolVersion[] = "1.1";
const char kQx_ToolCopyright[] = "(c) Quarnel test suite";
}
