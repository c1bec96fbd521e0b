#include "kora/kora_compose.h"

#include <cstdarg>
#include <cstdio>

#include "kora/send_state.h"
#include "quarnel/QXCLSend.h"

namespace qx {

namespace {

// Commands are composed in the send module's command buffer. Every command
// within the limit of one KORA command fits there; longer ones are composed on
// the heap so that the output operation refuses them with their real length.
using kora::g_message;

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
