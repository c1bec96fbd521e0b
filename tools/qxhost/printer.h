// SPDX-License-Identifier: MIT
// The printed conversation: each command of the tool on a line of standard
// output as it arrives, each command sent to the tool with "> " before it once
// written, in the order they happen.
#ifndef QUARNEL_TOOLS_QXHOST_PRINTER_H
#define QUARNEL_TOOLS_QXHOST_PRINTER_H

#include <cstddef>
#include <array>
#include <vector>
#include <string>
#include <string_view>

namespace qxhost {

class Recorder;

class Printer {
 public:
  // How many of the last commands received are kept for a report.
  static constexpr size_t kKept = 5;

  void Received(std::string_view command);
  void Sent(std::string_view command);
  // Each command printed also goes to recorder (not owned; null: none).
  void set_recorder(Recorder* recorder) { recorder_ = recorder; }

  // The last commands received, oldest first, and how many came in all.
  std::vector<std::string> Last() const;
  size_t received() const { return received_; }

 private:
  // A ring of the last commands; assignments reuse the strings' storage.
  std::array<std::string, kKept> last_;
  size_t received_ = 0;
  Recorder* recorder_ = nullptr;
};

}  // namespace qxhost

#endif
