// SPDX-License-Identifier: MIT
// Model workspaces, private directories and the files the host stand-in
// reads.
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

// Reads the whole regular file at path. A FIFO or a device is refused without
// being opened for good, so that a name given by a tool cannot make the
// stand-in wait.
bool ReadRegularFile(const std::string& path, std::string* content, std::string* error);

// The absolute form of path (relative to the current directory).
std::string Absolute(const std::string& path);

}  // namespace qxhost

#endif
