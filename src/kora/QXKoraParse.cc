// SPDX-License-Identifier: MIT
// QxParseKora: the public face of the command reader, for C and C++ tools.
#include "quarnel/QXKoraParse.h"

#include "kora/kora_parse.h"

extern "C" size_t QxParseKora(const char* text, size_t length, QxKoraCommand* command) noexcept {
  // A null text is read as an empty one: it breaks where it begins.
  const std::string_view view = text != nullptr ? std::string_view(text, length) : std::string_view();
  const qx::KoraBreak result = qx::ParseKoraCommand(view, command);
  return result.fault == qx::KoraFault::kNone ? 0 : result.offset + 1;
}
