// SPDX-License-Identifier: MIT
// The PROD net description writer: every place ("#place P1", " mk (<..>)"
// when marked), then every transition with its input and output places.
// Default names only; no weights and no token counts.
#ifndef NETFMT_PROD_WRITER_H
#define NETFMT_PROD_WRITER_H

#include "net_lists.h"
#include "writer_output.h"

namespace netfmt {

// Writes the net and commits the file: true when it is complete.
bool WriteProd(const NetLists& net, OutputFile& out);

}  // namespace netfmt

#endif
