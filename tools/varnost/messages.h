// SPDX-License-Identifier: MIT
// The tool's French messages on standard output. Texts that carry a file name
// print it as it stands: a name is never used as a format.
#ifndef VARNOST_MESSAGES_H
#define VARNOST_MESSAGES_H

namespace varnost {

// Prints before, text and after, unformatted.
void SayAround(const char* before, const char* text, const char* after);

// The message for nets whose counts are too large for the memory at hand.
void SayOutOfMemory();

}  // namespace varnost

#endif
