// SPDX-License-Identifier: MIT
// Server side of connection establishment: the server provider (creates the
// link and publishes it in a gate file) and the server consumer (joins a link
// whose coordinates it was given), over a FIFO pair or a TCP socket.
//
// Guarantees:
// - A provider never waits for its peer before the gate file is written; a
//   gate file that cannot be written fails the open (-1, kQx_OpenError, or
//   kQx_MemFullErr when memory ran out; trace)
//   and leaves nothing it created behind: FIFOs and listening socket are
//   removed again since no peer was told of them.
// - A failed open closes the descriptors it had opened; the caller's
//   descriptor variables then hold -1 (or the failed open's negative result).
//   A FIFO server provider whose FIFO opens fail (a signal interrupting the
//   wait for the peer included) removes its FIFOs and its gate file again,
//   and leaves a peer that is opening a FIFO meanwhile a way out: its open
//   completes on a link that is already over (end of file, failing writes)
//   instead of waiting for ever on a FIFO that no longer has a name.
// - FIFO ends are opened in the order that pairs with the client side, so the
//   blocking opens never deadlock: the server provider reads first, the server
//   consumer writes first.
#include <unistd.h>

#include "channel/link_internal.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXLink.h"

namespace {

// The listening socket of the socket server provider: created by the first
// successful open, kept for the life of the process, accepted on by every
// later open.
int descripteur = -1;

// The error code of a gate file that could not be written: kQx_OpenError,
// unless the write ran out of memory, which its writer reported already as
// kQx_MemFullErr.
void GateNotWritten() {
  if (g_qxErrno != kQx_MemFullErr) g_qxErrno = kQx_OpenError;
}

}  // namespace

extern "C" {

int OpenFifoConnexionForServerProvider(char* path, char* pin, char* pout, int* din,
                                       int* dout) noexcept {
  constexpr const char* kOp = "Qx OpenFifoConnexionForServerProvider";
  if (!qx::link::Given(kOp, "path", path) || !qx::link::Given(kOp, "din", din) ||
      !qx::link::Given(kOp, "dout", dout)) {
    return -1;
  }
  char host[kQxL_HostNameCapacity];
  qx::link::LocalHostName(host);
  if (QXcreeFIFO(pin) != 0 || QxErrno() != kQx_NoErr) return -1;
  if (QXcreeFIFO(pout) != 0 || QxErrno() != kQx_NoErr) {
    qx::link::RemoveCreated({pin});
    return -1;
  }
  if (ecritureFIFO(path, host, pout, pin) != 0) {
    GateNotWritten();
    qx::link::RemoveCreated({pin, pout});
    return -1;
  }
  if (!qx::link::OpenFifoEnds({pin, 1, din}, {pout, 0, dout})) {
    // The peer read the gate file and may be opening either FIFO.
    qx::link::RemoveFifoLink({pin, pout}, {path});
    return -1;
  }
  return 0;
}

int OpenFifoConnexionForServerConsumer(char* pin, char* pout, int* din, int* dout) noexcept {
  constexpr const char* kOp = "Qx OpenFifoConnexionForServerConsumer";
  g_qxErrno = kQx_NoErr;
  if (!qx::link::Given(kOp, "din", din) || !qx::link::Given(kOp, "dout", dout)) return -1;
  return qx::link::OpenFifoEnds({pout, 0, dout}, {pin, 1, din}) ? 0 : -1;
}

int OpenSocketConnexionForServerProvider(char* path, int* d) noexcept {
  constexpr const char* kOp = "Qx OpenSocketConnexionForServerProvider";
  if (!qx::link::Given(kOp, "d", d)) return -1;
  if (descripteur == -1) {
    if (!qx::link::Given(kOp, "path", path)) return -1;
    char host[kQxL_HostNameCapacity];
    qx::link::LocalHostName(host);
    int port = 0;
    int listening = QXcreeSocket(&port);
    if (listening < 0) return -1;
    if (ecritureSOCKET(path, host, port) != 0) {
      close(listening);
      GateNotWritten();
      return -1;
    }
    descripteur = listening;
  }
  *d = QXaccept(descripteur);
  return *d < 0 ? -1 : 0;
}

int OpenSocketConnexionForServerConsumer(int portClient, int* d) noexcept {
  if (!qx::link::Given("Qx OpenSocketConnexionForServerConsumer", "d", d)) return -1;
  char host[kQxL_HostNameCapacity];
  qx::link::LocalHostName(host);
  *d = QXinitConnexion(host, portClient);
  return *d < 0 ? -1 : 0;
}

int CloseFifoConnexionForServerProvider(char* path, int din, int dout) noexcept {
  qx::link::EndLink(din);
  qx::link::EndLink(dout);
  if (path != nullptr) unlink(path);
  return 0;
}

int CloseFifoConnexionForServerConsumer(int din, int dout) noexcept {
  qx::link::EndLink(din);
  qx::link::EndLink(dout);
  return 0;
}

int CloseSocketConnexionForServerProvider(char* path, int d) noexcept {
  qx::link::EndLink(d);
  if (path != nullptr) unlink(path);
  return 0;
}

int CloseSocketConnexionForServerConsumer(int d) noexcept {
  qx::link::EndLink(d);
  return 0;
}

}  // extern "C"
