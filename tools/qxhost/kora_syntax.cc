// SPDX-License-Identifier: MIT
#include "kora_syntax.h"

#include "kora/kora_parse.h"

namespace qxhost {

namespace {

// How the byte at pos is shown in a reason: quoted when printable.
std::string Found(std::string_view text, size_t pos) {
  if (pos >= text.size()) return "the end of the command";
  const unsigned char c = static_cast<unsigned char>(text[pos]);
  if (c >= 0x20 && c < 0x7f) return std::string("'") + static_cast<char>(c) + "'";
  static const char kHex[] = "0123456789abcdef";
  return std::string("byte 0x") + kHex[c >> 4] + kHex[c & 15];
}

// The reason for a break, in the reader's terms. A text cut short is
// explained by what the reader expected where it ended.
std::string Reason(std::string_view text, const qx::KoraBreak& at) {
  const std::string found = Found(text, at.offset);
  const qx::KoraFault fault = at.fault == qx::KoraFault::kCutShort ? at.expected : at.fault;
  switch (fault) {
    case qx::KoraFault::kNone:
      break;
    case qx::KoraFault::kCutShort: {
      const size_t colon = text.find(':', at.argument);
      return "the counted string of " + std::string(text.substr(at.argument, colon - at.argument)) +
             " bytes runs past the end of the command (" + std::to_string(text.size() - colon - 1) +
             " bytes left)";
    }
    case qx::KoraFault::kName:
      return "a command name (a letter, then letters, digits or '_') expected, found " + found;
    case qx::KoraFault::kOpen:
      return "'(' expected after the command name, found " + found;
    case qx::KoraFault::kArgument:
      if (at.fault == qx::KoraFault::kCutShort) return "the command ends before its closing ')'";
      return "an argument expected (empty, an integer or a counted string N:...), found " + found;
    case qx::KoraFault::kDigitAfterMinus:
      return "a digit expected after '-', found " + found;
    case qx::KoraFault::kLeadingZero:
      return "a number with a leading zero";
    case qx::KoraFault::kNegativeZero:
      return "a negative zero";
    case qx::KoraFault::kNegativeCount:
      return "a counted string with a negative length";
    case qx::KoraFault::kOutOfRange:
      return "an integer outside the range of a long";
    case qx::KoraFault::kSeparator:
      return "',' or ')' expected after an argument, found " + found;
    case qx::KoraFault::kTooManyArguments:
      return "more than " + std::to_string(QX_KORA_MAX_ARGS) + " arguments";
    case qx::KoraFault::kAfterEnd:
      return "text after the closing ')': " + found;
  }
  return {};
}

KoraArgument Converted(const QxKoraArg& arg) {
  KoraArgument result;
  switch (arg.kind) {
    case kQx_KoraEmpty:
      break;
    case kQx_KoraInteger:
      result.kind = KoraArgument::Kind::kInteger;
      result.integer = arg.integer;
      result.text = std::string_view(arg.text, arg.length);
      break;
    case kQx_KoraString:
      result.kind = KoraArgument::Kind::kString;
      result.text = std::string_view(arg.text, arg.length);
      break;
  }
  return result;
}

}  // namespace

bool ParseKora(std::string_view text, KoraCommand* command, KoraSyntaxError* error) {
  QxKoraCommand parsed;
  const qx::KoraBreak at = qx::ParseKoraCommand(text, &parsed);
  // The vector keeps its storage from one command to the next.
  command->name = {};
  command->arguments.clear();
  if (at.fault != qx::KoraFault::kNone) {
    error->offset = at.offset;
    error->reason = Reason(text, at);
    return false;
  }
  command->name = std::string_view(parsed.name, parsed.nameLength);
  for (int i = 0; i < parsed.argCount; ++i) command->arguments.push_back(Converted(parsed.args[i]));
  return true;
}

bool BeginsLikeKora(std::string_view text) {
  QxKoraCommand parsed;
  qx::ParseKoraCommand(text, &parsed);
  return parsed.nameLength > 0;
}

}  // namespace qxhost
