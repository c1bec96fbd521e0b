// SPDX-License-Identifier: MIT
#include "e2e_support.h"

#include <sys/stat.h>

namespace e2e {

Workspace::Workspace() {
  qxtest::WriteFile(dir_.File("qx_basic_info"),
                    "linux\n" + dir_.path() + "\n" + dir_.path() + "\n" + dir_.path() + "\n/tmp\n" +
                        dir_.path() + "\n");
  ::mkdir(dir_.File("QX_MNGR").c_str(), 0777);
  qxtest::WriteFile(dir_.File("QX_MNGR/.formalism"), "TAV-Net\n");
}

qxtest::ChildResult RunHost(const Workspace& workspace, std::vector<std::string> host_options,
                            const std::string& tool, const std::vector<std::string>& tool_args) {
  std::vector<std::string> args = {"--workspace", workspace.path(), "--timeout", "20"};
  args.insert(args.end(), host_options.begin(), host_options.end());
  args.push_back(tool);
  args.insert(args.end(), tool_args.begin(), tool_args.end());
  return qxtest::RunProgram(QX_HOST_BIN, args, "", 30000);
}

}  // namespace e2e
