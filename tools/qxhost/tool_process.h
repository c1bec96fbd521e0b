// SPDX-License-Identifier: MIT
// Finding and starting the programs the stand-in runs: the tool, and
// Graphviz's dot for a drawn model.
#ifndef QUARNEL_TOOLS_QXHOST_TOOL_PROCESS_H
#define QUARNEL_TOOLS_QXHOST_TOOL_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace qxhost {

// The absolute path of the program the caller means by name, taken from the
// caller's current directory: a path with a slash as it stands, a bare name
// searched in PATH as the shell searches it (an empty entry is the current
// directory; the first regular file the caller may execute). Empty when a
// bare name is not found; *denied (when given) then says whether a file of
// that name was found that the caller may not execute.
std::string FindProgram(const std::string& name, bool* denied = nullptr);

// Standard input of a started program: kInheritInput keeps the stand-in's,
// kNullInput reads /dev/null; any other value is a descriptor to read.
constexpr int kInheritInput = -1;
constexpr int kNullInput = -2;

// Starts the program args[0] (an absolute path) with args in dir, standard
// input as stdin_fd says and standard output on stdout_fd. Returns the child's
// pid, or -1 with a message when it could not start its program.
pid_t StartProgram(const std::vector<std::string>& args, const std::string& dir, int stdin_fd,
                   int stdout_fd, std::string* error);

// Closes *fd when it is open and marks it closed (-1).
void CloseFd(int* fd);

}  // namespace qxhost

#endif
