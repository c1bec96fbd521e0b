// SPDX-License-Identifier: MIT
// Internal operations of the link layer shared by its files: gate files, the
// local host name, IPv4 resolution and the shell command line of a launch.
// Not part of the public interface.
//
// Gate files. A FIFO gate file holds three lines, "%s\n%s\n%s\n": the
// provider's host name, the FIFO the provider writes (which the consumer
// reads), the FIFO the provider reads (which the consumer writes). A socket
// gate file holds two, "%s\n%d\n": the host name and the port. Each line is
// read whole (a path may hold blanks) and within the bounds below; a line that
// is missing, empty, longer than its bound or a port outside 1..65535 makes the
// file unreadable. The one exception is the host name of a FIFO gate file,
// which may be empty (the FIFO consumer does not use it). The writer refuses what a reader could not read, so a
// provider never waits for a peer that cannot find it.
#ifndef QUARNEL_SRC_CHANNEL_LINK_INTERNAL_H
#define QUARNEL_SRC_CHANNEL_LINK_INTERNAL_H

#include <netinet/in.h>

#include <cstddef>
#include <initializer_list>
#include <string>

extern "C" {

// Capacities, NUL included, of the texts of a gate file: a host name (what
// gethostname can give) and a FIFO path.
enum { kQxL_HostNameCapacity = 64, kQxL_GatePathCapacity = 256 };

// Write a gate file atomically (a temporary file beside it, then renamed), so
// that a reader never sees it half written. 0 on success; -1 with a trace when
// it cannot be written or a text is out of bounds (nothing is left on disk).
int ecritureFIFO(const char* path, const char* hostName, const char* providerOut,
                 const char* providerIn);
int ecritureSOCKET(const char* path, const char* hostName, int port);

// Read a gate file. The buffers hold kQxL_HostNameCapacity and
// kQxL_GatePathCapacity bytes. 0 on success; -1 with a trace when the file
// cannot be opened or does not have the form above.
int lectureFIFO(const char* path, char* hostName, char* consumerIn, char* consumerOut);
int lectureSOCKET(const char* path, char* hostName, int* port);

// Traces the reason of a failed existence check from errno; an errno without a
// line of its own sets g_qxErrno to kQx_InternalErr.
void QXLAccessErrorMsg(void);

}  // extern "C"

namespace qx::link {

// One line of a table that explains an errno value.
struct ErrnoText {
  int err;
  const char* text;
};

// The text of err in table, or null when it has no line.
template <size_t N>
const char* TextFor(const ErrnoText (&table)[N], int err) {
  for (const ErrnoText& line : table) {
    if (line.err == err) return line.text;
  }
  return nullptr;
}

// Ends a link descriptor with QXcloseLiaison; a negative one (never opened,
// or already closed) is left alone.
void EndLink(int fd);

// One end of a FIFO link to open: its path, the direction (QXouvrirFIFO's
// sens) and where its descriptor goes.
struct FifoEnd {
  const char* path;
  int sens;
  int* fd;
};

// Opens first, then second, with QXouvrirFIFO (each open waits for the peer).
// False when either fails: both descriptors are then -1 (the first closed
// again), and g_qxErrno and the trace are the failed open's.
bool OpenFifoEnds(FifoEnd first, FifoEnd second);

// Removes the files an open created before it failed (null paths are
// skipped), keeping errno; no peer was told of them, or the peer that was can
// no longer use them.
void RemoveCreated(std::initializer_list<const char*> paths);

// The same for the files of a FIFO link whose peer was told of them, and may
// be opening them: each FIFO among fifos is held open for reading and
// writing (which never blocks) while the files are removed, so that a peer
// blocked in opening one completes its open, then meets end of file and
// failing writes, instead of waiting for ever on a FIFO nobody can reach any
// more; a peer that comes later finds no file. others are removed plainly.
void RemoveFifoLink(std::initializer_list<const char*> fifos,
                    std::initializer_list<const char*> others = {});

// Holds SIGCHLD back in the calling thread for its scope, so that a handler
// of the tool that reaps children cannot take the status of a provider's
// child before the provider looked at it; a SIGCHLD that came meanwhile is
// delivered when the scope ends. A child the launchers fork meanwhile gets
// the caller's own mask back before it execs (RestoreMaskInChild), so a
// launched program never starts with SIGCHLD blocked on the provider's
// account. One at a time.
class ChildSignalHeld {
 public:
  ChildSignalHeld();
  ~ChildSignalHeld();
  ChildSignalHeld(const ChildSignalHeld&) = delete;
  ChildSignalHeld& operator=(const ChildSignalHeld&) = delete;
};

// In a child between fork and exec: gives back the signal mask its parent had
// before a ChildSignalHeld took SIGCHLD, if one was in scope. Async-signal-safe.
void RestoreMaskInChild();

// Checks a required argument of an operation: false, with the trace
// "<operation>:<name>==NULL" and then g_qxErrno = kQx_ParamErr, when it is
// null. operation carries its prefix ("Qx OpenChannel", "QX creeFIFO").
bool Given(const char* operation, const char* name, const void* argument);

// The local host name, always NUL-terminated (gethostname may cut it without
// one).
void LocalHostName(char (&name)[kQxL_HostNameCapacity]);

// Resolves host to its first IPv4 address. False when the name is null or
// does not resolve.
bool ResolveIPv4(const char* host, in_addr* address);

// The shell command line of a background launch: every word of argv (up to its
// null entry) followed by one blank, then "&". A word holding anything but
// letters, digits and "-_./:,+@%" is single-quoted (an embedded quote written
// as '\''), so that it stays one word and runs nothing of its own; an empty
// word becomes ''. False when the line would exceed kShellLineMax characters.
constexpr size_t kShellLineMax = 999;
bool ShellCommandLine(const char* const* argv, std::string* line);

// Runs a line of ShellCommandLine through /bin/sh in the background: the shell
// is a process of its own, detached from the caller (not its child; standard
// input on /dev/null, SIGINT and SIGQUIT ignored), that execs the line's
// program in that same process, which carries the launched-peer mark. 0 once
// the shell has started, -1 (errno set) when it could not be (no process, no
// /bin/sh). Whether the program itself starts is the shell's affair: see
// ShellFindsProgram. No wait status is looked at, so the result is the same
// whatever SIGCHLD's setting.
int StartThroughShell(const char* line);

// Starts the peer program of a client provider: chemin with the arguments
// first and second, as QXExecutionAsynchroneByForkExec does (same result,
// error codes and traces). When the caller's SIGCHLD setting lets it wait for
// its children, the program is its child and *endReport is -1. When it does
// not (SIGCHLD ignored, or caught with SA_NOCLDWAIT: the system discards the
// status), the program runs under a watcher process, the caller's child that
// the system reaps, and *endReport is the read end (close-on-exec, the
// caller's to close) of a pipe that brings the program's wait status (an int)
// when it ends, or only its end of file when the watcher was killed; the
// result is then the watcher's id.
int StartPeerProgram(char* chemin, char* first, char* second, int* endReport);

// The search path of the shell when PATH is not set.
inline constexpr char kShellDefaultPath[] =
    "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// Whether the shell can run the program name as the first word of a line: a
// name with a slash is that file, a bare name is searched in PATH (an empty
// entry is the current directory) as the shell searches it; the file must be
// a regular file this process may execute. False with *err ENOENT (nothing of
// that name) or EACCES (found, but not a file it may run).
bool ShellFindsProgram(const char* name, int* err);

}  // namespace qx::link

#endif
