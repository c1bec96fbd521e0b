// SPDX-License-Identifier: MIT
// The PEP low-level net writer ("FORMAT_N"), the only one of the package:
// header, places with their marking flag, transitions, the arcs from
// transitions to places (TP) and from places to transitions (PT), and, when
// the lists carry them, read arcs (RA). Every node stands at 50@50. PEP holds
// neither weights nor token counts: a marked place is written "M1".
#ifndef NETFMT_PEP_WRITER_H
#define NETFMT_PEP_WRITER_H

#include <string_view>

#include "net_lists.h"
#include "writer_output.h"

namespace netfmt {

// The quote a name is written between: '"', or '\'' for a name holding a
// double quote. 0 when it holds both: PEP names have no escapes.
char PepQuote(std::string_view name);

// Writes the net and commits the file: true when it is complete. REQUIRES:
// every name the lists give has a PepQuote and no line break.
bool WritePep(const NetLists& net, OutputFile& out);

}  // namespace netfmt

#endif
