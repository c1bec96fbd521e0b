// SPDX-License-Identifier: MIT
// Oracles the net-format fuzz targets share: the frozen net's invariants,
// and a net written by one of the module's writers and read back.
#ifndef QUARNEL_FUZZ_NET_FUZZ_CHECK_H
#define QUARNEL_FUZZ_NET_FUZZ_CHECK_H

#include <functional>
#include <optional>
#include <string>

#include "net.h"
#include "writer_output.h"

namespace qxfuzz {

// Aborts unless every arc list ascends strictly by place, within range, with
// weights of 1 or more, every token count is 0 or more, and every id is
// non-empty.
void CheckNet(const netfmt::Net& net);

// The structure of the net as text: counts, and per transition its input and
// output places with weights; tokens.
std::string Structure(const netfmt::Net& net);

// Writes with `write` into a scratch file and returns its bytes.
std::string WriteToScratch(const std::function<bool(netfmt::OutputFile&)>& write);

// Writes the net as PNML and reads it back; aborts unless it reads back as a
// net of the same structure, which it returns.
netfmt::Net PnmlRoundTrip(const netfmt::Net& net);

}  // namespace qxfuzz

#endif
