// SPDX-License-Identifier: MIT
#include "xml_tree.h"

namespace netfmt::symmetric {

std::string_view LocalName(const char* name) {
  const std::string_view all(name);
  const size_t colon = all.rfind(':');
  return colon == std::string_view::npos ? all : all.substr(colon + 1);
}

void XmlTree::Open(const char* name, const char** atts, Where where) {
  const auto e = static_cast<uint32_t>(elements_.size());
  Element element;
  element.name = LocalName(name);
  for (; atts[0] != nullptr; atts += 2) element.attributes.emplace_back(LocalName(atts[0]), atts[1]);
  element.where = where;
  elements_.push_back(std::move(element));
  if (!open_.empty()) {
    Open_& parent = open_.back();
    if (parent.lastChild == kNone) {
      elements_[parent.element].firstChild = e;
    } else {
      elements_[parent.lastChild].nextSibling = e;
    }
    parent.lastChild = e;
  }
  open_.push_back(Open_{e, kNone});
}

void XmlTree::Close() {
  if (!open_.empty()) open_.pop_back();
}

void XmlTree::Text(const char* text, size_t size) {
  if (open_.empty()) return;
  Element& element = elements_[open_.back().element];
  if (element.name == "text") element.text.append(text, size);
}

void XmlTree::Clear() {
  std::vector<Element>().swap(elements_);
  open_.clear();
}

const std::string* XmlTree::Attribute(uint32_t e, std::string_view name) const {
  for (const auto& [key, value] : elements_[e].attributes) {
    if (key == name) return &value;
  }
  return nullptr;
}

uint32_t XmlTree::Child(uint32_t e, std::string_view name) const {
  for (uint32_t c = FirstChild(e); c != kNone; c = Next(c)) {
    if (elements_[c].name == name) return c;
  }
  return kNone;
}

}  // namespace netfmt::symmetric
