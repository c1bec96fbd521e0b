// SPDX-License-Identifier: MIT
// The one reader of the KORA command syntax (the grammar is stated in
// quarnel/QXKoraParse.h). QxParseKora gives only where a command breaks; this
// form also says why, for programs that explain the break to a person.
#ifndef QUARNEL_SRC_KORA_KORA_PARSE_H
#define QUARNEL_SRC_KORA_KORA_PARSE_H

#include <cstddef>
#include <string_view>

#include "quarnel/QXKoraParse.h"

namespace qx {

enum class KoraFault {
  kNone,              // a whole command
  kCutShort,          // the text ends before the command does (offset == size)
  kName,              // no letter where the name begins
  kOpen,              // no '(' after the name
  kArgument,          // a byte that cannot begin an argument
  kDigitAfterMinus,   // no digit after '-'
  kLeadingZero,       // a digit after a leading zero
  kNegativeZero,      // "-0"
  kNegativeCount,     // a ':' after a negative number
  kOutOfRange,        // an integer outside the range of a long (offset: its first byte)
  kSeparator,         // neither ',' nor ')' after an argument
  kTooManyArguments,  // the comma that would open argument QX_KORA_MAX_ARGS + 1
  kAfterEnd,          // a byte after the closing ')' (and its one line feed)
};

struct KoraBreak {
  KoraFault fault = KoraFault::kNone;
  size_t offset = 0;    // the first byte that breaks the command
  size_t argument = 0;  // where the argument being read begins (kCutShort, kOutOfRange)
  // kCutShort: what the reader expected where the text ended (kName for a
  // name, kOpen, kArgument for an argument, kDigitAfterMinus, kSeparator), or
  // kCutShort when the text ended inside a counted string, whose count begins
  // at argument and runs to the colon.
  KoraFault expected = KoraFault::kNone;
};

// Reads text as one whole command; command may be null (syntax check only).
KoraBreak ParseKoraCommand(std::string_view text, QxKoraCommand* command) noexcept;

}  // namespace qx

#endif
