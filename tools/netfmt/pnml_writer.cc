// SPDX-License-Identifier: MIT
#include "pnml_writer.h"

#include <vector>

#include "text_util.h"

namespace netfmt {

namespace {

bool NameStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }
bool NameChar(unsigned char c) { return NameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

void PutNumberElement(OutputFile& out, const char* element, int64_t value) {
  out.Put("<");
  out.Put(element);
  out.Put("><text>");
  out.PutInt(value);
  out.Put("</text></");
  out.Put(element);
  out.Put(">");
}

}  // namespace

bool IsXmlName(std::string_view id) {
  if (id.empty() || !NameStart(static_cast<unsigned char>(id[0])) || !IsUtf8(id)) return false;
  for (const char c : id) {
    if (!NameChar(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string XmlText(std::string_view text, bool* replaced) {
  const std::string utf8 = AsUtf8(text);
  std::string out;
  out.reserve(utf8.size() + 8);
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    // U+FFFE and U+FFFF are well-formed UTF-8 but no XML 1.0 character.
    if (c == '\xEF' && i + 2 < utf8.size() && utf8[i + 1] == '\xBF' &&
        (utf8[i + 2] == '\xBE' || utf8[i + 2] == '\xBF')) {
      out += "\xEF\xBF\xBD";
      *replaced = true;
      i += 2;
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\xEF\xBF\xBD";
          *replaced = true;
        } else {
          out += c;
        }
    }
  }
  return out;
}

bool WritePnml(const Net& net, std::string_view netId, OutputFile& out) {
  if (!out.ok()) return false;
  const int nodes = net.nodes();
  bool ownIds = true;
  for (int i = 0; i < nodes && ownIds; ++i) ownIds = IsXmlName(net.id(i));
  // The net's ids when every one is an XML name (the builder made them
  // unique), else p1.., t1..
  std::vector<std::string> numbered;
  if (!ownIds) {
    numbered.reserve(static_cast<size_t>(nodes));
    for (int i = 0; i < nodes; ++i) {
      const bool place = i < net.places();
      numbered.push_back((place ? "p" : "t") + std::to_string(place ? i + 1 : i - net.places() + 1));
    }
  }
  auto idOf = [&](int i) -> std::string_view { return ownIds ? net.id(i) : std::string_view(numbered[static_cast<size_t>(i)]); };
  // Whether a node's id is `text` (whole) or starts with it.
  auto taken = [&](std::string_view text, bool whole) {
    for (int i = 0; i < nodes; ++i) {
      const std::string_view id = idOf(i);
      if (whole ? id == text : id.starts_with(text)) return true;
    }
    return false;
  };
  // The net's id is an id of the document too: it repeats no node's.
  std::string uniqueNetId(netId);
  while (taken(uniqueNetId, true)) uniqueNetId += '_';
  // Arc and page ids: a prefix no node id (nor the net's) has makes every one
  // of them new.
  auto clashes = [&](const std::string& prefix) {
    return std::string_view(uniqueNetId).starts_with(prefix) || taken(prefix, false);
  };
  std::string arcPrefix = "a";
  while (clashes(arcPrefix)) arcPrefix += '_';
  std::string page = "page";
  while (clashes(page)) page += '_';
  page += '0';
  bool replaced = false;

  out.Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<pnml xmlns=\"http://www.pnml.org/version-2009/grammar/pnml\">\n"
          "  <net id=\"");
  out.Put(XmlText(uniqueNetId, &replaced));
  out.Put("\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">\n    <page id=\"");
  out.Put(page);
  out.Put("\">\n");
  for (int i = 0; i < nodes; ++i) {
    const bool place = i < net.places();
    out.Put(place ? "      <place id=\"" : "      <transition id=\"");
    out.Put(idOf(i));
    out.Put("\">");
    if (!net.name(i).empty()) {
      out.Put("<name><text>");
      out.Put(XmlText(net.name(i), &replaced));
      out.Put("</text></name>");
    }
    if (place && net.tokens(i) > 0) PutNumberElement(out, "initialMarking", net.tokens(i));
    out.Put(place ? "</place>\n" : "</transition>\n");
  }
  uint64_t arc = 0;
  auto putArc = [&](int from, int to, int64_t weight) {
    out.Put("      <arc id=\"");
    out.Put(arcPrefix);
    out.PutInt(static_cast<long long>(++arc));
    out.Put("\" source=\"");
    out.Put(idOf(from));
    out.Put("\" target=\"");
    out.Put(idOf(to));
    out.Put("\">");
    if (weight != 1) PutNumberElement(out, "inscription", weight);
    out.Put("</arc>\n");
  };
  net.ForEachArc(putArc);
  out.Put("    </page>\n  </net>\n</pnml>\n");
  return out.Commit();
}

}  // namespace netfmt
