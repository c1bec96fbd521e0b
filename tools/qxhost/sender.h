// SPDX-License-Identifier: MIT
// Commands for the tool: lines of the --send input or of a script, written
// to the tool's input FIFO one frame each.
#ifndef QUARNEL_TOOLS_QXHOST_SENDER_H
#define QUARNEL_TOOLS_QXHOST_SENDER_H

#include <cstddef>
#include <deque>
#include <string>

#include "conversation.h"
#include "printer.h"
#include "quarnel/QXChannel.h"

namespace qxhost {

// Lines waiting for the tool, and the frame being written.
// Writes never block: a tool that does not read leaves them waiting.
class Sender {
 public:
  // The longest line sent: the longest message the tool's library reads.
  static constexpr size_t kMaxLine = kQx_MaxMessageLength;

  // fd: the --send input, owned, or -1 when the lines are pushed; name: how
  // messages call the input; printer shows each line once written.
  Sender(int fd, std::string name, Printer* printer)
      : fd_(fd), name_(std::move(name)), printer_(printer) {}
  ~Sender();
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;

  // True while the input may still give lines.
  bool WantsInput() const { return fd_ >= 0 && queue_.empty() && frame_.empty(); }
  int fd() const { return fd_; }
  bool HasFrame() const { return !frame_.empty(); }
  // True once every line of the input is written.
  bool Done() const { return fd_ < 0 && queue_.empty() && frame_.empty(); }
  bool failed() const { return failed_; }
  // True when lines read from the input were never written.
  bool Unsent() const { return !queue_.empty() || !frame_.empty(); }
  // The number of lines written whole.
  size_t written() const { return written_lines_; }
  // Adds a line to send (not longer than kMaxLine, not empty).
  void Push(std::string line) { queue_.push_back(std::move(line)); }

  // Moves lines on towards out_fd. Returns false when the tool no longer reads
  // (its end of the FIFO is closed): the rest is dropped.
  bool Pump(int out_fd);

 private:
  // Reads what the input holds now, without waiting. False when nothing came.
  bool ReadSome();
  void Queue(std::string line);

  int fd_;
  const std::string name_;
  Printer* printer_;
  LineSplitter lines_;
  size_t line_number_ = 0;
  std::deque<std::string> queue_;
  std::string line_;    // the line whose frame is being written
  std::string frame_;   // its frame; empty when none
  size_t written_ = 0;  // bytes of frame_ written
  size_t written_lines_ = 0;
  bool failed_ = false;
};

}  // namespace qxhost

#endif
