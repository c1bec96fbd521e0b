// SPDX-License-Identifier: MIT
#include "json_reader.h"

#include <cstdint>

namespace e2e {

namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool Document(JsonValue* value, std::string* error) {
    const bool ok = Value(value, 0) && (Space(), at_ == text_.size() || Fail("text after the value"));
    if (!ok) *error = "at byte " + std::to_string(at_) + ": " + why_;
    return ok;
  }

 private:
  static constexpr int kMaxDepth = 256;

  bool Fail(const char* why) {
    why_ = why;
    return false;
  }
  void Space() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' ||
                                  text_[at_] == '\r'))
      ++at_;
  }
  bool Take(char c) {
    Space();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Literal(std::string_view word, JsonValue::Kind kind, JsonValue* value) {
    if (text_.substr(at_, word.size()) != word) return Fail("not a value");
    at_ += word.size();
    value->kind = kind;
    value->text = std::string(word);
    return true;
  }

  bool Value(JsonValue* value, int depth) {
    if (depth > kMaxDepth) return Fail("nested too deep");
    Space();
    if (at_ >= text_.size()) return Fail("a value is missing");
    switch (text_[at_]) {
      case '{': return Object(value, depth);
      case '[': return Array(value, depth);
      case '"': value->kind = JsonValue::Kind::kString; return String(&value->text);
      case 't': return Literal("true", JsonValue::Kind::kBool, value);
      case 'f': return Literal("false", JsonValue::Kind::kBool, value);
      case 'n': return Literal("null", JsonValue::Kind::kNull, value);
      default: return Number(value);
    }
  }

  bool Object(JsonValue* value, int depth) {
    ++at_;
    value->kind = JsonValue::Kind::kObject;
    if (Take('}')) return true;
    do {
      Space();
      std::string name;
      if (at_ >= text_.size() || text_[at_] != '"') return Fail("a member name is missing");
      if (!String(&name)) return false;
      if (!Take(':')) return Fail("':' is missing");
      JsonValue member;
      if (!Value(&member, depth + 1)) return false;
      if (!value->members.emplace(name, std::move(member)).second) return Fail("a repeated name");
    } while (Take(','));
    return Take('}') || Fail("'}' is missing");
  }

  bool Array(JsonValue* value, int depth) {
    ++at_;
    value->kind = JsonValue::Kind::kArray;
    if (Take(']')) return true;
    do {
      value->items.emplace_back();
      if (!Value(&value->items.back(), depth + 1)) return false;
    } while (Take(','));
    return Take(']') || Fail("']' is missing");
  }

  bool Digits() {
    const size_t from = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > from;
  }

  bool Number(JsonValue* value) {
    const size_t from = at_;
    if (text_[at_] == '-') ++at_;
    if (at_ < text_.size() && text_[at_] == '0') {
      ++at_;
    } else if (!Digits()) {
      return Fail("not a value");
    }
    if (at_ < text_.size() && text_[at_] == '.' && (++at_, !Digits())) return Fail("a bad number");
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (!Digits()) return Fail("a bad number");
    }
    value->kind = JsonValue::Kind::kNumber;
    value->text = std::string(text_.substr(from, at_ - from));
    return true;
  }

  bool Hex4(uint32_t* unit) {
    if (text_.size() - at_ < 4) return Fail("a short \\u escape");
    *unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return Fail("a bad \\u escape");
      *unit = *unit * 16 + static_cast<uint32_t>(digit);
    }
    return true;
  }

  static void PutUtf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
      out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out->push_back(static_cast<char>(0xC0 | code >> 6));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | code >> 12));
      out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | code >> 18));
      out->push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }

  // A string at at_ (its opening quote), decoded into out. Raw bytes below
  // 0x20 are refused, as the grammar says; other bytes are kept as they are.
  bool String(std::string* out) {
    ++at_;
    for (;;) {
      if (at_ >= text_.size()) return Fail("an unterminated string");
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("a raw control byte in a string");
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (at_ >= text_.size()) return Fail("an unterminated string");
      const char e = text_[at_++];
      switch (e) {
        case '"': case '\\': case '/': out->push_back(e); break;
        case 'b': out->push_back('\b'); break;
        case 'f': out->push_back('\f'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case 'u': {
          uint32_t unit = 0;
          if (!Hex4(&unit)) return false;
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            uint32_t low = 0;
            if (text_.substr(at_, 2) != "\\u") return Fail("a lone high surrogate");
            at_ += 2;
            if (!Hex4(&low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return Fail("a lone high surrogate");
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return Fail("a lone low surrogate");
          }
          PutUtf8(unit, out);
          break;
        }
        default: return Fail("a bad escape");
      }
    }
  }

  std::string_view text_;
  size_t at_ = 0;
  const char* why_ = "";
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const {
  static const JsonValue kNone;
  const auto found = members.find(name);
  return found != members.end() ? found->second : kNone;
}

bool ReadJson(std::string_view text, JsonValue* value, std::string* error) {
  *value = JsonValue();
  return Reader(text).Document(value, error);
}

}  // namespace e2e
