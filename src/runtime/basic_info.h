// SPDX-License-Identifier: MIT
// Basic-information strings of the environment module and its line reader.
// Not part of the public interface.
#ifndef QUARNEL_SRC_RUNTIME_BASIC_INFO_H
#define QUARNEL_SRC_RUNTIME_BASIC_INFO_H

#include <cstdio>

extern "C" {

// Set once by QxEnvReadBasicInfo, null before; directories carry a trailing
// "/" (the operating-system directory and the formalism name do not).
extern char* g_qxModelWorkSpace;
extern char* g_qxOSDirectoryName;
extern char* g_qxGlobalAdminData;
extern char* g_qxMainWorkSpace;
extern char* g_qxExecutables;
extern char* g_qxTmpData;
extern char* g_qxTools;
extern char* g_qxFormalismName;

// Reads one line of the open file into a new heap string without its newline,
// with room for one more byte (the "/" the reader appends). 0 on success, 1 at
// end of file, on a read error or on a line longer than the line buffer (the
// rest of that line is consumed), -2 when the string cannot be allocated. A
// last line that fills the buffer (4095 bytes) and ends the file without a
// newline is a whole line.
int QxReadNextLine(FILE* qx_basic_info, char** pqxGlobalStr);

}  // extern "C"

namespace qx {

// Frees the basic-information strings and sets them back to null, so that a
// test can read several workspaces in one process. The library never calls it.
void ResetBasicInfoForTesting();

}  // namespace qx

#endif
