// SPDX-License-Identifier: MIT
// Command line of the host stand-in.
#ifndef QUARNEL_TOOLS_QXHOST_OPTIONS_H
#define QUARNEL_TOOLS_QXHOST_OPTIONS_H

#include <string>
#include <vector>

namespace qxhost {

// Exit statuses of the host stand-in.
enum ExitStatus {
  kSuccess = 0,        // well-formed conversation, the tool exited with 0
  kSetupError = 1,     // bad usage, or the workspace, FIFOs, tool or --send input failed
  kProtocolFault = 2,  // a malformed command, a command missing or out of place, a bad
                       // frame, an unreadable SEND_KORA_FILE file, no end lock file
  kToolFailed = 3,     // the tool exited with a non-zero status
  kToolAborted = 4,    // the tool was killed by a signal or by the time limit
  kScriptDiffers = 5,  // the conversation differs from the --script
};

struct Options {
  std::string workspace;                  // empty: a temporary one
  bool std_out = false;                   // standard-output mode instead of FIFOs
  std::vector<std::string> tool_options;  // framework options before -end_env_p
  int timeout_ms = 60000;
  long close_after = -1;                  // close the host's ends after this many commands
  std::string send;                       // --send: file of commands for the tool, "-" stdin
  std::string model;                      // --model: file the rebuilt model is written to
  std::vector<std::string> labels;        // --label: attributes shown in the drawn model
  bool strict = false;                    // model faults end the run as a protocol fault
  std::string script;                     // --script: the conversation expected
  int expect_timeout_ms = 10000;          // bound of each wait of the script
  std::string record;                     // --record: the conversation written as a script
  bool version = false;                   // --version: print the package version, run nothing
  std::string tool;
  std::vector<std::string> tool_args;
};

// Text of --help.
extern const char kUsage[];

// Parses argv. Returns false with a message in error for a bad command line;
// sets help when --help was asked.
bool ParseOptions(int argc, char** argv, Options* options, bool* help, std::string* error);

}  // namespace qxhost

#endif
