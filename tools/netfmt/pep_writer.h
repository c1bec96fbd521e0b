// SPDX-License-Identifier: MIT
// The PEP low-level net writer ("FORMAT_N"), the only one of the package:
// header, places with their token counts, transitions, the arcs from
// transitions to places (TP) and from places to transitions (PT), and, when
// the lists carry them, read arcs (RA). Every node stands at 50@50. A place
// with tokens ends its line with "M<n>" ("M1" for one token); an arc of
// weight n above 1 with the field "w<n>" ("1<2w3"), as the unfolders read
// them. Lists with no count above 1 and no weights give the file of a
// writer that knows neither.
#ifndef NETFMT_PEP_WRITER_H
#define NETFMT_PEP_WRITER_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "net.h"
#include "net_lists.h"
#include "writer_output.h"

namespace netfmt {

// The quote a name is written between: '"', or '\'' for a name holding a
// double quote. 0 when it holds both: PEP names have no escapes.
char PepQuote(std::string_view name);

// The names a net's PEP file gives its nodes (empty: the default name "P1",
// "T1", ...), each one a PEP line can hold. *replaced counts the names that
// could not be kept. A matrix net (`matrix`) follows the converter's rule,
// so that the file is varnost's: every name, or the default names for all
// when one name holds both quotes. Other nets: the node's name, or its id
// when it has none or PEP cannot hold it (both quotes, or a line break), or
// the default name when PEP cannot hold the id either.
std::vector<std::string_view> PepNames(const Net& net, bool matrix, uint64_t* replaced);

// Writes the net and commits the file: true when it is complete. REQUIRES:
// every name the lists give has a PepQuote and no line break.
bool WritePep(const NetLists& net, OutputFile& out);

}  // namespace netfmt

#endif
