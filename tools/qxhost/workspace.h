// Model workspaces and private directories of the host stand-in.
#ifndef QUARNEL_TOOLS_QXHOST_WORKSPACE_H
#define QUARNEL_TOOLS_QXHOST_WORKSPACE_H

#include <string>

namespace qxhost {

// Makes dir a model workspace: creates QX_MNGR and writes qx_basic_info and
// QX_MNGR/.formalism where they are missing; existing files are kept as they
// are. Returns false with a message on failure.
bool PrepareWorkspace(const std::string& dir, std::string* error);

// A fresh directory under $TMPDIR (or /tmp) whose name starts with prefix;
// empty with a message on failure.
std::string MakeTempDir(const char* prefix, std::string* error);

// Removes dir and everything under it (symbolic links are not followed).
void RemoveTree(const std::string& dir);

// The absolute form of path (relative to the current directory).
std::string Absolute(const std::string& path);

}  // namespace qxhost

#endif
