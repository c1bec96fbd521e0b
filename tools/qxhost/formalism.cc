// SPDX-License-Identifier: MIT
#include "formalism.h"

#include <algorithm>

#include "quarnel/QXModel.h"
#include "workspace.h"

namespace qxhost {

std::string WorkspaceFormalism(const std::string& workspace) {
  std::string content;
  std::string error;
  if (!ReadRegularFile(workspace + "/QX_MNGR/.formalism", &content, &error)) return {};
  content = content.substr(0, content.find('\n'));
  const size_t end = content.find_last_not_of(" \t\r");
  return end == std::string::npos ? std::string() : content.substr(0, end + 1);
}

std::vector<std::string> FormalismKinds(const std::string& formalism) {
  std::vector<std::string> kinds;
  for (const QxDefaultStruct* row = QxDefaultStructTab; row->pFormalismInternalName != nullptr;
       ++row) {
    if (formalism != row->pFormalismInternalName) continue;
    if (std::find(kinds.begin(), kinds.end(), row->qxObjectName) == kinds.end())
      kinds.emplace_back(row->qxObjectName);
  }
  return kinds;
}

}  // namespace qxhost
