// SPDX-License-Identifier: MIT
// FIFO primitives: create a named pipe, open one of its ends.
//
// Both set g_qxErrno (kQx_NoErr on entry). A failure is traced in two lines:
// the path, then the reason for errno; an errno without a line of its own
// gives kQx_InternalErr instead of kQx_OpenError. An open that a signal
// interrupts while it waits for the peer (a caller's alarm) is a failed open
// (kQx_OpenError).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "channel/commip.h"
#include "channel/link_internal.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"
#include "runtime/trace.h"

namespace {

using qx::link::ErrnoText;

constexpr ErrnoText kCreateReasons[] = {
    {ENOENT, "A component of the path prefix does  not exist."},
    {EACCES, "A component of the  path  prefix  denies search permission."},
    {EEXIST, "The named file already exists."},
    {ENOTDIR, "A component of the path prefix is not  a directory."},
    {ENOSPC, "The directory that would contain the new file cannot be extended."},
    {EROFS, "The named file resides  on  a  read-only file system."},
    {ENAMETOOLONG, "The length of the  path  string  exceeds {PATH_MAX}."},
};

constexpr ErrnoText kOpenReasons[] = {
    {ENOENT,
     "A directory component in pathname does not exist or is a dangling symbolic link."},
    {EACCES,
     "The requested access to the file is not allowed, or one of the directories in pathname  "
     "did  not  allow search (execute) permission."},
    {EFAULT, "pathname points  outside  your  accessible  address space."},
    {EEXIST, "pathname already exists and O_CREAT and O_EXCL were used."},
    {EISDIR,
     "pathname  refers  to  a  directory  and  the access requested involved writing."},
    {EMFILE, "The process already has the maximum number of files open."},
    {ETXTBSY,
     "pathname refers to an  executable  image  which  is currently  being  executed  and  "
     "write  access  was requested."},
    {ENAMETOOLONG, "pathname was too long."},
    {EINTR,
     "While blocked waiting to complete an open of a FIFO, the call was interrupted by a signal "
     "handler."},
};

// Sets g_qxErrno and traces the failure of operation on path: the path line,
// then the reason for err from reasons, or unknownFormat with err when it has
// no line (kQx_InternalErr instead of kQx_OpenError).
template <size_t N>
void ReportFailure(const char* operation, const char* path, const ErrnoText (&reasons)[N],
                   const char* unknownFormat, int err) {
  g_qxErrno = kQx_OpenError;
  qx::TraceF("QX %s:error on path = '%s' -> ", operation, path);
  if (const char* reason = qx::link::TextFor(reasons, err)) {
    QxTrace(reason);
    return;
  }
  g_qxErrno = kQx_InternalErr;
  qx::TraceF(unknownFormat, err);
}

void NotAFifo(const char* path) {
  g_qxErrno = kQx_OpenError;
  qx::TraceF("QX ouvrirFIFO:error on path = '%s' -> ", path);
  QxTrace("pathname is not a FIFO.");
}

}  // namespace

extern "C" {

int QXcreeFIFO(const char* path) noexcept {
  g_qxErrno = kQx_NoErr;
  if (!qx::link::Given("QX creeFIFO", "path", path)) return -1;
  if (mkfifo(path, 0666) == 0) return 0;
  ReportFailure("creeFIFO", path, kCreateReasons, "QX creeFIFO:unknown errno = %d", errno);
  return -1;
}

int QXouvrirFIFO(const char* path, int sens) noexcept {
  g_qxErrno = kQx_NoErr;
  if (!qx::link::Given("QX ouvrirFIFO", "path", path)) return -1;
  // Only a FIFO is a link end: frames written into a regular file given by
  // mistake would overwrite it, and a device has no peer.
  struct stat info;
  if (stat(path, &info) == 0 && !S_ISFIFO(info.st_mode)) {
    NotAFifo(path);
    return -1;
  }
  // Close-on-exec: a program the process starts later never holds a link end.
  int fd = open(path, (sens == 1 ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
  if (fd < 0) {
    ReportFailure("ouvrirFIFO", path, kOpenReasons, "unknown errno = %d", errno);
  } else if (fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode)) {
    close(fd);
    NotAFifo(path);
    return -1;
  } else {
    QXLLearnKind(fd, false);
  }
  return fd;
}

}  // extern "C"
