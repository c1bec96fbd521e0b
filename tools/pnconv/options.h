// SPDX-License-Identifier: MIT
// pnconv's command line.
#ifndef PNCONV_OPTIONS_H
#define PNCONV_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

#include "symmetric/unfold.h"

namespace pnconv {

enum class Format { kPnml, kPep, kMatrix, kProd, kDot };

// The name a format has on the command line and in messages.
const char* FormatName(Format format);

struct Options {
  bool help = false;
  bool version = false;
  std::optional<Format> from, to;
  std::string netId;
  uint64_t maxNodes = netfmt::symmetric::kDefaultMaxNodes;
  bool readArcs = false;
  bool strict = false;
  bool quiet = false;
  std::string input, output;
};

// The options of argv[1..]; formats not given are taken from the file names.
// Nothing, with *error set to a one-line reason, for a usage error.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error);

}  // namespace pnconv

#endif
