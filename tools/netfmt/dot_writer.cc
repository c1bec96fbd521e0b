// SPDX-License-Identifier: MIT
#include "dot_writer.h"

#include <string>

#include "text_util.h"

namespace netfmt {

namespace {

// A DOT string's content: quotes and backslashes escaped, line ends as \n.
std::string DotText(std::string_view text) {
  const std::string utf8 = AsUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  for (const char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c != '\r') {
      out += c;
    }
  }
  return out;
}

void PutNodeName(OutputFile& out, const Net& net, int node) {
  const bool place = node < net.places();
  out.Put(place ? 'p' : 't');
  out.PutInt(place ? node : node - net.places());
}

}  // namespace

bool WriteDot(const Net& net, OutputFile& out) {
  if (!out.ok()) return false;
  out.Put("digraph net {\n  rankdir=LR;\n");
  for (int i = 0; i < net.nodes(); ++i) {
    const bool place = i < net.places();
    out.Put("  ");
    PutNodeName(out, net, i);
    out.Put(place ? " [shape=circle, label=\"" : " [shape=box, label=\"");
    out.Put(DotText(net.name(i).empty() ? net.id(i) : net.name(i)));
    if (place && net.tokens(i) > 0) {
      out.Put("\\n");
      out.PutInt(net.tokens(i));
    }
    out.Put("\"];\n");
  }
  auto putArc = [&](int from, int to, int64_t weight) {
    out.Put("  ");
    PutNodeName(out, net, from);
    out.Put(" -> ");
    PutNodeName(out, net, to);
    if (weight > 1) {
      out.Put(" [label=\"");
      out.PutInt(weight);
      out.Put("\"]");
    }
    out.Put(";\n");
  };
  net.ForEachArc(putArc);
  out.Put("}\n");
  return out.Commit();
}

}  // namespace netfmt
