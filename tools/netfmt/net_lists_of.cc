// SPDX-License-Identifier: MIT
#include "net_lists_of.h"

#include <memory>

namespace netfmt {

namespace {

// Rows of ints, one after the other: row r is [start[r], start[r + 1]);
// the weights, when kept, beside them.
struct Rows {
  std::vector<uint32_t> start{0};
  std::vector<int> items;
  std::vector<int64_t> weights;
  void EndRow() { start.push_back(static_cast<uint32_t>(items.size())); }
  std::span<const int> Row(int r) const { return Of(items, r); }
  std::span<const int64_t> WeightRow(int r) const { return Of(weights, r); }

 private:
  template <typename T>
  std::span<const T> Of(const std::vector<T>& all, int r) const {
    const size_t i = static_cast<size_t>(r);
    return std::span<const T>(all.data() + start[i], start[i + 1] - start[i]);
  }
};

struct Lists {
  Rows in, out, reads, placeOut;
};

}  // namespace

NetLists NetListsOf(const Net& net, const std::vector<std::string_view>& names, bool readArcs) {
  auto lists = std::make_shared<Lists>();
  const int transitions = net.transitions();
  // Weights are kept only for a net that has an arc heavier than 1.
  bool heavy = false;
  net.ForEachArc([&](int, int, int64_t weight) { heavy = heavy || weight > 1; });
  // Place-major outputs: counted first, then filled transition by transition,
  // which keeps every row ascending.
  std::vector<uint32_t> count(static_cast<size_t>(net.places()) + 1, 0);
  size_t inputs = 0;
  for (int t = 0; t < transitions; ++t) inputs += net.inputs(t).size();
  lists->in.items.reserve(inputs);
  lists->out.items.reserve(net.arcs() - inputs);
  if (heavy) lists->out.weights.reserve(net.arcs() - inputs);
  for (Rows* rows : {&lists->in, &lists->out, &lists->reads}) rows->start.reserve(static_cast<size_t>(transitions) + 1);
  for (int t = 0; t < transitions; ++t) {
    const auto in = net.inputs(t);
    const auto out = net.outputs(t);
    // Both lists ascend by place: a merge finds the weight-1 loops.
    size_t j = 0;
    for (const WeightedArc& a : in) {
      while (j < out.size() && out[j].place < a.place) ++j;
      const bool read = readArcs && a.weight == 1 && j < out.size() && out[j].place == a.place &&
                        out[j].weight == 1;
      (read ? lists->reads : lists->in).items.push_back(a.place);
      if (!read) ++count[static_cast<size_t>(a.place) + 1];
    }
    j = 0;
    const auto reads = std::span<const int>(lists->reads.items).subspan(lists->reads.start.back());
    for (const WeightedArc& a : out) {
      while (j < reads.size() && reads[j] < a.place) ++j;
      if (j < reads.size() && reads[j] == a.place) continue;
      lists->out.items.push_back(a.place);
      if (heavy) lists->out.weights.push_back(a.weight);
    }
    lists->in.EndRow();
    lists->out.EndRow();
    lists->reads.EndRow();
  }
  Rows& po = lists->placeOut;
  po.start.assign(count.begin(), count.end());
  for (size_t p = 1; p < po.start.size(); ++p) po.start[p] += po.start[p - 1];
  po.items.resize(po.start.back());
  if (heavy) po.weights.resize(po.start.back());
  std::vector<uint32_t> at(po.start.begin(), po.start.end() - 1);
  for (int t = 0; t < transitions; ++t) {
    // The net's input arcs but the read ones, with their weights.
    const std::span<const int> reads = lists->reads.Row(t);
    size_t j = 0;
    for (const WeightedArc& a : net.inputs(t)) {
      while (j < reads.size() && reads[j] < a.place) ++j;
      if (j < reads.size() && reads[j] == a.place) continue;
      const uint32_t to = at[static_cast<size_t>(a.place)]++;
      po.items[to] = t;
      if (heavy) po.weights[to] = a.weight;
    }
  }

  NetLists result;
  result.places = net.places();
  result.transitions = transitions;
  result.name = [&names](int node) { return names[static_cast<size_t>(node)]; };
  result.tokens = [&net](int p) { return net.tokens(p); };
  result.transitionInputs = [lists](int t) { return lists->in.Row(t); };
  result.transitionOutputs = [lists](int t) { return lists->out.Row(t); };
  result.placeOutputs = [lists](int p) { return lists->placeOut.Row(p); };
  if (readArcs) result.transitionReads = [lists](int t) { return lists->reads.Row(t); };
  if (heavy) {
    result.transitionOutputWeights = [lists](int t) { return lists->out.WeightRow(t); };
    result.placeOutputWeights = [lists](int p) { return lists->placeOut.WeightRow(p); };
  }
  return result;
}

}  // namespace netfmt
