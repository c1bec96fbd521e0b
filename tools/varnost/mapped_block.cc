// SPDX-License-Identifier: MIT
#include "mapped_block.h"

#include <sys/mman.h>
#include <unistd.h>

#include <utility>

namespace varnost {

MappedBlock::MappedBlock(size_t bytes, bool guard) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t below = guard ? page : 0;
  const size_t length = below + (bytes + page - 1) / page * page;
  void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return;
  if (guard && mprotect(map, page, PROT_NONE) != 0) {
    munmap(map, length);
    return;
  }
  map_ = map;
  mapSize_ = length;
  data_ = static_cast<char*>(map) + below;
  size_ = bytes;
}

MappedBlock::~MappedBlock() { Release(); }

MappedBlock::MappedBlock(MappedBlock&& other) noexcept
    : map_(std::exchange(other.map_, nullptr)),
      mapSize_(std::exchange(other.mapSize_, 0)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

MappedBlock& MappedBlock::operator=(MappedBlock&& other) noexcept {
  if (this != &other) {
    Release();
    map_ = std::exchange(other.map_, nullptr);
    mapSize_ = std::exchange(other.mapSize_, 0);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void MappedBlock::Release() {
  if (map_ != nullptr) munmap(map_, mapSize_);
  map_ = data_ = nullptr;
  mapSize_ = size_ = 0;
}

}  // namespace varnost
