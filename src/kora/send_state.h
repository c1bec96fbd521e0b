// SPDX-License-Identifier: MIT
// State of the KORA send module shared between its files: the command buffer
// and the trace-text buffer that the output, long-text and legacy senders
// compose in, and a reset of the current channel records for tests.
// Not part of the public interface.
#ifndef QUARNEL_SRC_KORA_SEND_STATE_H
#define QUARNEL_SRC_KORA_SEND_STATE_H

#include <cstddef>

namespace qx::kora {

inline constexpr std::size_t kMessageSize = 2048;

// Command buffer of the module. A command composed here may be handed to
// QxClSendChannelKora directly: a refused command's excerpt is taken from it
// before anything else is written.
extern char g_message[kMessageSize];

// Composed trace texts of the module.
extern char g_error_message[kMessageSize];

// The refusal of a command longer than kQx_MaxKoraCommand: traces its real
// length with an excerpt of its first bytes (text holds at least those) and
// sets kQx_ParamErr. text may lie in g_message.
void RefuseTooLarge(std::size_t length, const char* text) noexcept;

// Makes both current channel records null again and restores the default
// output stream. The public interface cannot clear them; only tests do.
void ResetCurrentChannelIO();

}  // namespace qx::kora

#endif
