#include "support/memory_guard.h"

#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "support/format.h"

namespace qx {

void ReportMemoryExhausted(const char* operation) noexcept {
  FormatTo(g_tmpTrace, sizeof g_tmpTrace, "Qx %s:memory exhausted", operation);
  QxTrace(g_tmpTrace);
  g_qxErrno = kQx_MemFullErr;
}

}  // namespace qx
