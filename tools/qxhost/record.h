// SPDX-License-Identifier: MIT
// --record: the conversation of a run written as a script that replays it:
// "> TEXT" for each command sent, ">" where the tool's input was closed, and
// "= PATTERN" for each command received, each pattern matching that command
// and no other (see PatternFor in pattern.h). Run with --script on the same
// tool and input, the script passes; a tool that sends anything else breaks
// it at the first command that differs.
#ifndef QUARNEL_TOOLS_QXHOST_RECORD_H
#define QUARNEL_TOOLS_QXHOST_RECORD_H

#include <optional>
#include <string>
#include <string_view>

#include "output_file.h"

namespace qxhost {

class Recorder {
 public:
  // Creates the temporary file beside path (see outfile::OutputFile); heading is put
  // first, as comment lines. False with a message.
  bool Open(const std::string& path, std::string_view heading, std::string* error);

  void Sent(std::string_view line);
  // The tool's input was closed. Before the first command it is noted after
  // that command: a script sends nothing before START_TOOL(...) has come.
  void InputClosed();
  void Received(std::string_view command);

  // Writes the script whole to the file. False with a message.
  bool Write(std::string* error);

 private:
  std::optional<outfile::OutputFile> file_;
  std::string text_;
  bool received_ = false;
  bool close_pending_ = false;
};

}  // namespace qxhost

#endif
