// SPDX-License-Identifier: MIT
#include "printer.h"

#include <cstdio>

#include "record.h"

namespace qxhost {

namespace {

// Each line is flushed at once, so that the conversation can be followed as
// it goes and a reader of both streams sees the diagnostics in their place.
void PrintLine(std::string_view prefix, std::string_view text) {
  std::fwrite(prefix.data(), 1, prefix.size(), stdout);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

void Printer::Received(std::string_view command) {
  PrintLine("", command);
  last_[received_ % kKept].assign(command);
  ++received_;
  if (recorder_ != nullptr) recorder_->Received(command);
}

std::vector<std::string> Printer::Last() const {
  std::vector<std::string> commands;
  for (size_t i = received_ > kKept ? received_ - kKept : 0; i < received_; ++i)
    commands.push_back(last_[i % kKept]);
  return commands;
}

void Printer::Sent(std::string_view command) {
  PrintLine("> ", command);
  if (recorder_ != nullptr) recorder_->Sent(command);
}

}  // namespace qxhost
