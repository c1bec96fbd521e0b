// SPDX-License-Identifier: MIT
#include "net_check.h"

#include <random>

#include "pep_reader.h"
#include "pnml_reader.h"

namespace pnconvtest {

std::string Dump(const netfmt::Net& net, bool ids) {
  std::string text;
  auto node = [&](int i) {
    text += '[';
    if (ids) text += std::string(net.id(i)) + ' ';
    text += std::string(net.name(i)) + ']';
  };
  for (int p = 0; p < net.places(); ++p) {
    text += "place ";
    node(p);
    text += " " + std::to_string(net.tokens(p)) + "\n";
  }
  for (int t = 0; t < net.transitions(); ++t) {
    text += "transition ";
    node(net.places() + t);
    text += " in";
    for (const auto& a : net.inputs(t)) text += " " + std::to_string(a.place) + "*" + std::to_string(a.weight);
    text += " out";
    for (const auto& a : net.outputs(t)) text += " " + std::to_string(a.place) + "*" + std::to_string(a.weight);
    text += "\n";
  }
  return text;
}

std::optional<netfmt::Net> Pnml(const std::string& text, netfmt::Problem* problem, const std::string& netId) {
  return netfmt::ReadPnml(netfmt::FromText(text), netfmt::PnmlOptions{netId}, problem);
}

std::optional<netfmt::Net> Pep(const std::string& text, netfmt::Problem* problem) {
  return netfmt::ReadPep(netfmt::FromText(text), problem);
}

netfmt::Net RandomNet(uint32_t seed, int places, int transitions, bool weights) {
  std::mt19937 random(seed);
  netfmt::NetBuilder builder;
  for (int p = 0; p < places; ++p) {
    const int32_t tokens = static_cast<int32_t>(random() % (weights ? 4 : 2));
    builder.AddPlace("p" + std::to_string(p), "place_" + std::to_string(p), tokens, {});
  }
  for (int t = 0; t < transitions; ++t) builder.AddTransition("t" + std::to_string(t), "fire" + std::to_string(t), {});
  for (int t = 0; t < transitions; ++t) {
    for (int p = 0; p < places; ++p) {
      const unsigned roll = random() % 8;
      const int32_t w = weights ? static_cast<int32_t>(1 + random() % 3) : 1;
      const std::string ps = "p" + std::to_string(p), ts = "t" + std::to_string(t);
      if (roll == 0 || roll == 2) builder.AddArc({}, ps, ts, w, {});
      if (roll == 1 || roll == 2) builder.AddArc({}, ts, ps, w, {});
    }
  }
  return *builder.Freeze();
}

}  // namespace pnconvtest
