// SPDX-License-Identifier: MIT
#include "conversation.h"

#include <cstring>

namespace qxhost {

namespace {

constexpr size_t kLengthWord = sizeof(int64_t);

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

FrameSplitter::Result FrameSplitter::Next(std::string* text, int64_t* bad_length) {
  if (pending_.size() - offset_ < kLengthWord) return Result::kNeedMore;
  int64_t length = 0;
  std::memcpy(&length, pending_.data() + offset_, kLengthWord);
  if (length < 0 || length > max_length_) {
    *bad_length = length;
    return Result::kBadLength;
  }
  if (length == 0) {
    offset_ += kLengthWord;
    return Result::kMarker;
  }
  const size_t size = static_cast<size_t>(length);
  if (pending_.size() - offset_ - kLengthWord < size) return Result::kNeedMore;
  text->assign(pending_, offset_ + kLengthWord, size);
  offset_ += kLengthWord + size;
  // Drop consumed bytes once they dominate, so the buffer stays small.
  if (offset_ > 4096 && offset_ * 2 > pending_.size()) {
    pending_.erase(0, offset_);
    offset_ = 0;
  }
  return Result::kFrame;
}

bool LineSplitter::Next(std::string* line) {
  const size_t end = pending_.find('\n');
  if (end == std::string::npos) return false;
  line->assign(pending_, 0, end);
  pending_.erase(0, end + 1);
  return true;
}

std::string LineSplitter::TakeRest() {
  std::string rest;
  rest.swap(pending_);
  return rest;
}

void Conversation::Command(std::string_view text) {
  ++count_;
  const bool start = StartsWith(text, "START_TOOL(");
  if (start) started_ = true;
  if (count_ == 1 && !start) {
    faults_.push_back("the first command is not START_TOOL(...): " + std::string(text));
  } else if (count_ > 1 && start) {
    faults_.push_back("START_TOOL(...) again as command " + std::to_string(count_));
  }
  if (end_code_ >= 0 && !after_end_) {
    after_end_ = true;
    faults_.push_back("a command after END_TOOL(" + std::to_string(end_code_) +
                      "): " + std::string(text));
  }
  if (StartsWith(text, "END_TOOL(")) {
    if (text == "END_TOOL(0)" || text == "END_TOOL(1)" || text == "END_TOOL(2)") {
      if (end_code_ < 0) end_code_ = text[9] - '0';
    } else {
      faults_.push_back("malformed end command: " + std::string(text));
    }
  }
}

void Conversation::FileTransfer(std::string_view text) {
  if (count_ == 0) {
    faults_.push_back("a file transfer before START_TOOL(...): " + std::string(text));
  } else if (end_code_ >= 0) {
    faults_.push_back("a file transfer after END_TOOL(" + std::to_string(end_code_) +
                      "): " + std::string(text));
  }
}

void Conversation::Finish(bool complete) {
  if (count_ == 0) {
    if (complete) faults_.push_back("no command received (START_TOOL(...) expected first)");
    return;
  }
  if (complete && end_code_ < 0) faults_.push_back("END_TOOL(n) missing at the end");
}

void Conversation::CheckExitStatus(int status) {
  if (end_code_ < 0) return;
  const int expected = end_code_ == 2 ? 1 : 0;
  if (status != expected) {
    faults_.push_back("END_TOOL(" + std::to_string(end_code_) + ") but exit status " +
                      std::to_string(status));
  }
}

}  // namespace qxhost
