// SPDX-License-Identifier: MIT
// Shared pieces of the end-to-end tests: model workspaces and runs under the
// host stand-in.
#ifndef QUARNEL_TESTS_E2E_E2E_SUPPORT_H
#define QUARNEL_TESTS_E2E_E2E_SUPPORT_H

#include <string>
#include <vector>

#include "common/qxtest.h"

namespace e2e {

// A temporary model workspace with qx_basic_info and QX_MNGR/.formalism.
class Workspace {
 public:
  Workspace();
  const std::string& path() const { return dir_.path(); }
  std::string File(const std::string& name) const { return dir_.File(name); }
  std::string LockFile() const { return dir_.File("QX_MNGR/QX_exec_finished.lock"); }

 private:
  qxtest::TempDir dir_;
};

// Runs the host stand-in with its options, the tool and the tool's arguments,
// in the given workspace, with a time limit for the tool well below the test's.
qxtest::ChildResult RunHost(const Workspace& workspace, std::vector<std::string> host_options,
                            const std::string& tool, const std::vector<std::string>& tool_args);

// Whether text is a well-formed XML document, as expat reads it; false with
// the parser's message and position in *error.
bool WellFormedXml(const std::string& text, std::string* error);

}  // namespace e2e

#endif
