// SPDX-License-Identifier: MIT
// Reading the Pre and Post matrices of a regular file with several threads.
//
// The text is cut into parts of a fixed size, numbered in file order, which
// the threads take as they come free. Every part is read from the file and
// converted by its thread into the values it holds, counted from the start of
// the part; the tokens of a part are those that start in its byte range, the
// last one read to its end past the range. A converted part waits for the
// part before it to be placed, is placed after it (its count tells where the
// next part's values land), and then stored by its own thread into the
// matrices and the arc list while the next parts are placed. A part is
// accepted only when nothing in it needs the one-thread reader's judgement:
// no NUL byte, no end of the data, no value out of range, no token longer
// than the reach past its range, and no value past the matrices. At the first
// part that is not, the parts stop, no later part is stored, and the
// one-thread reader goes on from the end of the last part accepted: faults
// are therefore found and reported by that reader alone, in file order, and
// the result does not depend on the number of threads or the size of the
// parts.
#ifndef VARNOST_MATRIX_PARTS_H
#define VARNOST_MATRIX_PARTS_H

#include <cstddef>
#include <cstdint>

#include "arc_list.h"

namespace varnost {

// How the matrices are read. The defaults suit the tool; tests force the
// others to compare every way with the plain one.
struct MatrixReading {
  // Threads for the parts; 0: one per core, at most kMaxThreads. A forced 1
  // reads in parts without any other thread.
  unsigned threads = 0;
  // Bytes of a part (1 to kMaxPartBytes).
  size_t partBytes = size_t{1} << 19;
  // How far past its range a part reads to finish its last token (at least 1).
  size_t tokenReach = 4096;
  // Files with fewer bytes left after the counts are read by one thread, with
  // no thread started.
  uint64_t minBytes = uint64_t{1} << 20;
  // One token at a time with no fast path and no parts: the reference reading.
  bool plain = false;

  static constexpr unsigned kMaxThreads = 8;
  static constexpr size_t kMaxPartBytes = size_t{1} << 28;
};

// The reading the next nets are read with (the values are brought within
// their bounds). Not meant to change while a net is read.
void SetMatrixReading(const MatrixReading& reading);
const MatrixReading& CurrentMatrixReading();

// The threads for the parts under `reading` (at least 1); 0 when the parts are
// not to be used at all.
unsigned PartThreads(const MatrixReading& reading);

struct MatrixCells {
  int** pre;
  int** post;
  uint64_t places;
  uint64_t transitions;  // > 0
};

struct PartsProgress {
  uint64_t taken = 0;       // values read and stored, from the first
  uint64_t offset = 0;      // where the one-thread reader goes on
};

// Reads at most `count` matrix values from offset `offset` of the regular
// file `fd` (a token boundary) with `threads` threads, storing them into
// `cells` and appending their arcs to `arcs`, for as long as parts are
// accepted. The one-thread reader then takes the rest from progress.offset:
// its first token is the value number progress.taken.
PartsProgress ReadMatrixParts(int fd, uint64_t offset, uint64_t count, const MatrixCells& cells,
                              ArcList& arcs, unsigned threads, const MatrixReading& reading);

}  // namespace varnost

#endif
