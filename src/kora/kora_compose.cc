// SPDX-License-Identifier: MIT
#include "kora/kora_compose.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "kora/send_state.h"
#include "quarnel/QXCLSend.h"

namespace qx {

KoraCommand::KoraCommand(const char* name) noexcept {
  Append(name, std::strlen(name));
  Append("(", 1);
}

KoraCommand KoraCommand::AfterHead(const char* head) noexcept {
  KoraCommand command;
  command.Append(head, std::strlen(head));
  return command;
}

void KoraCommand::Separate() noexcept {
  if (separate_) Append(",", 1);
  separate_ = true;
}

void KoraCommand::Append(const char* bytes, size_t count) noexcept {
  // One byte always stays free for the NUL.
  if (length_ < sizeof text_ - 1) {
    const size_t room = sizeof text_ - 1 - length_;
    std::memcpy(text_ + length_, bytes, count < room ? count : room);
  }
  length_ += count;
}

void KoraCommand::Terminate() noexcept {
  text_[length_ < sizeof text_ ? length_ : sizeof text_ - 1] = '\0';
}

KoraCommand& KoraCommand::Number(long long value) noexcept {
  Separate();
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  Append(digits, static_cast<size_t>(result.ptr - digits));
  return *this;
}

KoraCommand& KoraCommand::Object(QxObjectID id) noexcept {
  return Number(static_cast<long long>(static_cast<QxSLong>(id)));
}

KoraCommand& KoraCommand::Text(const char* text) noexcept {
  text = TextOrEmpty(text);
  return Text(text, std::strlen(text));
}

KoraCommand& KoraCommand::Text(const char* text, size_t length) noexcept {
  Separate();
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, length);
  Append(digits, static_cast<size_t>(result.ptr - digits));
  Append(":", 1);
  Append(text, length);
  return *this;
}

KoraCommand& KoraCommand::Empty() noexcept {
  Separate();
  return *this;
}

KoraCommand& KoraCommand::Raw(const char* text) noexcept {
  Separate();
  Append(text, std::strlen(text));
  return *this;
}

const char* KoraCommand::Head() noexcept {
  if (separate_) Append(",", 1);
  separate_ = false;
  Terminate();
  return text_;
}

void KoraCommand::Send(PQxChannelIOParams record) noexcept {
  Append(")", 1);
  Terminate();
  if (length_ < sizeof text_) {
    QxClSendChannelKora(record, text_);
  } else {
    kora::RefuseTooLarge(length_, text_);
  }
}

std::string StringF(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list again;
  va_copy(again, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, again);
  va_end(again);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<size_t>(n));
    std::vsnprintf(text.data(), text.size() + 1, fmt, ap);
  }
  va_end(ap);
  return text;
}

}  // namespace qx
