// SPDX-License-Identifier: MIT
#include "matrix_writer.h"

#include <vector>

#include "file_pair.h"

namespace netfmt {

std::string MatrixRefusal(const Net& net) {
  const uint64_t cells = static_cast<uint64_t>(net.places()) * static_cast<uint64_t>(net.transitions());
  if (cells > kMaxMatrixCells) {
    return "a matrix file of " + std::to_string(net.places()) + " places x " + std::to_string(net.transitions()) +
           " transitions passes the limit of " + std::to_string(kMaxMatrixCells) + " cells";
  }
  const std::string reason =
      ", more than the matrix format holds (varnost reads values up to " + std::to_string(kMaxMatrixValue) + ")";
  for (int p = 0; p < net.places(); ++p) {
    if (net.tokens(p) > kMaxMatrixValue) {
      return "place \"" + std::string(net.id(p)) + "\" holds " + std::to_string(net.tokens(p)) + " tokens" + reason;
    }
  }
  std::string refusal;
  net.ForEachArc([&](int from, int to, int64_t weight) {
    if (weight <= kMaxMatrixValue || !refusal.empty()) return;
    refusal = "the arc from \"" + std::string(net.id(from)) + "\" to \"" + std::string(net.id(to)) + "\" weighs " +
              std::to_string(weight) + reason;
  });
  return refusal;
}

bool IsRefWord(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '\0') return false;
  }
  return true;
}

namespace {

// Weights by place: row p holds (transition, weight), ascending.
struct PlaceRows {
  std::vector<uint32_t> start;
  std::vector<std::pair<int, int64_t>> cells;
};

PlaceRows ByPlace(const Net& net, bool inputs) {
  PlaceRows rows;
  rows.start.assign(static_cast<size_t>(net.places()) + 1, 0);
  auto arcsOf = [&](int t) { return inputs ? net.inputs(t) : net.outputs(t); };
  for (int t = 0; t < net.transitions(); ++t) {
    for (const WeightedArc& a : arcsOf(t)) ++rows.start[static_cast<size_t>(a.place) + 1];
  }
  for (size_t p = 1; p < rows.start.size(); ++p) rows.start[p] += rows.start[p - 1];
  rows.cells.resize(rows.start.back());
  std::vector<uint32_t> at(rows.start.begin(), rows.start.end() - 1);
  for (int t = 0; t < net.transitions(); ++t) {
    for (const WeightedArc& a : arcsOf(t)) rows.cells[at[static_cast<size_t>(a.place)]++] = {t, a.weight};
  }
  return rows;
}

void PutMatrix(const Net& net, const PlaceRows& rows, OutputFile& out) {
  for (int p = 0; p < net.places(); ++p) {
    size_t c = rows.start[static_cast<size_t>(p)];
    const size_t end = rows.start[static_cast<size_t>(p) + 1];
    for (int t = 0; t < net.transitions(); ++t) {
      if (t > 0) out.Put(' ');
      if (c < end && rows.cells[c].first == t) {
        out.PutInt(rows.cells[c++].second);
      } else {
        out.Put('0');
      }
    }
    out.Put('\n');
  }
}

void PutMatrixFile(const Net& net, OutputFile& out) {
  out.PutInt(net.places());
  out.Put('\n');
  out.PutInt(net.transitions());
  out.Put('\n');
  PutMatrix(net, ByPlace(net, true), out);
  PutMatrix(net, ByPlace(net, false), out);
  for (int p = 0; p < net.places(); ++p) {
    if (p > 0) out.Put(' ');
    out.PutInt(net.tokens(p));
  }
  if (net.places() > 0) out.Put('\n');
}

void PutReference(const Net& net, std::string_view title, OutputFile& out) {
  const size_t end = title.find_first_of(std::string_view("\n\r\0", 3));
  title = title.substr(0, std::min<size_t>(end, 200));
  out.Put(title);
  out.Put('\n');
  for (int i = 0; i < net.nodes(); ++i) {
    out.PutInt(i + 1);
    out.Put('\n');
  }
  for (int i = 0; i < net.nodes(); ++i) {
    const std::string_view name = IsRefWord(net.name(i)) ? net.name(i) : net.id(i);
    out.PutInt(static_cast<long long>(name.size()));
    out.Put(' ');
    out.Put(name);
    out.Put('\n');
  }
}

}  // namespace

bool WriteMatrix(const Net& net, OutputFile& out) {
  if (!out.ok()) return false;
  PutMatrixFile(net, out);
  return out.Commit();
}

bool WriteReference(const Net& net, std::string_view title, OutputFile& out) {
  if (!out.ok()) return false;
  PutReference(net, title, out);
  return out.Commit();
}

bool WriteMatrixAndReference(const Net& net, std::string_view title, OutputFile& matrix, OutputFile& ref) {
  if (!matrix.ok() || !ref.ok()) return false;
  PutMatrixFile(net, matrix);
  PutReference(net, title, ref);
  return outfile::CommitTogether(matrix, ref);
}

}  // namespace netfmt
