// SPDX-License-Identifier: MIT
// The declarations of a symmetric net (sorts, constants, partitions,
// variables) read from the element tree, and the reading of a sort wherever
// one is written. A refusal is thrown as a ReadError and caught by
// ReadSymmetricNet.
#ifndef NETFMT_SYMMETRIC_DECLARATIONS_H
#define NETFMT_SYMMETRIC_DECLARATIONS_H

#include <string>
#include <unordered_map>
#include <vector>

#include "symmetric_net.h"
#include "xml_tree.h"

namespace netfmt::symmetric {

struct ReadError {
  Problem problem;
};

// Throws the refusal of element e: "<name>: message" at its position.
[[noreturn]] void Refuse(const XmlTree& tree, uint32_t e, const std::string& message);

// The quoted text, for messages.
std::string Quote(const std::string& text);

struct Declarations {
  struct Constant {
    const Sort* sort;
    Colour colour;
  };
  struct Variable {
    std::string id;
    const Sort* sort;
  };
  const Sort* dot = nullptr;
  const Sort* boolean = nullptr;
  std::unordered_map<std::string, const Sort*> sorts;  // named sorts and partitions by id
  std::unordered_map<std::string, Constant> constants;  // enumeration constants, partition elements
  std::vector<Variable> variables;                      // in the order declared
  std::unordered_map<std::string, uint32_t> variableIndex;
};

// Reads every declaration of the net element `net` and of its pages; sorts
// are kept in out->sorts.
Declarations ReadDeclarations(const XmlTree& tree, uint32_t net, SymmetricNet* out);

// The sort element e names: a declared sort (usersort), dot or bool.
const Sort* ReadSort(const XmlTree& tree, uint32_t e, const Declarations& declarations);

// The element children of e that hold terms: the content of each <subterm>
// (or the element itself when it is not a subterm).
std::vector<uint32_t> Subterms(const XmlTree& tree, uint32_t e);

// The one element inside e (a label's <structure>, a subterm); refused when
// there is none.
uint32_t OnlyChild(const XmlTree& tree, uint32_t e);

}  // namespace netfmt::symmetric

#endif
