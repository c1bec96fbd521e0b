// SPDX-License-Identifier: MIT
#include "common/pipe_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace qxtest {

namespace {

void CloseIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

void InitRequest(QxChannelIOParams* request, PQxChannel channel, QxChannelDir dir) {
  QxSetChannelDefaultIOParams(request);
  QxSetChannelIOParams(request, channel, dir, kQx_Sync, kQx_NotGivenPtr, kQx_NotGivenPtr,
                       kQx_NotGivenLength);
}

// Reads exactly n bytes, waiting at most timeout_ms for each chunk.
bool ReadExactly(int fd, char* buf, size_t n, int timeout_ms) {
  size_t got = 0;
  while (got < n) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, timeout_ms);
    if (r <= 0) return false;
    ssize_t k = read(fd, buf + got, n - got);
    if (k < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (k <= 0) return false;
    got += static_cast<size_t>(k);
  }
  return true;
}

}  // namespace

PipeChannel::PipeChannel(QxChannelType type) {
  param.qxChannelType = type;
  if (type == kQx_ChannelSocket) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
      throw std::runtime_error("socketpair failed");
    }
    param.channel.socketParam.sockfdInOut = sv[0];
    peer_read = peer_write = sv[1];
  } else {
    int toPeer[2];
    int fromPeer[2];
    if (pipe2(toPeer, O_CLOEXEC) != 0 || pipe2(fromPeer, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    param.channel.fifoParam.fdOut = toPeer[1];
    peer_read = toPeer[0];
    param.channel.fifoParam.fdIn = fromPeer[0];
    peer_write = fromPeer[1];
  }
  channel.pQxChannelParam = &param;
  channel.qxChannelUsage = kQx_ServerConsumer;
  InitRequest(&out, &channel, kQx_Write);
  InitRequest(&in, &channel, kQx_Read);
}

PipeChannel::~PipeChannel() {
  if (param.qxChannelType == kQx_ChannelSocket) {
    CloseIfOpen(param.channel.socketParam.sockfdInOut);
    if (peer_write == peer_read) peer_write = -1;
  } else {
    CloseIfOpen(param.channel.fifoParam.fdIn);
    CloseIfOpen(param.channel.fifoParam.fdOut);
  }
  CloseIfOpen(peer_read);
  CloseIfOpen(peer_write);
}

int& PipeChannel::LibraryOut() {
  return param.qxChannelType == kQx_ChannelSocket ? param.channel.socketParam.sockfdInOut
                                                  : param.channel.fifoParam.fdOut;
}

int& PipeChannel::LibraryIn() {
  return param.qxChannelType == kQx_ChannelSocket ? param.channel.socketParam.sockfdInOut
                                                  : param.channel.fifoParam.fdIn;
}

void PipeChannel::ClosePeerRead() {
  if (peer_read == peer_write) peer_write = -1;
  CloseIfOpen(peer_read);
}

void PipeChannel::ClosePeerWrite() {
  if (peer_read == peer_write) peer_read = -1;
  CloseIfOpen(peer_write);
}

bool PipeChannel::Peer(PeerAction action, std::string_view text) {
  switch (action) {
    case PeerAction::kNothing: return true;
    case PeerAction::kFrame: return WriteAll(peer_write, FrameBytes(text));
    case PeerAction::kMarker: return WriteAll(peer_write, std::string(8, '\0'));
    case PeerAction::kClose: ClosePeerWrite(); return true;
  }
  return false;
}

std::string TraceLine(const std::string& text) { return "#(Varnost):" + text + "\n"; }

std::string Counted(const std::string& name, const std::string& text) {
  return name + "(" + std::to_string(text.size()) + ":" + text + ")";
}

std::string FrameBytes(std::string_view text) {
  int64_t n = static_cast<int64_t>(text.size());
  std::string bytes(reinterpret_cast<const char*>(&n), sizeof n);
  bytes.append(text);
  return bytes;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t k = write(fd, bytes.data(), bytes.size());
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(k));
  }
  return true;
}

std::optional<std::string> ReadFrame(int fd, int timeout_ms) {
  int64_t n = 0;
  if (!ReadExactly(fd, reinterpret_cast<char*>(&n), sizeof n, timeout_ms)) return std::nullopt;
  if (n < 0 || n > (int64_t{1} << 24)) return std::nullopt;
  std::string text(static_cast<size_t>(n), '\0');
  if (!ReadExactly(fd, text.data(), text.size(), timeout_ms)) return std::nullopt;
  return text;
}

std::string ReadAvailable(int fd) {
  std::string bytes;
  char buf[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0 || (p.revents & POLLIN) == 0) break;
    ssize_t k = read(fd, buf, sizeof buf);
    if (k <= 0) break;
    bytes.append(buf, static_cast<size_t>(k));
  }
  return bytes;
}

}  // namespace qxtest
