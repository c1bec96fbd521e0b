// SPDX-License-Identifier: MIT
// The tool's service entry and identity. Compiled into the executable itself
// (never into an archive) so that the library's main finds QxServiceMain
// already defined.
#include <signal.h>

#include "QXServVersions.h"
#include "TypePN.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXMain.h"

extern "C" {

const char kQx_KitName[] = QX_SERV_KIT_NAME;
const char kQx_ToolName[] = QX_SERV_TOOL_NAME;
const char kQx_ToolVersion[] = QX_SERV_TOOL_VERSION;
const char kQx_ToolCopyright[] = QX_SERV_TOOL_COPYRIGHT;

// Reads the net named by the last argument and writes it as a PEP file beside
// it. A net that cannot be read, and a PEP file that cannot be written, end
// the run with kQx_EndOnError.
QxEndStatus QxServiceMain(int argc, char** argv) {
  // A write past a file size limit then fails with EFBIG like any other write
  // failure, so that the output's promise holds: the message, the temporary
  // file removed, the previous output kept. The default action would kill the
  // run silently and leave the temporary file behind.
  signal(SIGXFSZ, SIG_IGN);
  if (InitialisationNet(argc, argv) != 0) {
    QxExit(kQx_EndOnError);
    return kQx_EndOnError;
  }
  if (SauvegardePepStatut(NomModele) != 0) return kQx_EndOnError;
  return kQx_EndNoProblem;
}

}  // extern "C"
