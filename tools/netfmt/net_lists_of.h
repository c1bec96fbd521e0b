// SPDX-License-Identifier: MIT
// The lists the PEP and PROD writers read, made from a frozen Net.
#ifndef NETFMT_NET_LISTS_OF_H
#define NETFMT_NET_LISTS_OF_H

#include <string_view>
#include <vector>

#include "net.h"
#include "net_lists.h"

namespace netfmt {

// The lists of `net`. `names` gives node i's written name (empty: the
// format's default); it must outlive the lists, as must the net. With
// `readArcs`, an arc from a place to a transition and one back, both of
// weight 1, become one read arc, and the lists carry transitionReads. Token
// counts are the net's, and the lists carry the weights when an arc is
// heavier than 1. Throws std::bad_alloc.
NetLists NetListsOf(const Net& net, const std::vector<std::string_view>& names, bool readArcs);

}  // namespace netfmt

#endif
