// SPDX-License-Identifier: MIT
#include "script.h"

#include <algorithm>
#include <cstdio>

#include "sender.h"
#include "workspace.h"

namespace qxhost {

namespace {

// A pattern cut at its stars: the literal pieces between them.
struct Pattern {
  std::vector<std::string> pieces;  // pieces.size() == stars + 1
};

Pattern Compile(std::string_view text) {
  Pattern pattern;
  pattern.pieces.emplace_back();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '*' || text[i + 1] == '\\')) {
      pattern.pieces.back().push_back(text[++i]);
    } else if (text[i] == '*') {
      pattern.pieces.emplace_back();
    } else {
      pattern.pieces.back().push_back(text[i]);
    }
  }
  return pattern;
}

}  // namespace

bool MatchesPattern(std::string_view text, std::string_view command) {
  const Pattern pattern = Compile(text);
  const std::vector<std::string>& pieces = pattern.pieces;
  const std::string& first = pieces.front();
  if (pieces.size() == 1) return command == first;
  const std::string& last = pieces.back();
  if (command.size() < first.size() + last.size() || !command.starts_with(first) ||
      !command.ends_with(last)) {
    return false;
  }
  // Between the fixed ends, each middle piece at its earliest place: a star
  // absorbs what lies between, so the earliest place never loses a match.
  std::string_view rest = command.substr(first.size(), command.size() - first.size() - last.size());
  for (size_t i = 1; i + 1 < pieces.size(); ++i) {
    const size_t at = rest.find(pieces[i]);
    if (at == std::string_view::npos) return false;
    rest.remove_prefix(at + pieces[i].size());
  }
  return true;
}

bool ReadScript(const std::string& path, bool can_send, std::vector<ScriptStep>* steps,
                std::string* error) {
  std::string content;
  if (!ReadRegularFile(path, &content, error)) {
    *error = "cannot read the script " + path + ": " + *error;
    return false;
  }
  size_t number = 0;
  for (size_t start = 0; start < content.size();) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string_view line(content.data() + start, end - start);
    start = end + 1;
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    const auto where = [&] { return "script " + path + " line " + std::to_string(number) + ": "; };
    if (line.find_first_not_of(" \t") == std::string_view::npos || line.starts_with('#')) continue;
    const bool send = line[0] == '>';
    if ((!send && line[0] != '<') || (line.size() > 1 && line[1] != ' ')) {
      *error = where() + "not a \"> TEXT\", \"< PATTERN\" or \"#\" line: " + std::string(line);
      return false;
    }
    const std::string_view text = line.substr(std::min<size_t>(line.size(), 2));
    if (text.empty()) {
      *error = where() + "nothing after \"" + line[0] + "\"";
      return false;
    }
    if (send && !can_send) {
      *error = where() + "a \"> \" line needs FIFO mode: in standard-output mode the tool has no "
                         "input channel";
      return false;
    }
    if (send && text.size() > Sender::kMaxLine) {
      *error = where() + "a command of " + std::to_string(text.size()) + " bytes, more than " +
               std::to_string(Sender::kMaxLine);
      return false;
    }
    steps->push_back(ScriptStep{send, std::string(text), number});
  }
  return true;
}

ScriptRun::ScriptRun(std::string path, std::vector<ScriptStep> steps, int timeout_ms)
    : path_(std::move(path)), steps_(std::move(steps)), timeout_ms_(timeout_ms),
      since_(Clock::now()) {}

void ScriptRun::Advance() {
  ++current_;
  handed_out_ = false;
  since_ = Clock::now();
}

const std::string* ScriptRun::NextSend() {
  if (finished() || !steps_[current_].send || handed_out_) return nullptr;
  handed_out_ = true;
  return &steps_[current_].text;
}

void ScriptRun::Sent() {
  if (!finished() && steps_[current_].send) Advance();
}

void ScriptRun::Received(std::string_view command) {
  if (!finished() && !steps_[current_].send && MatchesPattern(steps_[current_].text, command))
    Advance();
}

bool ScriptRun::Expired(Clock::time_point now) const {
  return !finished() && now - since_ >= std::chrono::milliseconds(timeout_ms_);
}

void ScriptRun::Report(const std::string& what, const std::vector<std::string>& last,
                       size_t received) const {
  if (finished()) return;
  const ScriptStep& step = steps_[current_];
  std::fprintf(stderr, "qxhost: script %s line %zu: %s %s\n", path_.c_str(), step.line,
               step.send ? ">" : "<", step.text.c_str());
  std::fprintf(stderr, "qxhost: the conversation differs from the script: %s\n", what.c_str());
  if (last.empty()) {
    std::fprintf(stderr, "qxhost: no command received\n");
    return;
  }
  std::fprintf(stderr, "qxhost: the last %zu of %zu commands received:\n", last.size(), received);
  for (const std::string& command : last) std::fprintf(stderr, "qxhost:   %s\n", command.c_str());
}

}  // namespace qxhost
