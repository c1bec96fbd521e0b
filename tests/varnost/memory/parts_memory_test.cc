// SPDX-License-Identifier: MIT
// The matrices read in parts under a memory limit give, byte for byte, what
// the plain reading gives under the same limit: a part that finds no room
// gives back what it holds and leaves the rest to the one-thread reader, so
// that a net is converted, or refused for memory, exactly as that reader
// alone would.
//
// The limit is kept by this program itself, so that it binds to the byte and
// under the sanitizers too: every operator new and every mmap of the process
// is counted, and a block of kLarge bytes or more that would take the bytes in
// use past the limit is refused (std::bad_alloc, or ENOMEM as the kernel gives
// under an address space limit). Smaller blocks are counted but never
// refused, so that the limit meets the reader's buffers rather than the
// test's own strings. The limits tried are those at which each large block
// of a reading is the one that no longer fits.
#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <set>
#include <string>

#include "TypePN.h"
#include "common/qxtest.h"
#include "matrix_parts.h"
#include "net_testing.h"

namespace {

constexpr size_t kLarge = 4096;
constexpr size_t kPage = 4096;

// Off but in the children that read under a limit.
std::atomic<bool> g_counting{false};
std::atomic<int64_t> g_inUse{0};
int64_t g_limit = INT64_MAX;
// The bytes in use just after each large block was taken, in the order taken.
constexpr size_t kMaxMarks = 4096;
std::atomic<size_t> g_markCount{0};
int64_t g_marks[kMaxMarks];

// Counts a block of `bytes`; false when it is refused.
bool Take(size_t bytes) {
  if (!g_counting.load(std::memory_order_relaxed)) return true;
  const int64_t size = static_cast<int64_t>(bytes);
  if (bytes < kLarge) {
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

namespace {

// What a reading leaves (status, messages, PEP file), and the marks of its
// large blocks.
struct Reading {
  std::string outcome;
  std::set<int64_t> marks;
};

// Reads the net at path under `reading` in a child, with the bytes in use
// limited to `limit` while the net is read; the PEP file is then written with
// no limit.
Reading ReadUnder(const std::string& path, const varnost::MatrixReading& reading, int64_t limit) {
  const qxtest::ChildResult run = qxtest::RunInChild(
      [&] {
        varnost::SetMatrixReading(reading);
        vtest::ResetNet();
        std::remove((path + ".ll_net").c_str());
        g_limit = limit;
        g_inUse = 0;
        g_markCount = 0;
        g_counting = true;
        const vtest::ReadResult read = vtest::ReadNet(path);
        g_counting = false;
        const size_t marks = std::min(g_markCount.load(), kMaxMarks);
        for (size_t i = 0; i < marks; ++i) std::printf("%lld ", static_cast<long long>(g_marks[i]));
        std::printf("\n%d\n%s", read.status, read.out.c_str());
        if (read.status == 0) {
          SauvegardePep(NomModele);
          std::fputs(qxtest::ReadFile(path + ".ll_net").c_str(), stdout);
        }
        std::fflush(stdout);
        return 0;
      },
      30000);
  Reading result;
  EXPECT_TRUE(run.exited && run.status == 0) << "signal " << run.signal << "\n" << run.out;
  const size_t line = run.out.find('\n');
  if (line == std::string::npos) return result;
  result.outcome = run.out.substr(line + 1);
  const char* text = run.out.c_str();
  for (char* end = nullptr;; text = end) {
    const long long mark = std::strtoll(text, &end, 10);
    if (end == text) break;
    result.marks.insert(mark);
  }
  return result;
}

// 360 places and 1000 transitions, one cell in nine positive: 80000 arcs, more
// than a block of the arc list, while the list stays below the share at which
// the arcs are read back from the matrices; rows of less than kLarge bytes.
std::string SparseNet() {
  constexpr int kPlaces = 360, kTransitions = 1000;
  std::string text = std::to_string(kPlaces) + " " + std::to_string(kTransitions) + "\n";
  for (int row = 0; row < 2 * kPlaces; ++row) {
    for (int t = 0; t < kTransitions; ++t) text += (row * 7 + t * 4) % 9 == 0 ? "2 " : "0 ";
    text += "\n";
  }
  for (int p = 0; p < kPlaces; ++p) text += p % 3 == 0 ? "1 " : "0 ";
  return text + "\n";
}

class PartsUnderALimit : public vtest::NetTest {};

// Every limit at which a large block of either reading no longer fits (the
// parts' buffers, the first part's and the workers', their threads' stacks,
// each block of the growing arc list, the one-thread reader's own): the
// reading in parts leaves what the plain reading leaves under the same limit.
TEST_F(PartsUnderALimit, GivesWhatThePlainReadingGivesAtEveryLimit) {
  const std::string path = dir_.File("net.mat");
  qxtest::WriteFile(path, SparseNet());
  varnost::MatrixReading plain;
  plain.plain = true;
  varnost::MatrixReading parts;
  parts.threads = 3;
  parts.partBytes = 64 << 10;
  parts.minBytes = 0;

  const Reading free = ReadUnder(path, plain, INT64_MAX);
  ASSERT_TRUE(free.outcome.starts_with("0\n")) << free.outcome.substr(0, 500);
  EXPECT_TRUE(vtest::SameText(ReadUnder(path, parts, INT64_MAX).outcome, free.outcome));

  std::set<int64_t> limits;
  for (const int64_t mark : free.marks) limits.insert(mark - 1);
  for (const int64_t mark : ReadUnder(path, parts, INT64_MAX).marks) limits.insert(mark - 1);
  ASSERT_GT(limits.size(), 4u);
  // Under a limit that holds every large block of the plain reading (one
  // thread, one order), that reading goes as it goes without a limit.
  ASSERT_FALSE(free.marks.empty());
  const int64_t plainNeeds = *free.marks.rbegin();
  size_t converted = 0;
  for (const int64_t limit : limits) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    const std::string expected =
        limit >= plainNeeds ? free.outcome : ReadUnder(path, plain, limit).outcome;
    if (expected.starts_with("0\n")) ++converted;
    ASSERT_TRUE(vtest::SameText(ReadUnder(path, parts, limit).outcome, expected));
  }
  // Limits that the plain reading converts under, the parts' blocks failing.
  EXPECT_GT(converted, 0u);
}

}  // namespace
