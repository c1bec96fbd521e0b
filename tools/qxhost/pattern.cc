// SPDX-License-Identifier: MIT
#include "pattern.h"

#include <cstdint>

#include "kora_syntax.h"

namespace qxhost {

namespace {

// Follows the command syntax through the literal bytes of a pattern, to know
// whether the next byte would start an argument.
class SyntaxTracker {
 public:
  void Byte(char c) {
    switch (where_) {
      case Where::kName:
        if (c == '(') where_ = Where::kArgStart;
        break;
      case Where::kArgStart:
        if (c >= '0' && c <= '9') {
          where_ = Where::kCount;
          count_ = static_cast<uint64_t>(c - '0');
        } else {
          Argument(c);
        }
        break;
      case Where::kCount:
        if (c >= '0' && c <= '9') {
          // Saturates: a count beyond any command only has to stay large.
          count_ = count_ > UINT32_MAX ? count_ : count_ * 10 + static_cast<uint64_t>(c - '0');
        } else if (c == ':') {
          where_ = count_ > 0 ? Where::kCounted : Where::kArgument;
        } else {
          Argument(c);
        }
        break;
      case Where::kCounted:
        if (--count_ == 0) where_ = Where::kArgument;
        break;
      case Where::kArgument:
        Argument(c);
        break;
      case Where::kUnknown:
        break;
    }
  }
  // A "*": it may stand for any number of bytes, so the place is lost.
  void Star() { where_ = Where::kUnknown; }
  // After a text form: the end of a counted string.
  void Text() { where_ = Where::kArgument; }
  bool at_argument_start() const { return where_ == Where::kArgStart; }
  bool lost() const { return where_ == Where::kUnknown; }

 private:
  enum class Where { kName, kArgStart, kCount, kCounted, kArgument, kUnknown };
  void Argument(char c) { where_ = c == ',' ? Where::kArgStart : Where::kArgument; }

  Where where_ = Where::kName;
  uint64_t count_ = 0;  // digits of a count, then the bytes of its string still due
};

bool Printable(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return false;
  }
  return true;
}

// Bytes of a command as pattern bytes. A line break cannot stand in a script
// line: a star takes its place.
void AppendLiteral(std::string_view text, std::string* out, bool* exact) {
  for (const char c : text) {
    if (c == '\n' || c == '\r') {
      out->push_back('*');
      *exact = false;
      continue;
    }
    if (c == '*' || c == '\\') out->push_back('\\');
    out->push_back(c);
  }
}

void AppendText(std::string_view text, std::string* out) {
  out->push_back('"');
  for (const char c : text) {
    if (c == '"' || c == '\\') out->push_back('\\');
    out->push_back(c);
  }
  out->push_back('"');
}

// A script line cannot end in a blank: a star takes the blanks' place.
void EndWithoutBlank(std::string* pattern, bool* exact) {
  const size_t kept = pattern->find_last_not_of(" \t");
  if (kept + 1 >= pattern->size()) return;
  pattern->erase(kept + 1);
  pattern->push_back('*');
  *exact = false;
}

// True when pattern, as read, is command itself.
bool IsExactly(const std::string& pattern, std::string_view command) {
  Pattern compiled;
  std::string error;
  return CompilePattern(pattern, &compiled, &error) && compiled.pieces.size() == 1 &&
         compiled.pieces[0] == command;
}

}  // namespace

bool CompilePattern(std::string_view text, Pattern* pattern, std::string* error) {
  pattern->pieces.assign(1, std::string());
  SyntaxTracker tracker;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '*' || text[i + 1] == '\\')) {
      pattern->pieces.back().push_back(text[++i]);
      tracker.Byte(text[i]);
      continue;
    }
    if (c == '*') {
      pattern->pieces.emplace_back();
      tracker.Star();
      continue;
    }
    const bool text_form =
        c == '"' && (tracker.at_argument_start() ||
                     (tracker.lost() && i > 0 && (text[i - 1] == '(' || text[i - 1] == ',')));
    if (!text_form) {
      pattern->pieces.back().push_back(c);
      tracker.Byte(c);
      continue;
    }
    std::string body;
    size_t end = i + 1;
    for (; end < text.size() && text[end] != '"'; ++end) {
      if (text[end] == '\\' && end + 1 < text.size() &&
          (text[end + 1] == '"' || text[end + 1] == '\\')) {
        ++end;
      }
      body.push_back(text[end]);
    }
    if (end >= text.size()) {
      *error = "the text at byte " + std::to_string(i + 1) +
               " has no closing quote (write \\\" for a quote inside it)";
      return false;
    }
    pattern->pieces.back().append(std::to_string(body.size())).push_back(':');
    pattern->pieces.back().append(body);
    tracker.Text();
    i = end;
  }
  return true;
}

bool MatchesPattern(const Pattern& pattern, std::string_view command) {
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

std::string PatternFor(std::string_view command, bool* exact) {
  *exact = true;
  std::string out;
  KoraCommand parsed;
  KoraSyntaxError syntax;
  size_t done = 0;
  if (ParseKora(command, &parsed, &syntax)) {
    for (const KoraArgument& argument : parsed.arguments) {
      if (argument.kind != KoraArgument::Kind::kString || !Printable(argument.text)) continue;
      // The count "N:" stands before the counted bytes.
      const size_t begin = static_cast<size_t>(argument.text.data() - command.data());
      size_t count = begin - 1;
      while (count > 0 && command[count - 1] >= '0' && command[count - 1] <= '9') --count;
      AppendLiteral(command.substr(done, count - done), &out, exact);
      AppendText(argument.text, &out);
      done = begin + argument.text.size();
    }
  }
  AppendLiteral(command.substr(done), &out, exact);
  EndWithoutBlank(&out, exact);
  // A malformed command may hold a quote where an argument would start: the
  // pattern would read it as a text, so a star takes every quote's place.
  if (*exact && !IsExactly(out, command)) {
    *exact = false;
    std::string loose;
    bool unused = true;
    AppendLiteral(command, &loose, &unused);
    for (char& c : loose)
      if (c == '"') c = '*';
    EndWithoutBlank(&loose, &unused);
    return loose;
  }
  return out;
}

}  // namespace qxhost
