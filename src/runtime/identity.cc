// SPDX-License-Identifier: MIT
// The tool's identity as the library reads it. The four constants belong to
// the program, not to the library: the library holds only weak references to
// them, so that the shared library resolves every symbol on its own (it links
// with -z defs) and a program with its own main links without them. A program
// that defines them exports them to the library (the linker exports a
// program's symbol that a shared library it links refers to), so a tool's
// identity reaches START_TOOL, -version, the trace lines and the workspace
// paths in a shared build as in a static one. A program that defines none
// gets the defaults below: the kit and tool name DEFAULT (under the library's
// main, that kit name prints the note asking for an identity) and an empty
// version and copyright.
//
// Every use of the constants in the library goes through these accessors:
// one direct use elsewhere would turn the reference back into a strong one.
#include "quarnel/QXEnv.h"

extern "C" {
__attribute__((weak)) extern const char kQx_KitName[];
__attribute__((weak)) extern const char kQx_ToolName[];
__attribute__((weak)) extern const char kQx_ToolVersion[];
__attribute__((weak)) extern const char kQx_ToolCopyright[];
}

namespace {

// The constant when the program defines it, the default otherwise. The
// address of an undefined weak symbol is null.
const char* OrDefault(const char* constant, const char* fallback) {
  return constant != nullptr ? constant : fallback;
}

}  // namespace

const char* QxEnvKitName(void) noexcept { return OrDefault(kQx_KitName, "DEFAULT"); }
const char* QxEnvToolName(void) noexcept { return OrDefault(kQx_ToolName, "DEFAULT"); }
const char* QxEnvToolVersion(void) noexcept { return OrDefault(kQx_ToolVersion, ""); }
const char* QxEnvToolCopyright(void) noexcept { return OrDefault(kQx_ToolCopyright, ""); }
