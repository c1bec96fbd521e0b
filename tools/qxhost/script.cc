// SPDX-License-Identifier: MIT
#include "script.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "sender.h"
#include "workspace.h"

namespace qxhost {

namespace {

using Kind = ScriptStep::Kind;

bool IsPatternLine(Kind kind) { return kind == Kind::kWait || kind == Kind::kNext || kind == Kind::kNever; }

}  // namespace

bool ReadScript(const std::string& path, bool can_send, std::vector<ScriptStep>* steps,
                std::string* error) {
  std::string content;
  if (!ReadRegularFile(path, &content, error)) {
    *error = "cannot read the script " + path + ": " + *error;
    return false;
  }
  size_t number = 0;
  size_t closed_at = 0;  // the ">" line that closes the input, 0 before it
  for (size_t start = 0; start < content.size();) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string_view line(content.data() + start, end - start);
    start = end + 1;
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    const auto where = [&] { return "script " + path + " line " + std::to_string(number) + ": "; };
    if (line.find_first_not_of(" \t") == std::string_view::npos || line.starts_with('#')) continue;
    const auto kind = static_cast<Kind>(line[0]);
    if ((kind != Kind::kSend && !IsPatternLine(kind)) || (line.size() > 1 && line[1] != ' ')) {
      *error = where() + "not a \"> TEXT\", \"< PATTERN\", \"= PATTERN\", \"! PATTERN\", \">\" or "
                         "\"#\" line: " + std::string(line);
      return false;
    }
    const bool closes = kind == Kind::kSend && line.size() == 1;
    const std::string_view text = line.substr(std::min<size_t>(line.size(), 2));
    if (text.empty() && !closes) {
      *error = where() + "nothing after \"" + line[0] + "\"";
      return false;
    }
    if (kind == Kind::kSend && !can_send) {
      *error = where() + "a \"> \" line needs FIFO mode: in standard-output mode the tool has no "
                         "input channel";
      return false;
    }
    if (kind == Kind::kSend && closed_at != 0) {
      *error = where() + "a \">\" line after the tool's input was closed at line " +
               std::to_string(closed_at);
      return false;
    }
    if (closes) closed_at = number;
    if (kind == Kind::kSend && text.size() > Sender::kMaxLine) {
      *error = where() + "a command of " + std::to_string(text.size()) + " bytes, more than " +
               std::to_string(Sender::kMaxLine);
      return false;
    }
    ScriptStep step{kind, std::string(text), Pattern{}, number};
    if (IsPatternLine(kind)) {
      // A command never ends in a blank, and a blank at the end of a line is
      // easily not seen: the line would wait in vain.
      if (text.back() == ' ' || text.back() == '\t') {
        *error = where() + "a blank at the end of the pattern (no command ends in a blank)";
        return false;
      }
      std::string why;
      if (!CompilePattern(text, &step.pattern, &why)) {
        *error = where() + why;
        return false;
      }
    }
    steps->push_back(std::move(step));
  }
  return true;
}

ScriptRun::ScriptRun(std::string path, std::vector<ScriptStep> steps, int timeout_ms)
    : path_(std::move(path)), steps_(std::move(steps)), timeout_ms_(timeout_ms) {
  Enter();
}

void ScriptRun::Advance() {
  ++current_;
  Enter();
}

void ScriptRun::Enter() {
  // "!" lines come into force as the script reaches them.
  while (current_ < steps_.size() && steps_[current_].kind == Kind::kNever)
    never_.push_back(current_++);
  handed_out_ = false;
  since_ = Clock::now();
}

bool ScriptRun::NextSendPending() const {
  return !finished() && !broken() && steps_[current_].kind == Kind::kSend;
}

const std::string* ScriptRun::NextSend() {
  if (!NextSendPending() || handed_out_ || steps_[current_].text.empty()) return nullptr;
  handed_out_ = true;
  return &steps_[current_].text;
}

bool ScriptRun::NextCloses() const { return NextSendPending() && steps_[current_].text.empty(); }

void ScriptRun::Sent() {
  if (NextSendPending()) Advance();
}

void ScriptRun::Break(size_t step, std::string_view command) {
  broken_at_ = step;
  breaking_.assign(command);
}

void ScriptRun::Received(std::string_view command) {
  if (broken()) return;
  for (const size_t never : never_) {
    if (MatchesPattern(steps_[never].pattern, command)) {
      Break(never, command);
      return;
    }
  }
  if (finished() || steps_[current_].kind == Kind::kSend) return;
  if (MatchesPattern(steps_[current_].pattern, command)) {
    Advance();
  } else if (steps_[current_].kind == Kind::kNext) {
    Break(current_, command);
  }
}

bool ScriptRun::Expired(Clock::time_point now) const {
  return !finished() && !broken() && now - since_ >= std::chrono::milliseconds(timeout_ms_);
}

void ScriptRun::Report(const std::string& what, const std::vector<std::string>& last,
                       size_t received) const {
  if (finished() && !broken()) return;
  const ScriptStep& step = steps_[broken() ? broken_at_ : current_];
  std::fprintf(stderr, "qxhost: script %s line %zu: %c%s%s\n", path_.c_str(), step.line,
               static_cast<char>(step.kind), step.text.empty() ? "" : " ", step.text.c_str());
  std::string why = what;
  if (broken()) {
    why = "the command " + breaking_ +
          (step.kind == Kind::kNever ? " matches this \"!\" line"
                                     : " came where the next command must match this \"=\" line");
  }
  std::fprintf(stderr, "qxhost: the conversation differs from the script: %s\n", why.c_str());
  if (last.empty()) {
    std::fprintf(stderr, "qxhost: no command received\n");
    return;
  }
  std::fprintf(stderr, "qxhost: the last %zu of %zu commands received:\n", last.size(), received);
  for (const std::string& command : last) std::fprintf(stderr, "qxhost:   %s\n", command.c_str());
}

}  // namespace qxhost
