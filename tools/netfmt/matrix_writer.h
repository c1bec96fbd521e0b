// SPDX-License-Identifier: MIT
// The matrix writer: the matrix file the converter reads (the counts, the Pre
// and Post matrices with exact weights, the token counts on one line) and its
// reference file (a title line, object numbers, names).
#ifndef NETFMT_MATRIX_WRITER_H
#define NETFMT_MATRIX_WRITER_H

#include <cstdint>
#include <string>
#include <string_view>

#include "net.h"
#include "writer_output.h"

namespace netfmt {

// The most places x transitions a matrix file is written for: each matrix
// then takes at least 200 MB of text. Larger nets are refused before
// anything is written.
constexpr uint64_t kMaxMatrixCells = 100'000'000;

// The largest token count or weight the format holds: varnost reads every
// value of a matrix file as a 32-bit integer.
constexpr int64_t kMaxMatrixValue = INT32_MAX;

// Why a matrix file cannot hold the net, or empty when it can: more cells
// than kMaxMatrixCells, or a value above kMaxMatrixValue (the first place by
// index, else the first arc in the net's arc order, named by its ids).
std::string MatrixRefusal(const Net& net);

// Whether the reference file holds `name` as it stands: one word, no white
// space and no NUL. Other names (the empty one too) are written as the
// node's id.
bool IsRefWord(std::string_view name);

// Writes the matrix file and commits it. REQUIRES: MatrixRefusal(net) is
// empty.
bool WriteMatrix(const Net& net, OutputFile& out);

// Writes the reference file (title: `title`, cut to one line of at most 200
// bytes; places numbered 1..P, transitions P+1..P+T) and commits it.
bool WriteReference(const Net& net, std::string_view title, OutputFile& out);

// Both files, which belong together: each is composed whole, then they
// replace their targets together or not at all (outfile::CommitTogether).
// False when either fails; error() of the one at fault says why.
bool WriteMatrixAndReference(const Net& net, std::string_view title, OutputFile& matrix, OutputFile& ref);

}  // namespace netfmt

#endif
