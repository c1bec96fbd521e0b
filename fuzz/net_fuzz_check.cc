// SPDX-License-Identifier: MIT
#include "net_fuzz_check.h"

#include <fstream>
#include <sstream>
#include <utility>

#include "fuzz_support.h"
#include "input_source.h"
#include "pnml_reader.h"
#include "pnml_writer.h"

namespace qxfuzz {

void CheckNet(const netfmt::Net& net) {
  for (int t = 0; t < net.transitions(); ++t) {
    for (const auto arcs : {net.inputs(t), net.outputs(t)}) {
      for (size_t i = 0; i < arcs.size(); ++i) {
        if (arcs[i].place < 0 || arcs[i].place >= net.places()) Fail("an arc's place is out of range");
        if (i > 0 && arcs[i - 1].place >= arcs[i].place) Fail("a transition's arcs do not ascend");
        if (arcs[i].weight < 1) Fail("a weight below 1");
      }
    }
  }
  for (int p = 0; p < net.places(); ++p) {
    if (net.tokens(p) < 0) Fail("a negative token count");
  }
  for (int i = 0; i < net.nodes(); ++i) {
    if (net.id(i).empty()) Fail("a node without an id");
  }
}

std::string Structure(const netfmt::Net& net) {
  auto value = [](int64_t v) { return std::to_string(v); };
  std::string text = std::to_string(net.places()) + "/" + std::to_string(net.transitions()) + "\n";
  for (int p = 0; p < net.places(); ++p) text += value(net.tokens(p)) + " ";
  text += "\n";
  for (int t = 0; t < net.transitions(); ++t) {
    for (const auto& a : net.inputs(t)) text += std::to_string(a.place) + "*" + value(a.weight) + " ";
    text += "|";
    for (const auto& a : net.outputs(t)) text += std::to_string(a.place) + "*" + value(a.weight) + " ";
    text += "\n";
  }
  return text;
}

std::string WriteToScratch(const std::function<bool(netfmt::OutputFile&)>& write) {
  const std::string path = ScratchDir() + "/net.out";
  {
    netfmt::OutputFile out(path);
    if (!write(out)) Fail("a writer failed on a scratch file");
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

netfmt::Net PnmlRoundTrip(const netfmt::Net& net) {
  const std::string written =
      WriteToScratch([&](netfmt::OutputFile& out) { return netfmt::WritePnml(net, "n", out); });
  netfmt::Problem problem;
  std::optional<netfmt::Net> back = netfmt::ReadPnml(netfmt::FromText(written), netfmt::PnmlOptions{}, &problem);
  if (!back) Fail("the written PNML does not read back");
  if (Structure(*back) != Structure(net)) Fail("the written PNML reads back as another net");
  return std::move(*back);
}

}  // namespace qxfuzz
