// SPDX-License-Identifier: MIT
// One conversion: read the input, say (or, with --strict, refuse) what the
// target format cannot hold, write the output.
#ifndef PNCONV_CONVERT_H
#define PNCONV_CONVERT_H

#include "options.h"

namespace pnconv {

// pnconv's exit statuses.
enum Status : int {
  kWritten = 0,
  kBadInput = 1,
  kUsage = 2,
  kLossRefused = 3,
  kOutputFailed = 4,
};

// Runs the conversion the options describe; messages go to standard error.
Status Convert(const Options& options);

}  // namespace pnconv

#endif
