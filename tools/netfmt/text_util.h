// SPDX-License-Identifier: MIT
// Small text rules the readers and writers share.
#ifndef NETFMT_TEXT_UTIL_H
#define NETFMT_TEXT_UTIL_H

#include <cstdint>
#include <string>
#include <string_view>

namespace netfmt {

// Without the leading and trailing blanks, tabs, carriage returns and line
// feeds (XML's white space).
std::string_view Trim(std::string_view text);

// A decimal integer from 0 to the type's largest value (INT32_MAX,
// INT64_MAX): digits only (an optional leading '+'), nothing else. False
// otherwise, *value unchanged.
bool ParseCount(std::string_view text, int32_t* value);
bool ParseCount(std::string_view text, int64_t* value);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool IsUtf8(std::string_view text);

// The bytes as UTF-8: unchanged when they are UTF-8 already, else read as
// ISO 8859-1, where every byte is one character.
std::string AsUtf8(std::string_view text);

}  // namespace netfmt

#endif
