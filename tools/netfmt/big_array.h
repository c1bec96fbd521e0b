// SPDX-License-Identifier: MIT
// Storage for the large arrays of both converters: pnconv's net (arcs, ids,
// hash slots) and varnost's matrices and arc list. Blocks of a megabyte or
// more are mapped straight from the kernel, aligned to 2 MiB and offered
// transparent huge pages, so that filling them takes one page fault per 2 MiB
// instead of one per 4 KiB and few TLB misses (a fault costs several
// microseconds on a virtual machine: on a net of 400,000 arcs the faults
// alone cost more than a fifth of a conversion). Smaller blocks come from
// operator new, and so does every block under AddressSanitizer. Where the
// kernel gives no huge pages the blocks are ordinary pages, and memory use is
// the same.
//
// A block whose pages may be written only here and there (a matrix of which
// a sparse net writes few cells) is mapped on small pages, since one value
// stored would make a whole huge page resident; AdviseHugePages offers huge
// pages for a part of it once that part is known to be written whole.
#ifndef NETFMT_BIG_ARRAY_H
#define NETFMT_BIG_ARRAY_H

#include <cstddef>
#include <new>
#include <string>
#include <vector>

namespace netfmt {

constexpr size_t kBigBlock = size_t{1} << 20;
// Under AddressSanitizer every block comes from operator new, which it
// watches; it cannot see past the end of a mapped block.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapBigBlocks = false;
#else
constexpr bool kMapBigBlocks = true;
#endif
// Whether a block of `bytes` is mapped (MapBigBlock) rather than taken from
// operator new.
constexpr bool IsMappedSize(size_t bytes) { return kMapBigBlocks && bytes >= kBigBlock; }

enum class Pages { kHuge, kSmall };
// A zero-filled block of `bytes` (>= kBigBlock) as mapped, aligned to 2 MiB,
// its size rounded up to whole huge pages; on huge pages where the kernel
// gives them, or on small pages only (even where huge pages are the
// default). Throws std::bad_alloc when the kernel refuses.
void* MapBigBlock(size_t bytes, Pages pages = Pages::kHuge);
void UnmapBigBlock(void* block, size_t bytes);
// Offers huge pages for the whole 2 MiB pages that lie in [from, from +
// bytes), a range of a block of MapBigBlock; the rest keeps its pages. Advice
// only: nothing changes where the kernel gives no huge pages.
void AdviseHugePages(void* from, size_t bytes);

// A block of MapBigBlock, unmapped when it goes.
class MappedBigBlock {
 public:
  MappedBigBlock(size_t bytes, Pages pages) : block_(MapBigBlock(bytes, pages)), bytes_(bytes) {}
  ~MappedBigBlock() {
    if (block_ != nullptr) UnmapBigBlock(block_, bytes_);
  }
  MappedBigBlock(MappedBigBlock&& other) noexcept : block_(other.block_), bytes_(other.bytes_) {
    other.block_ = nullptr;
  }
  MappedBigBlock& operator=(MappedBigBlock&&) = delete;
  MappedBigBlock(const MappedBigBlock&) = delete;
  MappedBigBlock& operator=(const MappedBigBlock&) = delete;

  void* get() const { return block_; }

 private:
  void* block_;
  size_t bytes_;
};

template <typename T>
struct BigAllocator {
  using value_type = T;
  BigAllocator() = default;
  template <typename U>
  BigAllocator(const BigAllocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    const size_t bytes = n * sizeof(T);
    if (!IsMappedSize(bytes)) return static_cast<T*>(::operator new(bytes));
    return static_cast<T*>(MapBigBlock(bytes));
  }
  void deallocate(T* p, size_t n) noexcept {
    const size_t bytes = n * sizeof(T);
    if (!IsMappedSize(bytes)) {
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
