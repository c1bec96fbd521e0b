// SPDX-License-Identifier: MIT
// Composition of KORA commands for the senders of the library. The command
// syntax lives here alone: name, "(", comma-separated arguments, ")";
// integers in decimal, strings counted as "<byte length>:<bytes>", object
// numbers in the signed form (all bits set is written -1).
#ifndef QUARNEL_SRC_KORA_KORA_COMPOSE_H
#define QUARNEL_SRC_KORA_KORA_COMPOSE_H

#include <cstddef>
#include <string>

#include "kora/send_state.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXTypes.h"

namespace qx {

// One command under composition, in a buffer of its own: composing never
// allocates and never throws. A command longer than the buffer keeps its real
// length, so that Send refuses it with that length in the output operation's
// trace, exactly as QxClSendChannelKora refuses any command over the limit.
// Arguments are separated by commas on their own; a caller's string is always
// copied as bytes, never read as a format.
class KoraCommand {
 public:
  // Starts "name(".
  explicit KoraCommand(const char* name) noexcept;

  // Starts after a head that already holds the name, "(" and any leading
  // arguments followed by their comma (the head of the numbered pieces).
  static KoraCommand AfterHead(const char* head) noexcept;

  KoraCommand& Number(long long value) noexcept;
  // An object number, written signed.
  KoraCommand& Object(QxObjectID id) noexcept;
  // A counted string; null is sent as the empty string.
  KoraCommand& Text(const char* text) noexcept;
  // The first length bytes of text, counted.
  KoraCommand& Text(const char* text, size_t length) noexcept;
  // An empty argument.
  KoraCommand& Empty() noexcept;
  // Argument text given whole by the caller (a command's parameter list).
  KoraCommand& Raw(const char* text) noexcept;

  // Ends a head: the text so far with the comma that the next argument
  // follows. Valid while this object lives.
  const char* Head() noexcept;
  // Real length of the text so far, cut or not.
  size_t length() const noexcept { return length_; }

  // Closes the command with ")" and hands it to QxClSendChannelKora with
  // record (null: the current output record).
  void Send(PQxChannelIOParams record = nullptr) noexcept;

 private:
  KoraCommand() noexcept = default;
  void Separate() noexcept;
  void Append(const char* bytes, size_t count) noexcept;
  void Terminate() noexcept;

  char text_[kora::kMessageSize];
  size_t length_ = 0;     // real length; may exceed the buffer
  bool separate_ = false; // the next argument needs a comma first
};

// The whole formatted text, however long. Throws std::bad_alloc when memory
// is exhausted: callers map it to kQx_MemFullErr.
std::string StringF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// A caller's string for a counted argument: null is sent as the empty string.
inline const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace qx

#endif
