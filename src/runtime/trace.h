// SPDX-License-Identifier: MIT
// Library-internal helpers around QxTrace.
#ifndef QUARNEL_SRC_RUNTIME_TRACE_H
#define QUARNEL_SRC_RUNTIME_TRACE_H

namespace qx {

// Composes the text into g_tmpTrace (cut to fit its 2000 bytes) and traces it
// with QxTrace. Every library failure text goes through here or QxTrace.
void TraceF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// True while QxTrace is sending its TR command; routine-call traces of the
// sending path stay silent then, so a trace never traces itself.
bool TraceSending();

}  // namespace qx

#endif
