// SPDX-License-Identifier: MIT
// The host stand-in's view of the KORA command syntax: the library's one
// command reader (quarnel/QXKoraParse.h), with its arguments in a vector and
// each break explained in words for the printed conversation.
#ifndef QUARNEL_TOOLS_QXHOST_KORA_SYNTAX_H
#define QUARNEL_TOOLS_QXHOST_KORA_SYNTAX_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qxhost {

struct KoraArgument {
  enum class Kind { kEmpty, kInteger, kString };
  Kind kind = Kind::kEmpty;
  int64_t integer = 0;    // kInteger
  std::string_view text;  // kString: the counted bytes; kInteger: the digits as written
};

// A command that parsed. The views point into the text given to ParseKora.
struct KoraCommand {
  std::string_view name;
  std::vector<KoraArgument> arguments;  // a command "X()" has none
};

// Where a command breaks: the number of bytes before the first byte that does
// not fit (text.size() when the command ends too early), and why.
struct KoraSyntaxError {
  size_t offset = 0;
  std::string reason;
};

// Parses text as one whole command (one final line feed allowed). Returns
// true and fills command, or false and fills error; never reads outside text.
bool ParseKora(std::string_view text, KoraCommand* command, KoraSyntaxError* error);

// True when text begins like a command: a name followed by "(". Standard
// output lines that begin so are commands; the others are the tool's own.
bool BeginsLikeKora(std::string_view text);

}  // namespace qxhost

#endif
