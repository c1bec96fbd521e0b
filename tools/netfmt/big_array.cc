// SPDX-License-Identifier: MIT
#include "big_array.h"

#include <sys/mman.h>

#include <cstdint>

namespace netfmt {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t Rounded(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

}  // namespace

void* MapBigBlock(size_t bytes, Pages pages) {
  if (bytes > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
  const size_t size = Rounded(bytes);
  // One huge page more than needed, so that an aligned block lies inside;
  // the parts before and after it are given back at once.
  const size_t mapped = size + kHugePage;
  void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t tail = aligned + size;
  const uintptr_t end = start + mapped;
  if (end > tail) munmap(reinterpret_cast<void*>(tail), end - tail);
  void* block = reinterpret_cast<void*>(aligned);
  // Advice only: a kernel without transparent huge pages keeps small ones.
  (void)madvise(block, size, pages == Pages::kHuge ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
  return block;
}

void UnmapBigBlock(void* block, size_t bytes) { munmap(block, Rounded(bytes)); }

void AdviseHugePages(void* from, size_t bytes) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(from);
  const uintptr_t first = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
  const uintptr_t end = (start + bytes) & ~(uintptr_t{kHugePage} - 1);
  if (first < end) (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

}  // namespace netfmt
