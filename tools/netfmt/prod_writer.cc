// SPDX-License-Identifier: MIT
#include "prod_writer.h"

namespace netfmt {

namespace {

void PutPlaces(OutputFile& out, const char* keyword, std::span<const int> places) {
  if (places.empty()) return;
  out.Put(keyword);
  for (const int p : places) {
    out.Put('P');
    out.PutInt(p + 1);
    out.Put(":<..>;");
  }
  out.Put("}\n");
}

}  // namespace

bool WriteProd(const NetLists& net, OutputFile& out) {
  if (!out.ok()) return false;
  for (int p = 0; p < net.places; ++p) {
    out.Put("#place P");
    out.PutInt(p + 1);
    if (net.tokens(p) > 0) out.Put(" mk (<..>)");
    out.Put('\n');
  }
  for (int t = 0; t < net.transitions; ++t) {
    out.Put("#trans T");
    out.PutInt(t + 1);
    out.Put('\n');
    PutPlaces(out, "in {", net.transitionInputs(t));
    PutPlaces(out, "out {", net.transitionOutputs(t));
    out.Put("#endtr\n");
  }
  return out.Commit();
}

}  // namespace netfmt
