// SPDX-License-Identifier: MIT
// The PEP reader, from a whole file in memory. A net that was read is written
// back as PEP (with read arcs) and read again.
//
// Oracles: a refusal has a message; a net keeps the frozen net's invariants;
// the PEP file the writer makes of it reads back as the same structure,
// weights and token counts included.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "net_fuzz_check.h"
#include "net_lists_of.h"
#include "pep_reader.h"
#include "pep_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  netfmt::Problem problem;
  const auto net = netfmt::ReadPep(netfmt::FromText(text), &problem);
  if (!net) {
    if (problem.message.empty()) qxfuzz::Fail("a refusal without a message");
    return 0;
  }
  qxfuzz::CheckNet(*net);
  // Names as pnconv gives them.
  uint64_t replaced = 0;
  const std::vector<std::string_view> names = netfmt::PepNames(*net, false, &replaced);
  const std::string written = qxfuzz::WriteToScratch(
      [&](netfmt::OutputFile& out) { return netfmt::WritePep(netfmt::NetListsOf(*net, names, true), out); });
  const auto back = netfmt::ReadPep(netfmt::FromText(written), &problem);
  if (!back) qxfuzz::Fail("the written PEP file does not read back");
  if (qxfuzz::Structure(*back) != qxfuzz::Structure(*net)) {
    qxfuzz::Fail("the written PEP file reads back as another net");
  }
  return 0;
}
