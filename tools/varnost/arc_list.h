// SPDX-License-Identifier: MIT
// The arcs met while reading the matrices, in reading order, kept until the
// neighbour sets are built from them. Building the sets from this list instead
// of scanning the dense matrices keeps the work proportional to the arcs and
// leaves the zero pages of the matrices untouched. Once the arcs are one cell
// in kDenseShare or more, the list is dropped and the arcs are read back from
// the matrices, which hold the same arcs in the same order (every value
// greater than 0, row by row): scanning them then costs less than the list.
#ifndef VARNOST_ARC_LIST_H
#define VARNOST_ARC_LIST_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "big_array.h"

namespace varnost {

// One entry greater than 0: row in 0..2*NbPlaces-1 (the Pre rows, then the
// Post rows), column in 0..NbTrans-1.
struct Arc {
  uint32_t row;
  uint32_t col;
};

// Append-only list in fixed blocks: growing never copies what is stored, so
// the peak memory is the content plus one block, or one huge page of blocks.
// The first kSmallBlocks blocks come from operator new; a longer list takes
// its further blocks kBlocksPerChunk at a time from 2 MiB blocks on huge
// pages (big_array.h), filled at one page fault each.
class ArcList {
 public:
  static constexpr uint64_t kDenseShare = 8;

  // Where the values of the matrices being read land (rows of `transitions`
  // cells, the Pre rows then the Post rows), for reading the arcs back from
  // them once they are many.
  void SetMatrices(int** pre, int** post, uint64_t places, uint64_t transitions);
  // Whether the arcs are read back from the matrices: Add then stores nothing
  // and Extend and ForEachRoom must not be used.
  bool InMatrices() const { return inMatrices_; }
  // The matrices given to SetMatrices.
  int* const* pre() const { return pre_; }
  int* const* post() const { return post_; }
  // Whether the list would reach one cell in kDenseShare with `more` arcs:
  // the arcs are then better read back from the matrices.
  bool ReachesDenseShare(uint64_t more) const {
    return !inMatrices_ && pre_ != nullptr && size_ + more >= cells_ / kDenseShare;
  }
  // Allocates the block the arcs are read back into, so that MoveToMatrices
  // cannot fail later. False when memory is exhausted.
  bool ReserveScan();
  // Drops the list and reads the arcs back from the matrices from now on; the
  // list stays when the block to read them back into cannot be allocated.
  void MoveToMatrices();
  // The matrices are dense: the cells from number `cell` on (the Pre rows,
  // then the Post rows), which nothing has written yet, go on huge pages
  // where whole huge pages of them are mapped (see big_array.h), so that
  // writing them costs one fault per 2 MiB. Cells before stay on the small
  // pages some of them are written in, so the memory used is no more than
  // the cells written take.
  void OfferHugePagesFrom(uint64_t cell) const;

  // False when memory is exhausted (the arc is not stored). The arc's cell is
  // the last one written so far.
  bool Add(Arc arc) {
    if (ReachesDenseShare(1)) {
      MoveToMatrices();
      if (inMatrices_) OfferHugePagesFrom(uint64_t{arc.row} * transitions_ + arc.col + 1);
    }
    if (inMatrices_) return true;
    if (used_ == kBlock) {
      if (!NewBlock()) return false;
    }
    blocks_.back()[used_++] = arc;
    ++size_;
    return true;
  }
  // The number of arcs in the list (0 when they are read back from the
  // matrices).
  uint64_t size() const { return size_; }
  // Empties the list and forgets the matrices.
  void Clear();

  // Makes room for `count` more arcs at the end, to be stored through
  // ForEachRoom in any order (by several threads, each in its own room).
  // False when memory is exhausted (the list is then unchanged).
  bool Extend(uint64_t count);
  // The room for arcs [index, index + count) as f(first, n) for each run that
  // lies in one block, in order. The runs stay valid while the list grows, so
  // threads may fill them while another thread extends the list.
  // REQUIRES: index + count <= size().
  template <class F>
  void ForEachRoom(uint64_t index, uint64_t count, F&& f) {
    while (count > 0) {
      const size_t at = static_cast<size_t>(index % kBlock);
      const size_t n = static_cast<size_t>(std::min<uint64_t>(count, kBlock - at));
      f(blocks_[index / kBlock] + at, n);
      index += n;
      count -= n;
    }
  }

  // f(arcs, count) for each block of arcs in order: at most kBlock each.
  template <class F>
  void ForEachBlock(F&& f) const {
    if (inMatrices_) {
      ScanMatrices(f);
      return;
    }
    for (size_t b = 0; b < blocks_.size(); ++b) {
      f(static_cast<const Arc*>(blocks_[b]), b + 1 == blocks_.size() ? used_ : kBlock);
    }
  }
  template <class F>
  void ForEach(F&& f) const {
    ForEachBlock([&](const Arc* block, size_t n) {
      for (size_t i = 0; i < n; ++i) f(block[i]);
    });
  }

  static constexpr size_t kBlock = size_t{1} << 16;
  static constexpr size_t kSmallBlocks = 4;
  static constexpr size_t kBlocksPerChunk = 4;  // a huge page of arcs

 private:
  bool NewBlock();
  // The storage of block b, allocated when it has none yet; null when memory
  // is exhausted. A block whose list was cut back (Extend's failure) keeps its
  // storage for the next one of its number.
  Arc* StorageOf(size_t b);
  // Gives every block's storage back.
  void ReleaseBlocks();
  template <class F>
  void ScanMatrices(F& f) const {
    Arc* const block = scan_.get();
    size_t n = 0;
    for (uint64_t row = 0; row < 2 * places_; ++row) {
      const int* cells = row < places_ ? pre_[row] : post_[row - places_];
      for (uint64_t col = 0; col < transitions_; ++col) {
        if (cells[col] <= 0) continue;
        block[n++] = Arc{static_cast<uint32_t>(row), static_cast<uint32_t>(col)};
        if (n == kBlock) {
          f(static_cast<const Arc*>(block), n);
          n = 0;
        }
      }
    }
    if (n > 0) f(static_cast<const Arc*>(block), n);
  }

  std::vector<Arc*> blocks_;
  std::vector<std::unique_ptr<Arc[]>> small_;        // storage of the first blocks
  std::vector<netfmt::MappedBigBlock> chunks_;       // of the others, kBlocksPerChunk each
  size_t used_ = kBlock;
  uint64_t size_ = 0;

  int** pre_ = nullptr;
  int** post_ = nullptr;
  uint64_t places_ = 0;
  uint64_t transitions_ = 0;
  uint64_t cells_ = 0;
  bool inMatrices_ = false;
  std::unique_ptr<Arc[]> scan_;  // one block for reading the matrices back
};

// The arcs of the last matrices read.
ArcList& RecordedArcs();

}  // namespace varnost

#endif
