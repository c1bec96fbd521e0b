// SPDX-License-Identifier: MIT
#include "sender.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tool_process.h"

namespace qxhost {

Sender::~Sender() { CloseFd(&fd_); }

bool Sender::Pump(int out_fd) {
  for (;;) {
    if (!frame_.empty()) {
      const ssize_t n = ::write(out_fd, frame_.data() + written_, frame_.size() - written_);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return true;
      if (n < 0) {
        std::fprintf(stderr, "qxhost: the tool's input is closed (%s): %s not sent\n",
                     std::strerror(errno), line_.c_str());
        frame_.clear();
        queue_.clear();
        CloseFd(&fd_);
        return false;
      }
      written_ += static_cast<size_t>(n);
      if (written_ < frame_.size()) continue;
      printer_->Sent(line_);
      ++written_lines_;
      frame_.clear();
      continue;
    }
    if (!queue_.empty()) {
      line_ = std::move(queue_.front());
      queue_.pop_front();
      const int64_t length = static_cast<int64_t>(line_.size());
      frame_.assign(reinterpret_cast<const char*>(&length), sizeof length);
      frame_ += line_;
      written_ = 0;
      continue;
    }
    if (!ReadSome()) return true;
  }
}

// Polls first: standard input keeps its blocking mode, which it shares with
// other processes.
bool Sender::ReadSome() {
  if (fd_ < 0) return false;
  pollfd pfd{fd_, POLLIN, 0};
  if (::poll(&pfd, 1, 0) <= 0) return false;
  char buffer[65536];
  ssize_t n;
  do {
    n = ::read(fd_, buffer, sizeof buffer);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && errno == EAGAIN) return false;
  if (n < 0) {
    std::fprintf(stderr, "qxhost: cannot read %s: %s\n", name_.c_str(), std::strerror(errno));
    failed_ = true;
  }
  if (n <= 0) {
    CloseFd(&fd_);
    std::string rest = lines_.TakeRest();
    if (!rest.empty()) Queue(std::move(rest));
    return !queue_.empty();
  }
  lines_.Append(buffer, static_cast<size_t>(n));
  std::string line;
  while (lines_.Next(&line)) Queue(std::move(line));
  if (lines_.pending() > kMaxLine) {
    // A line without end cannot be sent whole: the input stops here rather
    // than fill memory.
    std::fprintf(stderr, "qxhost: line %zu of %s is longer than %zu bytes: the rest of %s not sent\n",
                 line_number_ + 1, name_.c_str(), kMaxLine, name_.c_str());
    failed_ = true;
    CloseFd(&fd_);
  }
  return true;
}

void Sender::Queue(std::string line) {
  ++line_number_;
  // An empty frame would be the end-of-link marker, not a command.
  if (line.empty()) return;
  if (line.size() > kMaxLine) {
    std::fprintf(stderr, "qxhost: line %zu of %s is %zu bytes long, more than %zu: not sent\n",
                 line_number_, name_.c_str(), line.size(), kMaxLine);
    failed_ = true;
    return;
  }
  queue_.push_back(std::move(line));
}

}  // namespace qxhost
