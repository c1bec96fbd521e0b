// SPDX-License-Identifier: MIT
// The matrix format's reader for pnconv: the converter's own reader (the same
// tokens, checks and messages), whose net globals are then fed to a
// NetBuilder and released.
#ifndef PNCONV_MATRIX_NET_H
#define PNCONV_MATRIX_NET_H

#include <optional>
#include <string>

#include "net.h"

namespace pnconv {

// Reads `path` and, when it exists, path + ".ref". Places get the ids P1..,
// transitions T1..; names are the reference file's (none without one); token
// counts and weights are the file's values. The reader's own messages go to
// standard error. Nothing when the net cannot be read (*problem then says so
// briefly, after the reader's message).
std::optional<netfmt::Net> ReadMatrixNet(const std::string& path, netfmt::Problem* problem);

}  // namespace pnconv

#endif
