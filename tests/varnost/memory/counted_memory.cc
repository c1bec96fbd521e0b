// SPDX-License-Identifier: MIT
#include "counted_memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

constexpr size_t kPage = 4096;

// Off but in the children that run under a limit.
std::atomic<bool> g_counting{false};
std::atomic<int64_t> g_inUse{0};
int64_t g_limit = INT64_MAX;
size_t g_refuseFrom = SIZE_MAX;
// The bytes in use just after each refusable block was taken, in the order
// taken.
constexpr size_t kMaxMarks = 4096;
std::atomic<size_t> g_markCount{0};
int64_t g_marks[kMaxMarks];

// Counts a block of `bytes`; false when it is refused.
bool Take(size_t bytes) {
  if (!g_counting.load(std::memory_order_relaxed)) return true;
  const int64_t size = static_cast<int64_t>(bytes);
  if (bytes < g_refuseFrom) {
    g_inUse.fetch_add(size);
    return true;
  }
  int64_t now = g_inUse.load();
  do {
    if (now + size > g_limit) return false;
  } while (!g_inUse.compare_exchange_weak(now, now + size));
  const size_t at = g_markCount.fetch_add(1);
  if (at < kMaxMarks) g_marks[at] = now + size;
  return true;
}

void Give(size_t bytes) {
  if (g_counting.load(std::memory_order_relaxed)) g_inUse.fetch_sub(static_cast<int64_t>(bytes));
}

size_t Pages(size_t length) { return (length + kPage - 1) / kPage * kPage; }

}  // namespace

void* operator new(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  if (!Take(malloc_usable_size(block))) {
    std::free(block);
    throw std::bad_alloc();
  }
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
// Every block comes from malloc through the operator new above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  Give(malloc_usable_size(block));
  std::free(block);
}
#pragma GCC diagnostic pop
void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { operator delete(block); }

extern "C" void* mmap(void* address, size_t length, int prot, int flags, int fd, off_t offset) {
  if (!Take(Pages(length))) {
    errno = ENOMEM;
    return MAP_FAILED;
  }
  void* map = reinterpret_cast<void*>(syscall(SYS_mmap, address, length, prot, flags, fd, offset));
  if (map == MAP_FAILED) Give(Pages(length));
  return map;
}

extern "C" int munmap(void* address, size_t length) {
  const int result = static_cast<int>(syscall(SYS_munmap, address, length));
  if (result == 0) Give(Pages(length));
  return result;
}


namespace memtest {

void StartCounting(int64_t limit, size_t refuseFrom) {
  g_limit = limit;
  g_refuseFrom = refuseFrom;
  g_inUse = 0;
  g_markCount = 0;
  g_counting = true;
}

void StopCounting() { g_counting = false; }

std::vector<int64_t> Marks() {
  const size_t count = std::min(g_markCount.load(), kMaxMarks);
  return std::vector<int64_t>(g_marks, g_marks + count);
}

}  // namespace memtest
