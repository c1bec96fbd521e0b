// SPDX-License-Identifier: MIT
// Where a reader's bytes come from: a descriptor (a file, a pipe, standard
// input) or a buffer in memory. The readers take the bytes in chunks and
// never hold the whole input.
#ifndef NETFMT_INPUT_SOURCE_H
#define NETFMT_INPUT_SOURCE_H

#include <cstddef>
#include <functional>
#include <string_view>

namespace netfmt {

// Fills up to `size` bytes at `buf`: the count, 0 at the end of the input,
// -1 on a read error (errno says which).
using ReadSome = std::function<long(char* buf, size_t size)>;

// Reads the descriptor (retrying interrupted reads); the caller keeps it open.
ReadSome FromDescriptor(int fd);
// Reads the bytes of `text`, which must outlive the source.
ReadSome FromText(std::string_view text);

}  // namespace netfmt

#endif
