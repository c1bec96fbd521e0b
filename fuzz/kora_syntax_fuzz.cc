// SPDX-License-Identifier: MIT
// The KORA command reader, as tools call it (QxParseKora) and as the host
// stand-in explains it: the input is one command text, as a tool could send it
// in a frame or the host to a tool.
//
// Oracles: a command that parses is given back byte for byte by its name and
// arguments (an integer by its value, a counted string by its count and bytes),
// with its one final line feed if it had one. A command that does not parse
// breaks within the text or just past it; the bytes before the break begin a
// command, and the byte at the break already breaks it (except an integer out
// of range, which breaks at its first byte). The host stand-in agrees on the
// offset, gives a reason, and sees a command beginning exactly when a name and
// "(" were read.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "kora/kora_parse.h"
#include "kora_syntax.h"
#include "quarnel/QXKoraParse.h"

namespace {

size_t Parse(std::string_view text, QxKoraCommand* command) {
  return QxParseKora(text.data(), text.size(), command);
}

// The command rebuilt from what the reader gave.
std::string Rebuilt(const QxKoraCommand& command) {
  std::string again(command.name, command.nameLength);
  again += '(';
  for (int i = 0; i < command.argCount; ++i) {
    const QxKoraArg& arg = command.args[i];
    if (i > 0) again += ',';
    switch (arg.kind) {
      case kQx_KoraEmpty:
        if (arg.text != nullptr || arg.length != 0) qxfuzz::Fail("an empty argument with a text");
        break;
      case kQx_KoraInteger: {
        const std::string value = std::to_string(arg.integer);
        if (value != std::string_view(arg.text, arg.length))
          qxfuzz::Fail("an integer's text is not its value");
        again += value;
        break;
      }
      case kQx_KoraString:
        again += std::to_string(arg.length);
        again += ':';
        again.append(arg.text, arg.length);
        break;
    }
  }
  again += ')';
  return again;
}

void CheckHostView(std::string_view text, size_t result, const QxKoraCommand& command) {
  qxhost::KoraCommand hostCommand;
  qxhost::KoraSyntaxError error;
  const bool parsed = qxhost::ParseKora(text, &hostCommand, &error);
  if (parsed != (result == 0)) qxfuzz::Fail("the host stand-in and the library disagree");
  if (!parsed && (error.offset + 1 != result || error.reason.empty()))
    qxfuzz::Fail("the host stand-in's break differs or has no reason");
  if (parsed && hostCommand.arguments.size() != static_cast<size_t>(command.argCount))
    qxfuzz::Fail("the host stand-in counts other arguments");
  if (qxhost::BeginsLikeKora(text) != (command.nameLength > 0))
    qxfuzz::Fail("a command beginning not seen as one");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  QxKoraCommand command;
  const size_t result = Parse(text, &command);
  if (Parse(text, nullptr) != result) qxfuzz::Fail("the result depends on the command record");
  CheckHostView(text, result, command);
  if (result == 0) {
    if (command.nameLength == 0) qxfuzz::Fail("a command without a name");
    const std::string again = Rebuilt(command);
    if (again != text && again + '\n' != text) qxfuzz::Fail("the parsed command does not give the text back");
    return 0;
  }
  if (result > size + 1) qxfuzz::Fail("the break lies past the end of the command");
  const size_t offset = result - 1;
  const size_t before = Parse(text.substr(0, offset), nullptr);
  if (before != 0 && before != offset + 1) qxfuzz::Fail("the bytes before the break do not begin a command");
  if (offset < size && qx::ParseKoraCommand(text, nullptr).fault != qx::KoraFault::kOutOfRange &&
      Parse(text.substr(0, offset + 1), nullptr) != result)
    qxfuzz::Fail("the break is not at the first byte that breaks the command");
  return 0;
}
