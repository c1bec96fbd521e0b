// SPDX-License-Identifier: MIT
// Memory taken straight from the system and given back to it whole: a block
// that is released leaves nothing behind in the allocator's caches, so that
// the memory the reader in parts held is free again for the one-thread reader
// that goes on after it.
#ifndef VARNOST_MAPPED_BLOCK_H
#define VARNOST_MAPPED_BLOCK_H

#include <cstddef>

namespace varnost {

class MappedBlock {
 public:
  MappedBlock() = default;
  // `bytes` zero-filled bytes, whose pages cost nothing until touched; with
  // `guard`, one more page below them that faults on any access. ok() is
  // false when the system refuses.
  explicit MappedBlock(size_t bytes, bool guard = false);
  ~MappedBlock();
  MappedBlock(MappedBlock&& other) noexcept;
  MappedBlock& operator=(MappedBlock&& other) noexcept;
  MappedBlock(const MappedBlock&) = delete;
  MappedBlock& operator=(const MappedBlock&) = delete;

  bool ok() const { return data_ != nullptr; }
  // The usable bytes (after the guard page).
  void* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  void Release();

  void* map_ = nullptr;
  size_t mapSize_ = 0;
  void* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace varnost

#endif
