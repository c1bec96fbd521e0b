// SPDX-License-Identifier: MIT
// An output that is the input: writing it would replace what the user meant
// to read, so the conversion is refused before anything is read.
#ifndef PNCONV_SAME_FILE_H
#define PNCONV_SAME_FILE_H

#include <optional>
#include <string>

#include "options.h"

namespace pnconv {

// Names a file the conversion writes and a file it reads that are one file.
struct SameFile {
  std::string output, input;
};

// The first file written (the output; a matrix output's reference file when
// withReference) that is a file read (the input; a matrix input's reference
// file): the same device and inode, whatever the names ("-" is the standard
// stream). Nothing when none is.
std::optional<SameFile> OutputThatIsInput(const Options& options, bool withReference);

}  // namespace pnconv

#endif
