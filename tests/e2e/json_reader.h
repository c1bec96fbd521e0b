// SPDX-License-Identifier: MIT
// A strict reader of JSON texts (RFC 8259) for checking what a program
// writes: a text that is not valid JSON is refused with the offset where it
// breaks, and strings are decoded (escapes, \u sequences and surrogate pairs
// to UTF-8), so a test compares the values a JSON consumer would see.
#ifndef QUARNEL_TESTS_E2E_JSON_READER_H
#define QUARNEL_TESTS_E2E_JSON_READER_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  std::string text;  // a string's decoded bytes, a number's or literal's text
  std::vector<JsonValue> items;                // an array's
  std::map<std::string, JsonValue> members;    // an object's

  // The member name of an object (a null value when there is none).
  const JsonValue& operator[](const std::string& name) const;
};

// Reads text, which must be one JSON value with white space around it only.
// False, with *error saying where and why, when it is not valid JSON.
bool ReadJson(std::string_view text, JsonValue* value, std::string* error);

}  // namespace e2e

#endif
