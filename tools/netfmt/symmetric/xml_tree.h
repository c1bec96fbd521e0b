// SPDX-License-Identifier: MIT
// The elements of one net of a PNML document, kept as a small tree while the
// document is parsed, for the symmetric net reader, which needs a net's
// declarations (given anywhere in it) before its places and arcs mean
// anything.
//
// Element names (without namespace prefix), attributes and positions are
// kept, and the content of <text> elements (a place/transition label among
// symmetric ones); the symmetric labels say everything in their structure.
#ifndef NETFMT_SYMMETRIC_XML_TREE_H
#define NETFMT_SYMMETRIC_XML_TREE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net.h"

namespace netfmt::symmetric {

class XmlTree {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Element {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;  // of a <text> element
    Where where;
    uint32_t firstChild = kNone;
    uint32_t nextSibling = kNone;
  };

  // Building, in document order: Open an element (the first is the root),
  // Close it. `atts` is expat's list: name, value, ..., null.
  void Open(const char* name, const char** atts, Where where);
  void Close();
  // Character data, kept when the open element is a <text>.
  void Text(const char* text, size_t size);
  size_t size() const { return elements_.size(); }
  // The elements open.
  size_t depth() const { return open_.size(); }
  void Clear();

  const Element& at(uint32_t e) const { return elements_[e]; }
  // The attribute's value, or null when absent.
  const std::string* Attribute(uint32_t e, std::string_view name) const;
  // The first child named `name`, or kNone.
  uint32_t Child(uint32_t e, std::string_view name) const;
  // The children in order: for (uint32_t c = FirstChild(e); c != kNone; c = Next(c)).
  uint32_t FirstChild(uint32_t e) const { return elements_[e].firstChild; }
  uint32_t Next(uint32_t e) const { return elements_[e].nextSibling; }

 private:
  std::vector<Element> elements_;
  struct Open_ {
    uint32_t element;
    uint32_t lastChild;
  };
  std::vector<Open_> open_;
};

// The part of an XML name after its namespace prefix.
std::string_view LocalName(const char* name);

}  // namespace netfmt::symmetric

#endif
