// SPDX-License-Identifier: MIT
// Byte strings written into JSON and DOT texts.
#ifndef QUARNEL_TOOLS_QXHOST_TEXT_ESCAPE_H
#define QUARNEL_TOOLS_QXHOST_TEXT_ESCAPE_H

#include <string>
#include <string_view>

namespace qxhost {

// Appends text to out as the inside of a JSON string: quote, backslash and
// every control byte (0x01-0x1F and DEL, 0x7F) escaped, valid UTF-8
// sequences as they are, and every byte that is not part of one as \u00XX.
void AppendJsonString(std::string_view text, std::string* out);

// Appends text to out as the inside of a DOT quoted string: quote and
// backslash escaped, a line feed as the centred line break \n, every other
// byte below 0x20 as its control picture (U+2400 + byte), valid UTF-8 as it
// is, and every other byte as the character of that code point (Latin-1), so
// that the text stays valid UTF-8 and a drawing of it is well-formed XML.
void AppendDotString(std::string_view text, std::string* out);

}  // namespace qxhost

#endif
