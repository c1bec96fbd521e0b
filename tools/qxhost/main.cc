// SPDX-License-Identifier: MIT
// A stand-in for the Quarnel host: starts a tool the way the host does and
// shows its conversation. See kUsage in options.cc.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "options.h"
#include "quarnel/QXVersion.h"
#include "session.h"
#include "workspace.h"

int main(int argc, char** argv) {
  // Like any host, the stand-in starts its tool as a tool: never with the mark
  // by which the library's launchers tell a program it is their peer (the
  // stand-in may itself have been started by one).
  ::unsetenv("QX_LAUNCHED_PEER");
  qxhost::Options options;
  bool help = false;
  std::string error;
  if (!qxhost::ParseOptions(argc, argv, &options, &help, &error)) {
    // The fault and where to read more: the whole text would bury the one
    // line that matters.
    std::fprintf(stderr, "qxhost: %s\nqxhost: see qxhost --help for the options\n", error.c_str());
    return qxhost::kSetupError;
  }
  if (help) {
    std::fputs(qxhost::kUsage, stdout);
    return qxhost::kSuccess;
  }
  if (options.version) {
    std::printf("qxhost %s\n", QUARNEL_VERSION_STRING);
    return qxhost::kSuccess;
  }

  const bool temporary = options.workspace.empty();
  std::string workspace;
  if (temporary) {
    workspace = qxhost::MakeTempDir("qxhost-ws", &error);
  } else {
    workspace = qxhost::Absolute(options.workspace);
    if (::mkdir(workspace.c_str(), 0777) != 0 && errno != EEXIST) {
      error = "cannot create " + workspace + ": " + std::strerror(errno);
      workspace.clear();
    }
  }
  if (workspace.empty() || !qxhost::PrepareWorkspace(workspace, &error)) {
    std::fprintf(stderr, "qxhost: %s\n", error.c_str());
    if (temporary && !workspace.empty()) qxhost::RemoveTree(workspace);
    return qxhost::kSetupError;
  }
  const int status = qxhost::RunSession(options, workspace);
  if (temporary) qxhost::RemoveTree(workspace);
  return status;
}
