// SPDX-License-Identifier: MIT
// The symmetric net reader and the unfolder, from a whole PNML document in
// memory: netfmt::ReadPnml unfolds a symmetric net into the place/transition
// net every writer reads. The seeds are small symmetric nets; the dictionary
// holds the words of their declarations and terms.
//
// Oracles: a refusal has a message; the unfolded net keeps the frozen net's
// invariants; the same document read again gives the same net, ids and names
// byte for byte; the PNML written of it reads back as the same structure
// with the same ids. The unfolding is limited to a few thousand places and
// transitions, so that a sort of a billion colours is a quick refusal and
// not a run of minutes.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "net_fuzz_check.h"
#include "pnml_reader.h"
#include "pnml_writer.h"

namespace {

// The structure with every id and name, in node order.
std::string Everything(const netfmt::Net& net) {
  std::string text = qxfuzz::Structure(net);
  for (int i = 0; i < net.nodes(); ++i) {
    text += std::string(net.id(i)) + '\n' + std::string(net.name(i)) + '\n';
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  netfmt::PnmlOptions options;
  options.maxNodes = 5000;
  netfmt::Problem problem;
  const auto net = netfmt::ReadPnml(netfmt::FromText(text), options, &problem);
  if (!net) {
    if (problem.message.empty()) qxfuzz::Fail("a refusal without a message");
    return 0;
  }
  qxfuzz::CheckNet(*net);
  netfmt::Problem again;
  const auto second = netfmt::ReadPnml(netfmt::FromText(text), options, &again);
  if (!second || Everything(*second) != Everything(*net)) qxfuzz::Fail("a second reading gives another net");

  const netfmt::Net back = qxfuzz::PnmlRoundTrip(*net);
  // The writer keeps the ids when every one is an XML name (as an
  // unfolding's are when its document's are).
  bool xmlNames = true;
  for (int i = 0; i < net->nodes(); ++i) xmlNames = xmlNames && netfmt::IsXmlName(net->id(i));
  for (int i = 0; xmlNames && i < net->nodes(); ++i) {
    if (back.id(i) != net->id(i)) qxfuzz::Fail("an id changed through PNML");
  }
  return 0;
}
