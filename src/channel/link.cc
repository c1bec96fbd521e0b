// Helpers shared by the files of the link layer and by the channel layer
// above it: the check of a required argument and the end of a link
// descriptor.
#include "channel/link_internal.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"
#include "runtime/trace.h"

namespace qx::link {

bool Given(const char* operation, const char* name, const void* argument) {
  if (argument != nullptr) return true;
  // Traced first: a trace sent to the host may itself set the error code,
  // and the operation's own code must be the one left.
  qx::TraceF("%s:%s==NULL", operation, name);
  g_qxErrno = kQx_ParamErr;
  return false;
}

void EndLink(int fd) {
  if (fd >= 0) QXcloseLiaison(fd);
}

}  // namespace qx::link
