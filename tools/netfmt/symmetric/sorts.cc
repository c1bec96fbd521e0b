// SPDX-License-Identifier: MIT
#include "sorts.h"

#include <charconv>

namespace netfmt::symmetric {

bool NumberProduct(Sort* product) {
  product->strides.resize(product->components.size());
  uint64_t size = 1;
  for (size_t i = product->components.size(); i-- > 0;) {
    product->strides[i] = size;
    const uint64_t n = product->components[i]->size;
    if (size > kMaxSortSize / n) return false;
    size *= n;
  }
  product->size = size;
  return true;
}

bool SameSort(const Sort* a, const Sort* b) {
  if (a == b) return true;
  if (a->kind != b->kind) return false;
  switch (a->kind) {
    case SortKind::kDot:
    case SortKind::kBool:
      return true;
    case SortKind::kRange:
      return a->first == b->first && a->last == b->last;
    case SortKind::kProduct:
      if (a->components.size() != b->components.size()) return false;
      for (size_t i = 0; i < a->components.size(); ++i) {
        if (!SameSort(a->components[i], b->components[i])) return false;
      }
      return true;
    default:
      return false;
  }
}

std::string SortName(const Sort& sort) {
  if (!sort.id.empty()) return sort.id;
  switch (sort.kind) {
    case SortKind::kDot: return "dot";
    case SortKind::kBool: return "bool";
    case SortKind::kRange: return "finiteintrange " + std::to_string(sort.first) + ".." + std::to_string(sort.last);
    case SortKind::kProduct: {
      std::string name = "(";
      for (size_t i = 0; i < sort.components.size(); ++i) name += (i > 0 ? ", " : "") + SortName(*sort.components[i]);
      return name + ")";
    }
    default: return "a sort without id";
  }
}

void AppendColourText(const Sort& sort, Colour c, std::string* out) {
  switch (sort.kind) {
    case SortKind::kDot:
      out->append("dot");
      return;
    case SortKind::kBool:
      out->append(c != 0 ? "true" : "false");
      return;
    case SortKind::kEnumeration:
      out->append(sort.constants[c]);
      return;
    case SortKind::kRange: {
      char digits[24];
      const auto end = std::to_chars(digits, digits + sizeof digits, sort.first + static_cast<int64_t>(c)).ptr;
      out->append(digits, end);
      return;
    }
    case SortKind::kProduct:
      for (size_t i = 0; i < sort.components.size(); ++i) {
        if (i > 0) out->push_back('_');
        AppendColourText(*sort.components[i], sort.Component(c, i), out);
      }
      return;
    case SortKind::kPartition:
      out->append(sort.elements[c]);
      return;
  }
}

}  // namespace netfmt::symmetric
