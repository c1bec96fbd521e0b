// SPDX-License-Identifier: MIT
// The PNML reader, from a whole document in memory. A net that was read is
// written back as PNML and read again.
//
// Oracles: a refusal has a message; a net keeps the frozen net's invariants;
// the PNML the writer makes of it reads back as the same structure (counts,
// arcs, weights, tokens) and, when no name needed a replaced character, the
// same names.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "net_fuzz_check.h"
#include "pnml_reader.h"
#include "pnml_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  netfmt::Problem problem;
  const auto net = netfmt::ReadPnml(netfmt::FromText(text), netfmt::PnmlOptions{}, &problem);
  if (!net) {
    if (problem.message.empty()) qxfuzz::Fail("a refusal without a message");
    return 0;
  }
  qxfuzz::CheckNet(*net);
  const netfmt::Net back = qxfuzz::PnmlRoundTrip(*net);
  for (int i = 0; i < net->nodes(); ++i) {
    bool replaced = false;
    netfmt::XmlText(net->name(i), &replaced);
    if (!replaced && back.name(i) != net->name(i)) qxfuzz::Fail("a name changed through PNML");
  }
  return 0;
}
