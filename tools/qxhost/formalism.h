// SPDX-License-Identifier: MIT
// The formalism of a model workspace and the kinds of objects it defines.
#ifndef QUARNEL_TOOLS_QXHOST_FORMALISM_H
#define QUARNEL_TOOLS_QXHOST_FORMALISM_H

#include <string>
#include <vector>

namespace qxhost {

// The formalism named by the first line of QX_MNGR/.formalism in workspace;
// empty when the file cannot be read.
std::string WorkspaceFormalism(const std::string& workspace);

// The node and edge kinds of formalism as the library's formalism table
// knows them; empty when the table does not know the formalism.
std::vector<std::string> FormalismKinds(const std::string& formalism);

}  // namespace qxhost

#endif
