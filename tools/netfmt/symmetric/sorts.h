// SPDX-License-Identifier: MIT
// The sorts (colour domains) of a symmetric net and the colours they hold.
//
// Every sort is finite. Its colours are numbered 0..size-1 in the order of
// declaration (an enumeration's constants as listed, an integer range from
// its start, false before true); a colour of a product sort is the
// mixed-radix number of its components, the first the most significant, so
// that the numbers order tuples as their components do.
#ifndef NETFMT_SYMMETRIC_SORTS_H
#define NETFMT_SYMMETRIC_SORTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace netfmt::symmetric {

using Colour = uint64_t;

// Sorts larger than this are refused: products of them would not be
// numbered in 64 bits, and no unfolding of one could be held anyway.
constexpr uint64_t kMaxSortSize = uint64_t{1} << 40;

enum class SortKind : uint8_t { kDot, kBool, kEnumeration, kRange, kProduct, kPartition };

struct Sort {
  SortKind kind = SortKind::kDot;
  std::string id;  // the declaration's id; empty for a sort given in place
  bool cyclic = false;                 // kEnumeration: a cyclic one
  std::vector<std::string> constants;  // kEnumeration: the constants' ids
  int64_t first = 0, last = 0;         // kRange: the bounds
  std::vector<const Sort*> components;  // kProduct
  std::vector<uint64_t> strides;        // kProduct: of each component
  // kPartition: the sort it divides, its elements' ids and the element of
  // each colour of that sort.
  const Sort* base = nullptr;
  std::vector<std::string> elements;
  std::vector<uint32_t> elementOf;
  uint64_t size = 1;

  // Whether colours of the sort can be compared by order.
  bool Ordered() const {
    return kind == SortKind::kEnumeration || kind == SortKind::kRange || kind == SortKind::kBool ||
           kind == SortKind::kPartition;
  }
  // Component i of colour c of a product sort.
  Colour Component(Colour c, size_t i) const { return c / strides[i] % components[i]->size; }
};

// Numbers the colours of a product sort from its components: its strides
// and size. False when it would have more than kMaxSortSize colours.
bool NumberProduct(Sort* product);

// Whether colours of one sort are colours of the other: the same declared
// sort, or two integer ranges with the same bounds, or dot, or bool, or
// products of such sorts.
bool SameSort(const Sort* a, const Sort* b);

// How the sort is called in messages: its id, or its kind.
std::string SortName(const Sort& sort);

// Appends the text colour c has in unfolded ids: an enumeration constant's
// id, an integer, false/true, dot; a tuple's components joined by '_'.
void AppendColourText(const Sort& sort, Colour c, std::string* out);

}  // namespace netfmt::symmetric

#endif
