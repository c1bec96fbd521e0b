// SPDX-License-Identifier: MIT
#include "record.h"

#include "pattern.h"

namespace qxhost {

namespace {

std::string CannotWrite(const outfile::OutputFile& file) {
  return "cannot write the recorded script " + file.target() + ": " + file.Reason();
}

}  // namespace

bool Recorder::Open(const std::string& path, std::string_view heading, std::string* error) {
  file_.emplace(path);
  if (!file_->ok()) {
    *error = CannotWrite(*file_);
    return false;
  }
  for (size_t start = 0; start < heading.size();) {
    size_t end = heading.find('\n', start);
    if (end == std::string_view::npos) end = heading.size();
    text_.append("# ").append(heading.substr(start, end - start)).push_back('\n');
    start = end + 1;
  }
  return true;
}

void Recorder::Sent(std::string_view line) { text_.append("> ").append(line).push_back('\n'); }

void Recorder::InputClosed() {
  if (!received_) {
    close_pending_ = true;
    return;
  }
  text_.append(">\n");
}

void Recorder::Received(std::string_view command) {
  bool exact = true;
  const std::string pattern = PatternFor(command, &exact);
  if (!exact) text_.append("# a line break or a final blank of this command: matched by \"*\"\n");
  text_.append("= ").append(pattern).push_back('\n');
  received_ = true;
  if (close_pending_) {
    close_pending_ = false;
    InputClosed();
  }
}

bool Recorder::Write(std::string* error) {
  file_->Put(text_);
  if (file_->Commit()) return true;
  *error = CannotWrite(*file_);
  return false;
}

}  // namespace qxhost
