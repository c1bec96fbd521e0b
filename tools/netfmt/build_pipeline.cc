// SPDX-License-Identifier: MIT
#include "build_pipeline.h"

#include <system_error>
#include <utility>

namespace netfmt {

BuildPipeline::~BuildPipeline() { Stop(); }

void BuildPipeline::AddPlace(std::string_view id, std::string_view name, int64_t tokens, Where where) {
  Add(Op::kPlace, false, tokens, id, name, {}, where);
}

void BuildPipeline::AddTransition(std::string_view id, std::string_view name, Where where) {
  Add(Op::kTransition, false, 0, id, name, {}, where);
}

void BuildPipeline::AddReference(std::string_view id, std::string_view target, bool place, Where where) {
  Add(Op::kReference, place, 0, id, target, {}, where);
}

void BuildPipeline::AddArc(std::string_view id, std::string_view source, std::string_view target, int64_t weight,
                           Where where) {
  Add(Op::kArc, false, weight, id, source, target, where);
}

void BuildPipeline::AddOtherId(std::string_view id, Where where) { Add(Op::kOther, false, 0, id, {}, {}, where); }

void BuildPipeline::Add(Op op, bool place, int64_t number, std::string_view a, std::string_view b,
                        std::string_view c, Where where) {
  current_.records.push_back(Record{op, place, number, {a.size(), b.size(), c.size()}, where});
  current_.text.append(a).append(b).append(c);
  if (current_.records.size() >= kRecords) HandOver();
}

void BuildPipeline::Apply(const Batch& batch) {
  std::string_view text(batch.text);
  auto next = [&](size_t size) {
    const std::string_view part = text.substr(0, size);
    text.remove_prefix(size);
    return part;
  };
  for (const Record& r : batch.records) {
    const std::string_view a = next(r.sizes[0]), b = next(r.sizes[1]), c = next(r.sizes[2]);
    bool ok = false;
    switch (r.op) {
      case Op::kPlace:
        ok = builder_.AddPlace(a, b, r.number, r.where);
        break;
      case Op::kTransition:
        ok = builder_.AddTransition(a, b, r.where);
        break;
      case Op::kReference:
        ok = builder_.AddReference(a, b, r.place, r.where);
        break;
      case Op::kArc:
        ok = builder_.AddArc(a, b, c, r.number, r.where);
        break;
      case Op::kOther:
        ok = builder_.AddOtherId(a, r.where);
        break;
    }
    if (!ok) {
      failed_ = true;
      return;
    }
  }
  // The arcs' ends are looked up while the reader goes on.
  if (!builder_.LookUpArcs()) failed_ = true;
}

void BuildPipeline::Empty(Batch& batch) {
  batch.records.clear();
  batch.text.clear();
}

void BuildPipeline::ApplyHere(Batch& batch) {
  if (!failed_) Apply(batch);
  Empty(batch);
}

void BuildPipeline::HandOver() {
  if (alone_) return ApplyHere(current_);
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread(&BuildPipeline::Work, this);
    } catch (const std::system_error&) {
      alone_ = true;
      return ApplyHere(current_);
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return waiting_.size() < kWaiting; });
  waiting_.push_back(std::move(current_));
  current_ = Batch{};
  if (!spare_.empty()) {
    current_ = std::move(spare_.back());
    spare_.pop_back();
  }
  changed_.notify_all();
}

void BuildPipeline::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !waiting_.empty() || closing_; });
    if (waiting_.empty()) return;
    Batch batch = std::move(waiting_.front());
    waiting_.pop_front();
    ++applying_;
    // Once closing, what still waits is not wanted any more.
    const bool wanted = !closing_;
    changed_.notify_all();
    lock.unlock();
    if (wanted && !failed_) {
      try {
        Apply(batch);
      } catch (...) {
        lock.lock();
        thrown_ = std::current_exception();
        lock.unlock();
        failed_ = true;
      }
    }
    Empty(batch);
    lock.lock();
    --applying_;
    spare_.push_back(std::move(batch));
    changed_.notify_all();
  }
}

bool BuildPipeline::Drain() {
  if (thread_.joinable()) {
    if (!current_.records.empty()) HandOver();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return waiting_.empty() && applying_ == 0; });
    if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
  } else {
    ApplyHere(current_);
  }
  return !failed_;
}

std::optional<Net> BuildPipeline::Freeze() {
  if (!Drain()) return std::nullopt;
  Stop();
  return builder_.Freeze();
}

void BuildPipeline::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    changed_.notify_all();
  }
  thread_.join();
}

}  // namespace netfmt
