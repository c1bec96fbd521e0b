// SPDX-License-Identifier: MIT
#include "e2e_support.h"

#include <expat.h>
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

bool WellFormedXml(const std::string& text, std::string* error) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (parser == nullptr) {
    *error = "no XML parser (memory)";
    return false;
  }
  const bool ok =
      XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
  if (!ok) {
    *error = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
             std::to_string(XML_GetCurrentLineNumber(parser)) + ", column " +
             std::to_string(XML_GetCurrentColumnNumber(parser));
  }
  XML_ParserFree(parser);
  return ok;
}

}  // namespace e2e
