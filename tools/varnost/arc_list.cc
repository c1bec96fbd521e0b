// SPDX-License-Identifier: MIT
#include "arc_list.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <new>

#include "big_array.h"

namespace varnost {

Arc* ArcList::StorageOf(size_t b) {
  constexpr size_t kChunkBytes = kBlocksPerChunk * kBlock * sizeof(Arc);
  try {
    if (b >= kSmallBlocks && netfmt::IsMappedSize(kChunkBytes)) {
      const size_t chunk = (b - kSmallBlocks) / kBlocksPerChunk;
      while (chunks_.size() <= chunk) chunks_.emplace_back(kChunkBytes, netfmt::Pages::kHuge);
      return static_cast<Arc*>(chunks_[chunk].get()) + (b - kSmallBlocks) % kBlocksPerChunk * kBlock;
    }
    while (small_.size() <= b) {
      small_.reserve(small_.size() + 1);
      Arc* block = new (std::nothrow) Arc[kBlock];
      if (block == nullptr) return nullptr;
      small_.emplace_back(block);
#ifdef MADV_POPULATE_WRITE
      // A list that needs a second block is a long one, whose blocks but the
      // last are filled: their pages are made present in one call rather
      // than one fault each (the first block of a small net stays mostly
      // untouched). Only a hint; failure changes nothing.
      const uintptr_t page = 4096;
      const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
      const uintptr_t last = (reinterpret_cast<uintptr_t>(block + kBlock)) & ~(page - 1);
      if (small_.size() > 1 && first < last) {
        madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
      }
#endif
    }
    return small_[b].get();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool ArcList::NewBlock() {
  try {
    blocks_.reserve(blocks_.size() + 1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  Arc* block = StorageOf(blocks_.size());
  if (block == nullptr) return false;
  blocks_.push_back(block);
  used_ = 0;
  return true;
}

void ArcList::ReleaseBlocks() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  small_.clear();
  small_.shrink_to_fit();
  chunks_.clear();
  chunks_.shrink_to_fit();
}

bool ArcList::Extend(uint64_t count) {
  // Blocks are full but the last, which holds used_ arcs.
  const size_t blocks = blocks_.size();
  const size_t used = used_;
  const uint64_t size = size_;
  while (kBlock - used_ < count) {
    count -= kBlock - used_;
    size_ += kBlock - used_;
    used_ = kBlock;
    if (!NewBlock()) {
      blocks_.resize(blocks);
      used_ = used;
      size_ = size;
      return false;
    }
  }
  used_ += static_cast<size_t>(count);
  size_ += count;
  return true;
}

void ArcList::Clear() {
  ReleaseBlocks();
  used_ = kBlock;
  size_ = 0;
  pre_ = post_ = nullptr;
  places_ = transitions_ = cells_ = 0;
  inMatrices_ = false;
  scan_.reset();
}

void ArcList::SetMatrices(int** pre, int** post, uint64_t places, uint64_t transitions) {
  pre_ = pre;
  post_ = post;
  places_ = places;
  transitions_ = transitions;
  cells_ = 2 * places * transitions;
}

bool ArcList::ReserveScan() {
  if (scan_ == nullptr) scan_.reset(new (std::nothrow) Arc[kBlock]);
  return scan_ != nullptr;
}

void ArcList::MoveToMatrices() {
  // Without the block to read them back into, the arcs stay in the list.
  if (!ReserveScan()) return;
  ReleaseBlocks();
  used_ = kBlock;
  size_ = 0;
  inMatrices_ = true;
}

void ArcList::OfferHugePagesFrom(uint64_t cell) const {
  const uint64_t matrix = places_ * transitions_;
  if (pre_ == nullptr || post_ == nullptr || matrix == 0) return;
  if (!netfmt::IsMappedSize(static_cast<size_t>(matrix) * sizeof(int))) return;
  // Each matrix is one block that starts at its first row (CreerTab).
  const auto offer = [matrix](int* cells, uint64_t from) {
    if (from < matrix) {
      netfmt::AdviseHugePages(cells + from, static_cast<size_t>(matrix - from) * sizeof(int));
    }
  };
  offer(pre_[0], std::min(cell, matrix));
  offer(post_[0], cell > matrix ? cell - matrix : 0);
}

ArcList& RecordedArcs() {
  static ArcList arcs;
  return arcs;
}

}  // namespace varnost
