// SPDX-License-Identifier: MIT
// One run of a tool under the host stand-in.
#ifndef QUARNEL_TOOLS_QXHOST_SESSION_H
#define QUARNEL_TOOLS_QXHOST_SESSION_H

#include <string>

#include "options.h"

namespace qxhost {

// Starts the tool in the prepared model workspace, prints the commands it sends
// on standard output (one per line) and diagnostics on standard error, waits
// for it within the time limit and returns the stand-in's exit status.
int RunSession(const Options& options, const std::string& workspace);

}  // namespace qxhost

#endif
