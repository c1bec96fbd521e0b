// SPDX-License-Identifier: MIT
// The KORA command reader: one pass over the text, no allocation, no trace.
// Every break is reported at the first byte after which the text can no
// longer begin a command (except an integer out of range, reported at its
// first byte), so that the bytes before a break always begin a command.
#include "kora/kora_parse.h"

#include <climits>

namespace qx {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }

class Reader {
 public:
  Reader(std::string_view text, QxKoraCommand* command) : text_(text), command_(command) {}

  KoraBreak Command() {
    if (command_ != nullptr) {
      command_->name = nullptr;
      command_->nameLength = 0;
      command_->argCount = 0;
    }
    if (AtEnd()) return CutShort(KoraFault::kName, 0);
    if (!IsLetter(text_[0])) return Break(KoraFault::kName, 0);
    pos_ = 1;
    while (!AtEnd() && IsNameChar(text_[pos_])) ++pos_;
    if (AtEnd()) return CutShort(KoraFault::kOpen, pos_);
    if (text_[pos_] != '(') return Break(KoraFault::kOpen, pos_);
    if (command_ != nullptr) {
      command_->name = text_.data();
      command_->nameLength = pos_;
    }
    ++pos_;
    if (AtEnd()) return CutShort(KoraFault::kArgument, pos_);
    if (text_[pos_] == ')') return AfterClose(pos_ + 1);  // NAME(): no argument
    for (int count = 1;; ++count) {
      if (const KoraBreak fault = Argument(); fault.fault != KoraFault::kNone) return fault;
      if (command_ != nullptr) command_->argCount = count;
      if (AtEnd()) return CutShort(KoraFault::kSeparator, pos_);
      if (text_[pos_] == ')') return AfterClose(pos_ + 1);
      if (text_[pos_] != ',') return Break(KoraFault::kSeparator, pos_);
      if (count == QX_KORA_MAX_ARGS) return Break(KoraFault::kTooManyArguments, pos_);
      ++pos_;
    }
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }

  static KoraBreak Break(KoraFault fault, size_t offset) {
    KoraBreak result;
    result.fault = fault;
    result.offset = offset;
    return result;
  }

  KoraBreak CutShort(KoraFault expected, size_t argument) const {
    KoraBreak result = Break(KoraFault::kCutShort, text_.size());
    result.expected = expected;
    result.argument = argument;
    return result;
  }

  // After the closing parenthesis: the end, or one line feed and the end.
  KoraBreak AfterClose(size_t after) const {
    if (after == text_.size()) return {};
    if (text_[after] != '\n') return Break(KoraFault::kAfterEnd, after);
    if (after + 1 == text_.size()) return {};
    return Break(KoraFault::kAfterEnd, after + 1);
  }

  // The argument at pos_, which ends before the ',' or ')' that follows it.
  KoraBreak Argument() {
    const size_t start = pos_;
    if (AtEnd()) return CutShort(KoraFault::kArgument, start);
    QxKoraArg arg{kQx_KoraEmpty, 0, nullptr, 0};
    const bool negative = text_[pos_] == '-';
    if (text_[pos_] != ',' && text_[pos_] != ')') {
      if (negative && ++pos_ == text_.size()) return CutShort(KoraFault::kDigitAfterMinus, start);
      if (!IsDigit(text_[pos_]))
        return Break(negative ? KoraFault::kDigitAfterMinus : KoraFault::kArgument, pos_);
      const size_t digits = pos_;
      if (text_[pos_] == '0') {
        if (negative) return Break(KoraFault::kNegativeZero, pos_);
        ++pos_;
        if (!AtEnd() && IsDigit(text_[pos_])) return Break(KoraFault::kLeadingZero, pos_);
      }
      while (!AtEnd() && IsDigit(text_[pos_])) ++pos_;
      // Digits up to the end could still be a count or an integer.
      if (AtEnd()) return CutShort(KoraFault::kSeparator, start);
      if (text_[pos_] == ':') {
        if (negative) return Break(KoraFault::kNegativeCount, pos_);
        if (!CountedString(digits, &arg)) return CutShort(KoraFault::kCutShort, start);
      } else if (!Integer(start, digits, negative, &arg)) {
        return Break(KoraFault::kOutOfRange, start);
      }
    }
    if (command_ != nullptr) command_->args[command_->argCount] = arg;
    return {};
  }

  // The counted string whose count is text_[digits, pos_), pos_ at the
  // colon; false when the count runs past the end of the text.
  bool CountedString(size_t digits, QxKoraArg* arg) {
    const size_t body = pos_ + 1;
    const size_t left = text_.size() - body;
    size_t count = 0;
    for (size_t i = digits; i < pos_; ++i) {
      count = count * 10 + static_cast<size_t>(text_[i] - '0');
      if (count > left) return false;  // stops long before the product could overflow
    }
    *arg = QxKoraArg{kQx_KoraString, 0, text_.data() + body, count};
    pos_ = body + count;
    return true;
  }

  // The integer text_[start, pos_) whose digits begin at digits; false when
  // it lies outside the range of a long.
  bool Integer(size_t start, size_t digits, bool negative, QxKoraArg* arg) const {
    const unsigned long limit =
        negative ? static_cast<unsigned long>(LONG_MAX) + 1 : static_cast<unsigned long>(LONG_MAX);
    unsigned long magnitude = 0;
    for (size_t i = digits; i < pos_; ++i) {
      const unsigned long digit = static_cast<unsigned long>(text_[i] - '0');
      if (magnitude > (limit - digit) / 10) return false;
      magnitude = magnitude * 10 + digit;
    }
    // -magnitude computed in unsigned arithmetic, then taken as a long: exact
    // for LONG_MIN too.
    const long value = negative ? static_cast<long>(0UL - magnitude) : static_cast<long>(magnitude);
    *arg = QxKoraArg{kQx_KoraInteger, value, text_.data() + start, pos_ - start};
    return true;
  }

  std::string_view text_;
  QxKoraCommand* command_;
  size_t pos_ = 0;
};

}  // namespace

KoraBreak ParseKoraCommand(std::string_view text, QxKoraCommand* command) noexcept {
  return Reader(text, command).Command();
}

}  // namespace qx
