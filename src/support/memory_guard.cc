// SPDX-License-Identifier: MIT
#include "support/memory_guard.h"

#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "support/format.h"

namespace qx {

void TraceMemoryExhausted(const char* operation) noexcept {
  FormatTo(g_tmpTrace, sizeof g_tmpTrace, "Qx %s:memory exhausted", operation);
  QxTrace(g_tmpTrace);
}

void ReportMemoryExhausted(const char* operation) noexcept {
  TraceMemoryExhausted(operation);
  g_qxErrno = kQx_MemFullErr;
}

}  // namespace qx
