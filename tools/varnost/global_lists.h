// SPDX-License-Identifier: MIT
// The net globals as the writers of the net-format module read them.
#ifndef VARNOST_GLOBAL_LISTS_H
#define VARNOST_GLOBAL_LISTS_H

#include "net_lists.h"

namespace varnost {

// The lists of the net the reader left in the globals. With `names`, node
// names are the reference names (NameObj), else the writers' defaults. The
// lists read the globals when called: they must stay as they are while the
// lists are used. Throws std::bad_alloc.
netfmt::NetLists GlobalLists(bool names);

}  // namespace varnost

#endif
