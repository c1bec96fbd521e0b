// The host stand-in's command syntax check: the input is one command text, as
// a tool could send it in a frame.
//
// Oracles: a command that parses is given back byte for byte by its name and
// arguments (an integer by its digits, a counted string by its length and
// bytes), an integer's value agrees with its digits unless they exceed the
// 64-bit range, and the command begins like a command; a command that does not
// parse breaks at an offset within the text, with a reason.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "kora_syntax.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qxhost::KoraCommand command;
  qxhost::KoraSyntaxError error;
  if (!qxhost::ParseKora(text, &command, &error)) {
    if (error.offset > size) qxfuzz::Fail("the break lies past the end of the command");
    if (error.reason.empty()) qxfuzz::Fail("a break without a reason");
    return 0;
  }
  if (!qxhost::BeginsLikeKora(text)) qxfuzz::Fail("a command that does not begin like one");
  std::string again(command.name);
  again += '(';
  for (size_t i = 0; i < command.arguments.size(); ++i) {
    const qxhost::KoraArgument& argument = command.arguments[i];
    if (i > 0) again += ',';
    switch (argument.kind) {
      case qxhost::KoraArgument::Kind::kEmpty:
        break;
      case qxhost::KoraArgument::Kind::kInteger: {
        const std::string value = std::to_string(argument.integer);
        const size_t digits = argument.text.size() - (argument.text[0] == '-' ? 1 : 0);
        if (digits < 19 && value != argument.text) qxfuzz::Fail("an integer's value is not its digits");
        again += argument.text;
        break;
      }
      case qxhost::KoraArgument::Kind::kString:
        again += std::to_string(argument.text.size());
        again += ':';
        again += argument.text;
        break;
    }
  }
  again += ')';
  if (again != text) qxfuzz::Fail("the parsed command does not give the text back");
  return 0;
}
