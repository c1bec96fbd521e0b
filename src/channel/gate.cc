// SPDX-License-Identifier: MIT
// Gate files: how a server provider tells a client consumer where its link
// lives. The form and the bounds are described in link_internal.h.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "channel/link_internal.h"
#include "runtime/trace.h"
#include "support/memory_guard.h"

namespace {

// Whether a line may be empty: the host name line of a FIFO gate file may (a
// machine may have the empty host name, and the FIFO consumer does not use
// it); every other line may not.
enum class Empty { kAllowed, kRefused };

// A text a reader can take back as one line of at most capacity - 1
// characters.
bool FitsOneLine(const char* text, size_t capacity, Empty empty = Empty::kRefused) {
  if (text == nullptr || (text[0] == '\0' && empty == Empty::kRefused)) return false;
  size_t length = std::strlen(text);
  return length < capacity && std::memchr(text, '\n', length) == nullptr;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Writes text as the whole content of path, created with the permission bits
// 0666 less the file-creation mask. The text goes to a temporary file beside
// path that is then renamed over it, so path never holds a partial gate.
bool WriteAtomically(const char* path, std::string_view text) {
  std::string temporary = std::string(path) + ".tmp." + std::to_string(getpid());
  unlink(temporary.c_str());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool written = WriteAll(fd, text);
  written = close(fd) == 0 && written;
  if (written && rename(temporary.c_str(), path) == 0) return true;
  int err = errno;
  unlink(temporary.c_str());
  errno = err;
  return false;
}

// Writes lines, each followed by "\n", as the gate file path. Memory
// exhaustion is reported like the other failures of the operation (-1).
int WriteGate(const char* operation, const char* path,
              std::initializer_list<std::string_view> lines) {
  return qx::GuardMemory(
      operation,
      [&] {
        std::string text;
        for (std::string_view line : lines) (text += line) += '\n';
        if (WriteAtomically(path, text)) return 0;
        qx::TraceF("Qx %s:cannot write gate file path = '%s' (errno = %d)", operation, path,
                   errno);
        return -1;
      },
      -1);
}

// Reads one line into out (capacity bytes), without its "\n". False when the
// line is missing, longer than capacity - 1 characters, or empty unless
// allowed. A last line may end at the end of the file instead of a "\n".
bool ReadLine(FILE* file, char* out, size_t capacity, Empty empty = Empty::kRefused) {
  size_t n = 0;
  int c;
  while ((c = std::getc(file)) != EOF && c != '\n') {
    if (n + 1 >= capacity) return false;
    out[n++] = static_cast<char>(c);
  }
  out[n] = '\0';
  if (n > 0) return true;
  return c == '\n' && empty == Empty::kAllowed;
}

// Owns an open gate file being read.
class GateReader {
 public:
  GateReader(const char* operation, const char* path)
      : operation_(operation), path_(path), file_(std::fopen(path, "re")) {
    if (file_ == nullptr) {
      qx::TraceF("Qx %s:cannot read gate file path = '%s' (errno = %d)", operation_, path_,
                 errno);
    }
  }
  ~GateReader() {
    if (file_ != nullptr) std::fclose(file_);
  }
  GateReader(const GateReader&) = delete;
  GateReader& operator=(const GateReader&) = delete;

  bool open() const { return file_ != nullptr; }
  FILE* file() const { return file_; }
  int Malformed() const {
    qx::TraceF("Qx %s:malformed gate file path = '%s'", operation_, path_);
    return -1;
  }

 private:
  const char* operation_;
  const char* path_;
  FILE* file_;
};

}  // namespace

extern "C" {

int ecritureFIFO(const char* path, const char* hostName, const char* providerOut,
                 const char* providerIn) {
  if (path == nullptr || !FitsOneLine(hostName, kQxL_HostNameCapacity, Empty::kAllowed) ||
      !FitsOneLine(providerOut, kQxL_GatePathCapacity) ||
      !FitsOneLine(providerIn, kQxL_GatePathCapacity)) {
    qx::TraceF("Qx ecritureFIFO:gate file texts out of bounds, path = '%s'",
               path != nullptr ? path : "(null)");
    return -1;
  }
  return WriteGate("ecritureFIFO", path, {hostName, providerOut, providerIn});
}

int ecritureSOCKET(const char* path, const char* hostName, int port) {
  if (path == nullptr || !FitsOneLine(hostName, kQxL_HostNameCapacity) || port < 1 ||
      port > 65535) {
    qx::TraceF("Qx ecritureSOCKET:gate file texts out of bounds, path = '%s'",
               path != nullptr ? path : "(null)");
    return -1;
  }
  char portText[8];
  const auto converted = std::to_chars(portText, portText + sizeof portText, port);
  return WriteGate("ecritureSOCKET", path,
                   {hostName, std::string_view(portText, converted.ptr - portText)});
}

int lectureFIFO(const char* path, char* hostName, char* consumerIn, char* consumerOut) {
  GateReader gate("lectureFIFO", path);
  if (!gate.open()) return -1;
  if (!ReadLine(gate.file(), hostName, kQxL_HostNameCapacity, Empty::kAllowed) ||
      !ReadLine(gate.file(), consumerIn, kQxL_GatePathCapacity) ||
      !ReadLine(gate.file(), consumerOut, kQxL_GatePathCapacity)) {
    return gate.Malformed();
  }
  return 0;
}

int lectureSOCKET(const char* path, char* hostName, int* port) {
  GateReader gate("lectureSOCKET", path);
  if (!gate.open()) return -1;
  char portText[16];
  if (!ReadLine(gate.file(), hostName, kQxL_HostNameCapacity) ||
      !ReadLine(gate.file(), portText, sizeof portText)) {
    return gate.Malformed();
  }
  int value = 0;
  const char* end = portText + std::strlen(portText);
  auto [last, ec] = std::from_chars(portText, end, value);
  if (ec != std::errc() || last != end || value < 1 || value > 65535) return gate.Malformed();
  *port = value;
  return 0;
}

}  // extern "C"
