// SPDX-License-Identifier: MIT
// The DOT writer: a picture of the net for Graphviz. Places are circles
// labelled with their name and, when marked, their token count; transitions
// are boxes labelled with their name; arcs of weight above 1 carry it.
#ifndef NETFMT_DOT_WRITER_H
#define NETFMT_DOT_WRITER_H

#include "net.h"
#include "writer_output.h"

namespace netfmt {

// Nodes above which a drawing is rarely readable; the file is written
// anyway.
constexpr int kDotReadableNodes = 500;

bool WriteDot(const Net& net, OutputFile& out);

}  // namespace netfmt

#endif
