// Composition of KORA commands and texts for the senders of the library.
#ifndef QUARNEL_SRC_KORA_KORA_COMPOSE_H
#define QUARNEL_SRC_KORA_KORA_COMPOSE_H

#include <string>

#include "quarnel/QXChannel.h"

namespace qx {

// The whole formatted text, however long.
std::string StringF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Composes a command and hands it to QxClSendChannelKora with record (null:
// the current output record). The command is composed whole, never cut: one
// that exceeds the command limit reaches the output operation with its real
// length, which refuses it there. Callers' strings are passed as "%s"
// arguments only, never as the format.
void SendKoraF(PQxChannelIOParams record, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// A caller's string for a counted argument: null is sent as the empty string.
inline const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace qx

#endif
