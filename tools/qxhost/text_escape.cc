// SPDX-License-Identifier: MIT
#include "text_escape.h"

#include <cstdint>

namespace qxhost {

namespace {

// The length of the valid UTF-8 sequence of two bytes or more at the start
// of text; 0 when there is none (an ASCII byte included).
size_t Utf8Sequence(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(0);
  size_t length;
  uint8_t low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

constexpr char kHex[] = "0123456789abcdef";

// Walks text: ASCII bytes go to ascii, valid sequences are copied, the other
// bytes go to invalid.
template <typename Ascii, typename Invalid>
void Walk(std::string_view text, std::string* out, Ascii ascii, Invalid invalid) {
  size_t i = 0;
  while (i < text.size()) {
    const uint8_t c = static_cast<uint8_t>(text[i]);
    if (c < 0x80) {
      ascii(static_cast<char>(c));
      ++i;
    } else if (const size_t length = Utf8Sequence(text.substr(i)); length != 0) {
      out->append(text, i, length);
      i += length;
    } else {
      invalid(c);
      ++i;
    }
  }
}

}  // namespace

void AppendJsonString(std::string_view text, std::string* out) {
  const auto unicode = [out](uint8_t c) {
    out->append("\\u00");
    out->push_back(kHex[c >> 4]);
    out->push_back(kHex[c & 15]);
  };
  Walk(
      text, out,
      [&](char c) {
        switch (c) {
          case '"': out->append("\\\""); break;
          case '\\': out->append("\\\\"); break;
          case '\n': out->append("\\n"); break;
          case '\r': out->append("\\r"); break;
          case '\t': out->append("\\t"); break;
          default:
            if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) {
              unicode(static_cast<uint8_t>(c));
            } else {
              out->push_back(c);
            }
        }
      },
      unicode);
}

void AppendDotString(std::string_view text, std::string* out) {
  Walk(
      text, out,
      [out](char c) {
        if (c == '"' || c == '\\') out->push_back('\\');
        if (c == '\n') {
          out->append("\\n");
        } else if (static_cast<uint8_t>(c) < 0x20) {
          // Graphviz copies control bytes into its SVG, where XML allows none
          // but tab, line feed and carriage return: each becomes its picture
          // (U+2400 + byte, in UTF-8 E2 90 80+byte), so the drawing stays
          // well-formed and still shows that a byte was there.
          out->append("\xE2\x90");
          out->push_back(static_cast<char>(0x80 + static_cast<uint8_t>(c)));
        } else {
          out->push_back(c);
        }
      },
      [out](uint8_t c) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
      });
}

}  // namespace qxhost
