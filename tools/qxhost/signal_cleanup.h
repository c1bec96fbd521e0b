// SPDX-License-Identifier: MIT
// The stand-in's temporary model file, removed when SIGINT or SIGTERM ends
// the stand-in.
#ifndef QUARNEL_TOOLS_QXHOST_SIGNAL_CLEANUP_H
#define QUARNEL_TOOLS_QXHOST_SIGNAL_CLEANUP_H

#include <string>

namespace qxhost {

// Creates a unique file from the mkstemp template (ending in "XXXXXX", which
// is replaced; close-on-exec) and, from the moment it exists, has SIGINT and
// SIGTERM remove it before they end the stand-in as their default action does
// (so the process still dies of the signal, and nothing half-written is
// renamed into place). SIGINT and SIGTERM are held back while the file is
// made, so that no signal finds it unguarded. Returns its descriptor, or -1
// with errno; *guard receives what KeepOnSignal takes (-1 when the few guards
// are all in use: the file is then made unguarded).
int CreateRemovedOnSignal(std::string* name, int* guard);

// The guarded file is no longer removed by a signal (renamed or removed). A
// negative guard is ignored.
void KeepOnSignal(int guard);
}  // namespace qxhost

#endif
