// SPDX-License-Identifier: MIT
// Scripted conversations: a text file of lines "> TEXT" (send TEXT to the
// tool as one command), "< PATTERN" (wait for a command of the tool that
// matches PATTERN as a whole; "*" matches any run of bytes, "\*" a star, "\\"
// a backslash), and comments ("#" first) or empty lines.
#ifndef QUARNEL_TOOLS_QXHOST_SCRIPT_H
#define QUARNEL_TOOLS_QXHOST_SCRIPT_H

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qxhost {

// True when command matches pattern as a whole.
bool MatchesPattern(std::string_view pattern, std::string_view command);

struct ScriptStep {
  bool send;         // "> TEXT" when true, "< PATTERN" when false
  std::string text;  // the text to send, or the pattern
  size_t line;       // line number in the script file
};

// Reads the script at path. Returns false with a message for a file that
// cannot be read, a line of no known form, an empty or too long command, or a
// "> " line when the tool has no input (standard-output mode).
bool ReadScript(const std::string& path, bool can_send, std::vector<ScriptStep>* steps,
                std::string* error);

// One run of a script: the step the conversation has reached, and how long it
// has been waiting there.
class ScriptRun {
 public:
  using Clock = std::chrono::steady_clock;

  ScriptRun(std::string path, std::vector<ScriptStep> steps, int timeout_ms);

  // The text of the current step when it is a "> " line not yet handed out;
  // null otherwise. The step is done once Sent is called.
  const std::string* NextSend();
  void Sent();
  // A command of the tool: meets the current "< " line when it matches.
  void Received(std::string_view command);

  bool finished() const { return current_ >= steps_.size(); }
  // True when the current step is a "> " line.
  bool NextSendPending() const { return !finished() && steps_[current_].send; }
  // True when the current step has waited longer than the time limit.
  bool Expired(Clock::time_point now) const;
  // Prints why the conversation differs from the script: the script line, its
  // pattern or text, what happened, and the last commands received.
  void Report(const std::string& what, const std::vector<std::string>& last,
              size_t received) const;
  int timeout_ms() const { return timeout_ms_; }

 private:
  void Advance();

  const std::string path_;
  const std::vector<ScriptStep> steps_;
  const int timeout_ms_;
  size_t current_ = 0;
  bool handed_out_ = false;  // the current "> " line is with the sender
  Clock::time_point since_;  // when the current step began
};

}  // namespace qxhost

#endif
