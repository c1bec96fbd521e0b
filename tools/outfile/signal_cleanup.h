// SPDX-License-Identifier: MIT
// Temporary files that SIGINT and SIGTERM remove before they end the program,
// so that an interrupted run leaves no half-written file behind.
#ifndef QUARNEL_TOOLS_OUTFILE_SIGNAL_CLEANUP_H
#define QUARNEL_TOOLS_OUTFILE_SIGNAL_CLEANUP_H

#include <signal.h>

#include <string>

namespace outfile {

// Creates a unique file from the mkstemp template (ending in "XXXXXX", which
// is replaced; close-on-exec) and, from the moment it exists, has SIGINT and
// SIGTERM remove it before they end the program as their default action does
// (so the process still dies of the signal). A signal the program ignores or
// catches itself is left as it is. SIGINT and SIGTERM are held back while the
// file is made, so that no signal finds it unguarded. Returns its descriptor,
// or -1 with errno; *guard receives what KeepOnSignal takes (-1 when the few
// guards are all in use: the file is then made unguarded).
int CreateRemovedOnSignal(std::string* name, int* guard);

// The guarded file is no longer removed by a signal (renamed or removed). A
// negative guard is ignored.
void KeepOnSignal(int guard);

// SIGINT and SIGTERM held back for the scope (delivered at its end), for a
// series of renames that must not be cut half-way.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld();
  ~EndingSignalsHeld();
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

 private:
  sigset_t old_;
};

}  // namespace outfile

#endif
