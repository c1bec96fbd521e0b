// SPDX-License-Identifier: MIT
// Identity of the fuzz programs: the names the library's traces carry.
#include "quarnel/QXEnv.h"

extern "C" {
const char kQx_KitName[] = "MIRLAN";
const char kQx_ToolName[] = "Varnost";
const char kQx_ToolVersion[] = "1.1";
const char kQx_ToolCopyright[] = "(c) Quarnel fuzz targets";
}
