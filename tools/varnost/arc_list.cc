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
