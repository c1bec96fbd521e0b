// SPDX-License-Identifier: MIT
// TCP socket primitives over IPv4: listening sockets on a port the system
// chooses or on a service's port, accept, and connections by port or service.
//
// Each primitive stops at its first failed step, reports it through
// QXimpression (text and errno) and returns a negative number; g_qxErrno is
// left alone. A socket created by a primitive is closed again when a later
// step fails, so no failure leaves a descriptor behind. Every socket they
// make, listening, accepted or connected, is close-on-exec: a program the
// process starts later never holds one of its links.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "channel/commip.h"
#include "channel/link_internal.h"
#include "quarnel/QXLink.h"

namespace {

// Owns a socket until it is handed to the caller.
class OwnedSocket {
 public:
  OwnedSocket() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    if (fd_ >= 0) QXLLearnKind(fd_, true);
  }
  ~OwnedSocket() {
    if (fd_ >= 0) close(fd_);
  }
  OwnedSocket(const OwnedSocket&) = delete;
  OwnedSocket& operator=(const OwnedSocket&) = delete;

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

sockaddr* AsSockaddr(sockaddr_in* address) { return reinterpret_cast<sockaddr*>(address); }

// Port of the TCP service named, in network byte order; false when the
// services database has no "tcp" entry for it.
bool ServicePort(const char* nomService, in_port_t* port) {
  if (nomService == nullptr) return false;
  const servent* entry = getservbyname(nomService, "tcp");
  if (entry == nullptr) return false;
  *port = static_cast<in_port_t>(entry->s_port);
  return true;
}

// Creates a socket, binds it to address and listens with a backlog of 1.
// Returns the socket, or -1 (no socket) / -2 (bind failed) after the message.
int ListenOn(const sockaddr_in& address) {
  OwnedSocket s;
  if (!s.valid()) {
    QXimpression("creation socket impossible");
    return -1;
  }
  sockaddr_in bound = address;
  if (bind(s.fd(), AsSockaddr(&bound), sizeof bound) < 0) {
    QXimpression("bind socket impossible");
    return -2;
  }
  listen(s.fd(), 1);
  return s.Release();
}

// Creates a socket and connects it to address; -1 after the message named
// failure when the connection fails.
int ConnectTo(const sockaddr_in& address, const char* failure) {
  OwnedSocket s;
  if (!s.valid()) {
    QXimpression("creation socket impossible");
    return -1;
  }
  sockaddr_in peer = address;
  if (connect(s.fd(), AsSockaddr(&peer), sizeof peer) < 0) {
    QXimpression(failure);
    return -1;
  }
  return s.Release();
}

sockaddr_in Address(in_addr host, in_port_t networkPort) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr = host;
  address.sin_port = networkPort;
  return address;
}

// The address of the TCP service nomService on host. False, after the message
// of the failed step, when the service is unknown (looked up first) or the host
// does not resolve.
bool ServiceAddress(const char* nomService, const char* host, sockaddr_in* address) {
  in_port_t servicePort;
  if (!ServicePort(nomService, &servicePort)) {
    QXimpression("Service tcp inconnu :getservbyname");
    return false;
  }
  in_addr hostAddress;
  if (!qx::link::ResolveIPv4(host, &hostAddress)) {
    QXimpression("probleme ds num internet");
    return false;
  }
  *address = Address(hostAddress, servicePort);
  return true;
}

}  // namespace

namespace qx::link {

void LocalHostName(char (&name)[kQxL_HostNameCapacity]) {
  if (gethostname(name, sizeof name) != 0) name[0] = '\0';
  name[sizeof name - 1] = '\0';
}

bool ResolveIPv4(const char* host, in_addr* address) {
  if (host == nullptr) return false;
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

}  // namespace qx::link

extern "C" {

int QXcreeSocket(int* port) noexcept {
  char host[kQxL_HostNameCapacity];
  qx::link::LocalHostName(host);
  in_addr hostAddress;
  if (!qx::link::ResolveIPv4(host, &hostAddress)) {
    QXimpression("probleme ds num internet");
    return -1;
  }
  sockaddr_in address = Address(hostAddress, 0);
  OwnedSocket s;
  if (!s.valid()) {
    QXimpression("creation socket impossible");
    return -1;
  }
  if (bind(s.fd(), AsSockaddr(&address), sizeof address) < 0) {
    QXimpression("bind du socket impossible");
    return -1;
  }
  listen(s.fd(), 1);
  socklen_t length = sizeof address;
  if (getsockname(s.fd(), AsSockaddr(&address), &length) < 0) {
    QXimpression("probleme ds getsockname");
    return -1;
  }
  if (port != nullptr) *port = ntohs(address.sin_port);
  return s.Release();
}

int QXaccept(int port) noexcept {
  sockaddr_in peer;
  std::memset(&peer, 0, sizeof peer);
  socklen_t length = sizeof peer;
  int fd = accept4(port, AsSockaddr(&peer), &length, SOCK_CLOEXEC);
  if (fd >= 0) QXLLearnKind(fd, true);
  return fd;
}

int QXinitConnexion(char* nameHote, int port) noexcept {
  in_addr hostAddress;
  if (!qx::link::ResolveIPv4(nameHote, &hostAddress)) {
    QXimpression("probleme ds num internet");
    return -1;
  }
  return ConnectTo(Address(hostAddress, htons(static_cast<uint16_t>(port))),
                   "connection impossible");
}

int QXcreeService(char* nomService) noexcept {
  char host[kQxL_HostNameCapacity];
  qx::link::LocalHostName(host);
  sockaddr_in address;
  if (!ServiceAddress(nomService, host, &address)) return -1;
  return ListenOn(address);
}

int QXcreeServiceMultiple(char* nomService) noexcept {
  in_port_t servicePort;
  if (!ServicePort(nomService, &servicePort)) {
    QXimpression("Service tcp inconnu :getservbyname");
    return -1;
  }
  in_addr any;
  any.s_addr = htonl(INADDR_ANY);
  return ListenOn(Address(any, servicePort));
}

int QXinitConnexionService(char* nameHote, char* nomService) noexcept {
  sockaddr_in address;
  if (!ServiceAddress(nomService, nameHote, &address)) return -1;
  return ConnectTo(address, "connexion serveur impossible");
}

}  // extern "C"
