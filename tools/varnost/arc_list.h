// The arcs met while reading the matrices, in reading order, kept until the
// neighbour sets are built from them. Building the sets from this list instead
// of scanning the dense matrices keeps the work proportional to the arcs and
// leaves the zero pages of the matrices untouched.
#ifndef VARNOST_ARC_LIST_H
#define VARNOST_ARC_LIST_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace varnost {

// One entry greater than 0: row in 0..2*NbPlaces-1 (the Pre rows, then the
// Post rows), column in 0..NbTrans-1.
struct Arc {
  uint32_t row;
  uint32_t col;
};

// Append-only list in fixed blocks: growing never copies what is stored, so
// the peak memory is the content plus one block.
class ArcList {
 public:
  // False when memory is exhausted (the arc is not stored).
  bool Add(Arc arc) {
    if (used_ == kBlock) {
      if (!NewBlock()) return false;
    }
    blocks_.back()[used_++] = arc;
    ++size_;
    return true;
  }
  uint64_t size() const { return size_; }
  void Clear();

  // Makes room for `count` more arcs at the end, to be stored with Set in any
  // order (by several threads, each at its own indices). False when memory is
  // exhausted (the list is then unchanged).
  bool Extend(uint64_t count);
  // REQUIRES: index < size(), within room made by Extend.
  void Set(uint64_t index, Arc arc) { blocks_[index / kBlock][index % kBlock] = arc; }

  // f(arcs, count) for each block of arcs in order: at most kBlock each.
  template <class F>
  void ForEachBlock(F&& f) const {
    for (size_t b = 0; b < blocks_.size(); ++b) {
      f(static_cast<const Arc*>(blocks_[b].get()), b + 1 == blocks_.size() ? used_ : kBlock);
    }
  }
  template <class F>
  void ForEach(F&& f) const {
    ForEachBlock([&](const Arc* block, size_t n) {
      for (size_t i = 0; i < n; ++i) f(block[i]);
    });
  }

  static constexpr size_t kBlock = size_t{1} << 16;

 private:
  bool NewBlock();

  std::vector<std::unique_ptr<Arc[]>> blocks_;
  size_t used_ = kBlock;
  uint64_t size_ = 0;
};

// The arcs of the last matrices read.
ArcList& RecordedArcs();

}  // namespace varnost

#endif
