// SPDX-License-Identifier: MIT
// The symmetric net reader: a net element recorded as an XmlTree, read into
// a SymmetricNet.
//
// Read: the declarations (namedsort of dot, bool, finiteenumeration,
// cyclicenumeration, finiteintrange, productsort or another sort; partition;
// variabledecl), places with their sort (type) and hlinitialMarking,
// transitions with their condition, arcs with their hlinscription, reference
// nodes, pages. A place without a sort holds dots, and then its
// place/transition labels (initialMarking, an arc's inscription) count them.
// Graphics, tool-specific sections and names are passed over. Anything else
// inside a label is refused, named, with its position.
#ifndef NETFMT_SYMMETRIC_NET_READER_H
#define NETFMT_SYMMETRIC_NET_READER_H

#include <optional>

#include "symmetric_net.h"
#include "xml_tree.h"

namespace netfmt::symmetric {

// The net of element `net`, or nothing with *problem set.
std::optional<SymmetricNet> ReadSymmetricNet(const XmlTree& tree, uint32_t net, Problem* problem);

}  // namespace netfmt::symmetric

#endif
