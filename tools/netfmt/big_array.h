// SPDX-License-Identifier: MIT
// Storage for the large arrays of a net (arcs, ids, hash slots): blocks of a
// megabyte or more are mapped straight from the kernel, aligned to 2 MiB and
// offered transparent huge pages, so that filling them takes one page fault
// per 2 MiB instead of one per 4 KiB and few TLB misses. On a net of 400,000
// arcs the page faults alone cost more than a fifth of a conversion. Smaller
// blocks come from operator new. Where the kernel gives no huge pages the
// blocks are ordinary pages, and memory use is the same.
#ifndef NETFMT_BIG_ARRAY_H
#define NETFMT_BIG_ARRAY_H

#include <cstddef>
#include <new>
#include <string>
#include <vector>

namespace netfmt {

// The bytes of a block of `bytes` (>= kBigBlock) as mapped; its size rounded
// up to whole huge pages. Throws std::bad_alloc when the kernel refuses.
void* MapBigBlock(size_t bytes);
void UnmapBigBlock(void* block, size_t bytes);
constexpr size_t kBigBlock = size_t{1} << 20;
// Under AddressSanitizer every block comes from operator new, which it
// watches; it cannot see past the end of a mapped block.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapBigBlocks = false;
#else
constexpr bool kMapBigBlocks = true;
#endif

template <typename T>
struct BigAllocator {
  using value_type = T;
  BigAllocator() = default;
  template <typename U>
  BigAllocator(const BigAllocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    const size_t bytes = n * sizeof(T);
    if (!kMapBigBlocks || bytes < kBigBlock) return static_cast<T*>(::operator new(bytes));
    return static_cast<T*>(MapBigBlock(bytes));
  }
  void deallocate(T* p, size_t n) noexcept {
    const size_t bytes = n * sizeof(T);
    if (!kMapBigBlocks || bytes < kBigBlock) {
      ::operator delete(p);
    } else {
      UnmapBigBlock(p, bytes);
    }
  }
  template <typename U>
  bool operator==(const BigAllocator<U>&) const noexcept {
    return true;
  }
};

template <typename T>
using BigVector = std::vector<T, BigAllocator<T>>;
using BigString = std::basic_string<char, std::char_traits<char>, BigAllocator<char>>;

}  // namespace netfmt

#endif
