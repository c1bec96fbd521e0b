#include "kora/kora_compose.h"

#include <cstdarg>
#include <cstdio>

#include "quarnel/QXCLSend.h"

namespace qx {

namespace {

// Command buffer of the senders. Commands that fit the limit of one KORA
// command always fit here; longer ones are composed on the heap.
char g_message[2048];

std::string VStringF(const char* fmt, va_list ap) {
  va_list again;
  va_copy(again, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, again);
  va_end(again);
  if (n <= 0) return {};
  std::string text(static_cast<size_t>(n), '\0');
  std::vsnprintf(text.data(), text.size() + 1, fmt, ap);
  return text;
}

}  // namespace

std::string StringF(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string text = VStringF(fmt, ap);
  va_end(ap);
  return text;
}

void SendKoraF(PQxChannelIOParams record, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list again;
  va_copy(again, ap);
  const int n = std::vsnprintf(g_message, sizeof g_message, fmt, ap);
  va_end(ap);
  if (n < 0) {  // a format error leaves nothing worth sending
    va_end(again);
    return;
  }
  if (static_cast<size_t>(n) < sizeof g_message) {
    va_end(again);
    QxClSendChannelKora(record, g_message);
    return;
  }
  const std::string command = VStringF(fmt, again);
  va_end(again);
  QxClSendChannelKora(record, command.c_str());
}

}  // namespace qx
