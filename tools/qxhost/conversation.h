// SPDX-License-Identifier: MIT
// What the host stand-in receives: frames or lines cut into commands, and the
// checks on their order.
#ifndef QUARNEL_TOOLS_QXHOST_CONVERSATION_H
#define QUARNEL_TOOLS_QXHOST_CONVERSATION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qxhost {

// Cuts a byte stream into frames: an 8-byte native signed length N, then N
// bytes of text. N = 0 is the end-of-link marker.
class FrameSplitter {
 public:
  enum class Result { kNeedMore, kFrame, kMarker, kBadLength };

  // Largest frame text accepted; longer or negative lengths are a fault.
  explicit FrameSplitter(int64_t max_length) : max_length_(max_length) {}

  void Append(const char* data, size_t size) { pending_.append(data, size); }
  // The next whole frame into text. After kBadLength the stream cannot be
  // followed any more (bad_length holds the word read).
  Result Next(std::string* text, int64_t* bad_length);
  // True when bytes of an unfinished frame are waiting.
  bool HasPartial() const { return offset_ < pending_.size(); }

 private:
  int64_t max_length_;
  std::string pending_;
  size_t offset_ = 0;
};

// Cuts a byte stream into lines (without their newline).
class LineSplitter {
 public:
  void Append(const char* data, size_t size) { pending_.append(data, size); }
  bool Next(std::string* line);
  // What is left after the last newline, emptied.
  std::string TakeRest();
  // Bytes waiting after the last newline.
  size_t pending() const { return pending_.size(); }

 private:
  std::string pending_;
};

// Checks the commands of one run: START_TOOL(...) first and once, END_TOOL(n)
// last and once, n in 0..2.
class Conversation {
 public:
  void Command(std::string_view text);
  // A file transfer (SEND_KORA_FILE) the host carries out: not a command of
  // its own (its file's lines are), but it too belongs between START_TOOL and
  // END_TOOL.
  void FileTransfer(std::string_view text);
  // A fault found outside the commands (transport, end lock file).
  void Fault(std::string text) { faults_.push_back(std::move(text)); }
  // Closes the run. complete is false when the host stopped listening early:
  // a missing END_TOOL is then no fault.
  void Finish(bool complete);
  // Checks END_TOOL(n) against the tool's exit status.
  void CheckExitStatus(int status);

  size_t count() const { return count_; }
  // START_TOOL(...) has arrived.
  bool started() const { return started_; }
  bool has_end() const { return end_code_ >= 0; }
  int end_code() const { return end_code_; }
  const std::vector<std::string>& faults() const { return faults_; }

 private:
  size_t count_ = 0;
  bool started_ = false;
  int end_code_ = -1;           // n of END_TOOL(n), -1 before it
  bool after_end_ = false;      // a command came after END_TOOL
  std::vector<std::string> faults_;
};

}  // namespace qxhost

#endif
