// SPDX-License-Identifier: MIT
// A NetBuilder fed through a second thread, so that reading an input and
// building its net (id lookups, arc storage) run at once on two cores.
//
// The reader records each Add in a batch; a full batch goes to the building
// thread, which applies the batches in the order they were recorded. The net
// and the first refusal are therefore those of a NetBuilder fed directly: a
// refusal of the builder concerns something recorded earlier than anything
// the reader meets after it, so it wins over the reader's own problems.
//
// The thread starts with the first full batch: a small input is built on the
// reader's thread, when the pipeline is drained. When no thread can be
// started, every batch is applied where it is handed over. At most a few
// batches are under way, so memory stays that of the net.
#ifndef NETFMT_BUILD_PIPELINE_H
#define NETFMT_BUILD_PIPELINE_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net.h"

namespace netfmt {

class BuildPipeline {
 public:
  BuildPipeline() = default;
  ~BuildPipeline();
  BuildPipeline(const BuildPipeline&) = delete;
  BuildPipeline& operator=(const BuildPipeline&) = delete;

  // As NetBuilder's, recorded to be applied later.
  void AddPlace(std::string_view id, std::string_view name, int64_t tokens, Where where);
  void AddTransition(std::string_view id, std::string_view name, Where where);
  void AddReference(std::string_view id, std::string_view target, bool place, Where where);
  void AddArc(std::string_view id, std::string_view source, std::string_view target, int64_t weight,
              Where where);
  void AddOtherId(std::string_view id, Where where);

  // True once the builder has refused something: the reader may stop, and
  // Drain then gives the refusal.
  bool failed() const { return failed_.load(std::memory_order_relaxed); }

  // Applies everything recorded and waits for it; false when the builder
  // refused something (problem() says what). Rethrows what the building
  // thread threw (std::bad_alloc).
  bool Drain();
  const Problem& problem() const { return builder_.problem(); }
  // Drains, then freezes the net: the net, or nothing with problem() set.
  std::optional<Net> Freeze();

 private:
  enum class Op : uint8_t { kPlace, kTransition, kReference, kArc, kOther };
  struct Record {
    Op op;
    bool place;      // of a reference: whether it stands for a place
    int64_t number;  // tokens or weight
    size_t sizes[3];  // of the texts, one after the other in Batch::text
    Where where;
  };
  struct Batch {
    std::vector<Record> records;
    std::string text;
  };
  // Records per batch: enough to keep the two threads' handovers rare.
  static constexpr size_t kRecords = 8192;
  // Full batches waiting for the building thread at most.
  static constexpr size_t kWaiting = 4;

  void Add(Op op, bool place, int64_t number, std::string_view a, std::string_view b, std::string_view c,
           Where where);
  void HandOver();
  void Apply(const Batch& batch);
  // Applies the batch unless the builder has refused something, and
  // empties it.
  void ApplyHere(Batch& batch);
  // Keeps the batch's storage for reuse.
  static void Empty(Batch& batch);
  void Work();
  void Stop();

  NetBuilder builder_;  // the building thread's while it runs
  Batch current_;       // the reader's
  std::atomic<bool> failed_{false};
  bool alone_ = false;  // no thread could be started

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> waiting_;  // handed over, not yet applied
  std::vector<Batch> spare_;   // applied, kept for reuse
  size_t applying_ = 0;        // batches taken by the thread and not yet applied
  bool closing_ = false;
  std::exception_ptr thrown_;
  std::thread thread_;
};

}  // namespace netfmt

#endif
