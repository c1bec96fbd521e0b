#include "kora_syntax.h"

#include <limits>

namespace qxhost {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }

// Length of the name at the start of text (0 when there is none).
size_t NameLength(std::string_view text) {
  if (text.empty() || !IsLetter(text[0])) return 0;
  size_t i = 1;
  while (i < text.size() && IsNameChar(text[i])) ++i;
  return i;
}

// How the byte at pos is shown in a reason: quoted when printable.
std::string Found(std::string_view text, size_t pos) {
  if (pos >= text.size()) return "the end of the command";
  const unsigned char c = static_cast<unsigned char>(text[pos]);
  if (c >= 0x20 && c < 0x7f) return std::string("'") + static_cast<char>(c) + "'";
  static const char kHex[] = "0123456789abcdef";
  return std::string("byte 0x") + kHex[c >> 4] + kHex[c & 15];
}

class Parser {
 public:
  Parser(std::string_view text, KoraCommand* command, KoraSyntaxError* error)
      : text_(text), command_(command), error_(error) {}

  bool Run() {
    const size_t name = NameLength(text_);
    if (name == 0) return Fail(0, "a command name (a letter, then letters, digits or '_') expected, found " + Found(text_, 0));
    command_->name = text_.substr(0, name);
    pos_ = name;
    if (!At('(')) return Fail(pos_, "'(' expected after the command name, found " + Found(text_, pos_));
    ++pos_;
    for (;;) {
      KoraArgument argument;
      if (!Argument(&argument)) return false;
      command_->arguments.push_back(argument);
      if (At(',')) {
        ++pos_;
        continue;
      }
      if (At(')')) {
        if (pos_ + 1 != text_.size())
          return Fail(pos_ + 1, "text after the closing ')': " + Found(text_, pos_ + 1));
        return true;
      }
      return Fail(pos_, "',' or ')' expected after an argument, found " + Found(text_, pos_));
    }
  }

 private:
  bool At(char c) const { return pos_ < text_.size() && text_[pos_] == c; }

  bool Fail(size_t offset, std::string reason) {
    error_->offset = offset;
    error_->reason = std::move(reason);
    return false;
  }

  // One argument, ending before the ',' or ')' that follows it.
  bool Argument(KoraArgument* argument) {
    if (pos_ >= text_.size()) return Fail(pos_, "the command ends before its closing ')'");
    if (At(',') || At(')')) return true;  // empty
    const size_t start = pos_;
    const bool negative = At('-');
    if (negative) ++pos_;
    if (pos_ >= text_.size() || !IsDigit(text_[pos_])) {
      if (negative) return Fail(pos_, "a digit expected after '-', found " + Found(text_, pos_));
      return Fail(pos_, "an argument expected (empty, an integer or a counted string N:...), found " +
                            Found(text_, pos_));
    }
    const size_t digits = pos_;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    if (text_[digits] == '0' && pos_ - digits > 1) return Fail(digits, "a number with a leading zero");
    if (At(':')) {
      if (negative) return Fail(start, "a counted string with a negative length");
      return CountedString(digits, argument);
    }
    if (negative && pos_ - digits == 1 && text_[digits] == '0') return Fail(start, "a negative zero");
    argument->kind = KoraArgument::Kind::kInteger;
    argument->text = text_.substr(start, pos_ - start);
    argument->integer = Value(digits, pos_, negative);
    return true;
  }

  // The counted string whose length is written in text_[digits, pos_), pos_
  // at the colon.
  bool CountedString(size_t digits, KoraArgument* argument) {
    const size_t body = pos_ + 1;
    const size_t left = text_.size() - body;
    size_t length = 0;
    bool too_long = false;
    for (size_t i = digits; i < pos_ && !too_long; ++i) {
      length = length * 10 + static_cast<size_t>(text_[i] - '0');
      too_long = length > left;  // stops before the product could overflow
    }
    if (too_long) {
      return Fail(text_.size(), "the counted string of " +
                                    std::string(text_.substr(digits, pos_ - digits)) +
                                    " bytes runs past the end of the command (" +
                                    std::to_string(left) + " bytes left)");
    }
    argument->kind = KoraArgument::Kind::kString;
    argument->text = text_.substr(body, length);
    pos_ = body + length;
    return true;
  }

  int64_t Value(size_t begin, size_t end, bool negative) const {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (size_t i = begin; i < end; ++i) {
      const int digit = text_[i] - '0';
      if (value > (kMax - digit) / 10) return negative ? std::numeric_limits<int64_t>::min() : kMax;
      value = value * 10 + digit;
    }
    return negative ? -value : value;
  }

  std::string_view text_;
  KoraCommand* command_;
  KoraSyntaxError* error_;
  size_t pos_ = 0;
};

}  // namespace

bool ParseKora(std::string_view text, KoraCommand* command, KoraSyntaxError* error) {
  *command = KoraCommand{};
  return Parser(text, command, error).Run();
}

bool BeginsLikeKora(std::string_view text) {
  const size_t name = NameLength(text);
  return name > 0 && name < text.size() && text[name] == '(';
}

}  // namespace qxhost
