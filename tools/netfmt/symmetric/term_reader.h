// SPDX-License-Identifier: MIT
// Reads the terms of a symmetric net's labels into typed Term trees: arc
// inscriptions and markings (multisets of a place's sort) and guards
// (booleans). A term of the wrong sort, an unknown operator, constant or
// variable is refused (a ReadError).
#ifndef NETFMT_SYMMETRIC_TERM_READER_H
#define NETFMT_SYMMETRIC_TERM_READER_H

#include <vector>

#include "declarations.h"

namespace netfmt::symmetric {

class TermReader {
 public:
  TermReader(const XmlTree& tree, const Declarations& declarations, SymmetricNet* net)
      : tree_(tree), d_(declarations), net_(net) {}

  // The multiset of colours of `sort` that element e writes. Its variables
  // (their indices in the declarations) are added to *variables; null: the
  // term may hold none (a marking).
  Term Multiset(uint32_t e, const Sort* sort, std::vector<uint32_t>* variables);
  // The condition element e writes.
  Term Guard(uint32_t e, std::vector<uint32_t>* variables);

 private:
  Term Read(uint32_t e, const Sort* expected);
  Term Comparison(uint32_t e, Op op, bool ordered);
  Term Boolean(uint32_t e);
  const Sort* MakeProduct(uint32_t e, std::vector<const Sort*> components);

  const XmlTree& tree_;
  const Declarations& d_;
  SymmetricNet* net_;
  std::vector<uint32_t>* variables_ = nullptr;
};

// The integer range sort an element <finiteintrange start end> gives.
const Sort* ReadRange(const XmlTree& tree, uint32_t e, SymmetricNet* net);

}  // namespace netfmt::symmetric

#endif
