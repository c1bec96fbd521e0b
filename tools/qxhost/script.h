// SPDX-License-Identifier: MIT
// Scripted conversations: a text file of lines
//   "> TEXT"     send TEXT to the tool as one command
//   ">"          close the tool's input: it meets the end of its input here
//   "< PATTERN"  wait for a command of the tool that matches PATTERN; the
//                commands before it may be anything
//   "= PATTERN"  the next command of the tool must match PATTERN
//   "! PATTERN"  from here to the end of the run, no command may match PATTERN
// and comments ("#" first) or empty lines. Patterns: see pattern.h.
#ifndef QUARNEL_TOOLS_QXHOST_SCRIPT_H
#define QUARNEL_TOOLS_QXHOST_SCRIPT_H

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pattern.h"

namespace qxhost {

struct ScriptStep {
  enum class Kind : char { kSend = '>', kWait = '<', kNext = '=', kNever = '!' };
  Kind kind;
  std::string text;  // the text to send (empty: close the input), or the pattern as written
  Pattern pattern;   // kWait, kNext, kNever
  size_t line;       // line number in the script file
};

// Reads the script at path. Returns false with a message naming the line for
// a file that cannot be read, a line of no known form, an empty or too long
// command, a pattern with a blank at its end or an unclosed text, a ">" line
// when the tool has no input (standard-output mode), or one after the input
// was closed.
bool ReadScript(const std::string& path, bool can_send, std::vector<ScriptStep>* steps,
                std::string* error);

// One run of a script: the step the conversation has reached, how long it
// has been waiting there, the "!" lines in force, and the line the
// conversation broke, if any.
class ScriptRun {
 public:
  using Clock = std::chrono::steady_clock;

  ScriptRun(std::string path, std::vector<ScriptStep> steps, int timeout_ms);

  // The text of the current step when it is a "> TEXT" line not yet handed
  // out; null otherwise. The step is done once Sent is called.
  const std::string* NextSend();
  // True when the current step is a ">" line that closes the input; it is
  // done once Sent is called.
  bool NextCloses() const;
  void Sent();
  // A command of the tool: meets the current "<" or "=" line when it
  // matches, breaks the script when it matches a "!" line in force or is not
  // the command a "=" line asks for.
  void Received(std::string_view command);

  // Every line is met (the "!" lines stay in force).
  bool finished() const { return current_ >= steps_.size(); }
  // A command broke the script: it differs, whatever comes next.
  bool broken() const { return broken_at_ != kNone; }
  // True when the current step is a ">" line.
  bool NextSendPending() const;
  // True when the current step has waited longer than the time limit.
  bool Expired(Clock::time_point now) const;
  // Prints why the conversation differs from the script: the script line, its
  // pattern or text, what happened (what, unless a command broke the script),
  // and the last commands received.
  void Report(const std::string& what, const std::vector<std::string>& last,
              size_t received) const;
  int timeout_ms() const { return timeout_ms_; }

 private:
  static constexpr size_t kNone = SIZE_MAX;
  // Moves on to the next line, or enters the current one: the "!" lines met
  // on the way come into force.
  void Advance();
  void Enter();
  void Break(size_t step, std::string_view command);

  const std::string path_;
  const std::vector<ScriptStep> steps_;
  const int timeout_ms_;
  size_t current_ = 0;
  bool handed_out_ = false;    // the current "> " line is with the sender
  Clock::time_point since_;    // when the current step began
  std::vector<size_t> never_;  // the "!" lines in force
  size_t broken_at_ = kNone;   // the line a command broke
  std::string breaking_;       // that command
};

}  // namespace qxhost

#endif
