#include "arc_list.h"

#include <new>

namespace varnost {

bool ArcList::NewBlock() {
  try {
    blocks_.reserve(blocks_.size() + 1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  Arc* block = new (std::nothrow) Arc[kBlock];
  if (block == nullptr) return false;
  blocks_.emplace_back(block);
  used_ = 0;
  return true;
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
  blocks_.clear();
  blocks_.shrink_to_fit();
  used_ = kBlock;
  size_ = 0;
}

ArcList& RecordedArcs() {
  static ArcList arcs;
  return arcs;
}

}  // namespace varnost
