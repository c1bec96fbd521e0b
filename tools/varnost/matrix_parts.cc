// SPDX-License-Identifier: MIT
#include "matrix_parts.h"

#include <errno.h>
#include <malloc.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "mapped_block.h"
#include "small_thread.h"
#include "token_reader.h"

namespace varnost {

namespace {

MatrixReading g_reading;

constexpr uint64_t kAlign = 64;

// A value that is not 0, by its token's number in its part.
struct PartValue {
  uint32_t index;
  int32_t value;
};

struct Part {
  // The tokens that start in [from, to) are the part's.
  uint64_t from = 0;
  uint64_t to = 0;
  bool boundary = false;  // from is known to start a token or separators

  // The part's text, and the values that are not 0, in token order: room for
  // one per two bytes of the range and one more, the most tokens that can
  // start in it. Pages a sparse net never fills are never touched.
  MappedBlock storage;
  MappedBlock values;
  size_t valueCount = 0;
  uint64_t tokens = 0;
  uint64_t positives = 0;
  uint64_t end = 0;  // offset after the last byte the part took
  bool clean = false;

  // Set when the part is placed.
  uint64_t base = 0;                 // number of its first value in the matrices
  std::vector<std::span<Arc>> arcs;  // where its arcs go; empty: no arcs kept
};

// Reads up to size bytes at offset; fewer only at the end of the file or on
// a read error, which both end the data.
size_t ReadAt(int fd, char* to, size_t size, uint64_t offset) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(fd, to + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

// Writes the values of the `count` one-digit tokens at p (a digit and a
// separator each) to `to`, numbered from `first`.
void TakeOneDigitValues(const char* p, uint64_t count, uint32_t first, PartValue* to) {
  uint64_t i = 0;
#if defined(__SSE2__)
  static_assert(sizeof(PartValue) == 8 && offsetof(PartValue, value) == 4);
  const __m128i zero = _mm_setzero_si128();
  __m128i numbers = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(first)), _mm_setr_epi32(0, 1, 2, 3));
  const __m128i four = _mm_set1_epi32(4);
  for (; count - i >= 8; i += 8) {
    // The digits are the even bytes: eight 16-bit lanes, then two times four
    // 32-bit values beside their numbers.
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
    const __m128i digits = _mm_sub_epi16(_mm_and_si128(text, _mm_set1_epi16(0x00FF)), _mm_set1_epi16('0'));
    const __m128i low = _mm_unpacklo_epi16(digits, zero);
    const __m128i high = _mm_unpackhi_epi16(digits, zero);
    const __m128i nextNumbers = _mm_add_epi32(numbers, four);
    __m128i* out = reinterpret_cast<__m128i*>(to + i);
    _mm_storeu_si128(out, _mm_unpacklo_epi32(numbers, low));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi32(numbers, low));
    _mm_storeu_si128(out + 2, _mm_unpacklo_epi32(nextNumbers, high));
    _mm_storeu_si128(out + 3, _mm_unpackhi_epi32(nextNumbers, high));
    numbers = _mm_add_epi32(nextNumbers, four);
  }
#endif
  for (; i < count; ++i) {
    to[i] = PartValue{first + static_cast<uint32_t>(i), static_cast<int32_t>(p[2 * i] - '0')};
  }
}

// Reads and converts one part. Stops at the first thing that makes the part
// unclean: the one-thread reader takes it over from its start.
void Convert(Part& part, int fd, size_t reach) {
  part.clean = false;
  part.tokens = 0;
  part.positives = 0;
  part.valueCount = 0;
  // The byte before the range tells whether it starts inside a token.
  const uint64_t readFrom = part.boundary ? part.from : part.from - 1;
  const size_t want = static_cast<size_t>(part.to + reach - readFrom);
  char* const b = static_cast<char*>(part.storage.data()) + readFrom % kAlign;
  const char* const e = b + ReadAt(fd, b, want, readFrom);
  const char* const stop = b + (part.to - readFrom);
  const char* p = b + (part.from - readFrom);
  if (p > e) return;
  if (!part.boundary && !IsTokenSeparator(p[-1], true)) {
    // The end of a token of the part before.
    while (p != e && !IsTokenSeparator(*p, true)) {
      if (*p == '\0') return;
      ++p;
    }
    if (p == e) return;
  }
  PartValue* const values = static_cast<PartValue*>(part.values.data());
  auto record = [&](int32_t v) {
    values[part.valueCount++] = PartValue{static_cast<uint32_t>(part.tokens), v};
    part.positives += v > 0;
  };
  for (;;) {
    while (p < stop && p != e && IsTokenSeparator(*p, true)) ++p;
    if (p >= stop) break;
    if (p == e) return;  // the data ends inside the range
    const char c = *p;
    if (c == '0') {
      const uint64_t pairs = ZeroPairs(p, e, static_cast<uint64_t>(stop - p + 1) / 2);
      if (pairs > 0) {
        part.tokens += pairs;
        p += 2 * pairs;
        continue;
      }
      if (e - p >= 2 && IsTokenSeparator(p[1], true)) {
        ++part.tokens;
        p += 2;
        continue;
      }
    } else if (c >= '1' && c <= '9') {
      const uint64_t ones = OneDigitValues(p, e, static_cast<uint64_t>(stop - p + 1) / 2);
      if (ones > 0) {
        TakeOneDigitValues(p, ones, static_cast<uint32_t>(part.tokens), values + part.valueCount);
        part.valueCount += ones;
        part.tokens += ones;
        part.positives += ones;
        p += 2 * ones;
        continue;
      }
      int32_t v = 0;
      if (const char* next = ShortNumber(p, e, &v)) {
        record(v);
        ++part.tokens;
        p = next;
        continue;
      }
    }
    TokenValue token;
    const char* q = p;
    for (; q != e && !IsTokenSeparator(*q, true); ++q) {
      if (*q == '\0') return;
      token.Feed(*q);
    }
    // A token cut by the end of what was read: the end of the data, or a
    // token longer than the reach.
    if (q == e) return;
    int32_t v = 0;
    if (!token.Get(&v)) return;
    if (v != 0) record(v);
    ++part.tokens;
    p = q + 1;
  }
  part.end = readFrom + static_cast<uint64_t>(p - b);
  part.clean = true;
}

// Stores the values of a placed part, and its arcs when it has room for them,
// a row at a time: one division per row reached, plain stores within it.
void Store(const Part& part, const MatrixCells& cells) {
  const uint64_t transitions = cells.transitions;
  const PartValue* v = static_cast<const PartValue*>(part.values.data());
  const PartValue* const end = v + part.valueCount;
  const bool withArcs = !part.arcs.empty();
  auto room = part.arcs.begin();
  size_t used = 0;
  while (v != end) {
    const uint64_t row = (part.base + v->index) / transitions;
    const uint64_t rowStart = row * transitions;  // the number of the row's first cell
    const uint64_t next = rowStart + transitions - part.base;  // the part's index of the next row
    int* const rowCells = row < cells.places ? cells.pre[row] : cells.post[row - cells.places];
    for (; v != end && v->index < next; ++v) {
      const uint64_t col = part.base + v->index - rowStart;
      rowCells[col] = v->value;
      if (v->value > 0 && withArcs) {
        if (used == room->size()) {
          ++room;
          used = 0;
        }
        (*room)[used++] = Arc{static_cast<uint32_t>(row), static_cast<uint32_t>(col)};
      }
    }
  }
}

// Where the parts stand. Parts are numbered in file order and taken by the
// threads as they come free; each is placed (given its first value's number
// and its room in the arc list) right after it is converted and the part
// before it placed, by the thread that converted it, which then stores it.
// Placing is the only step done in file order, and it is short.
class Chain {
 public:
  static constexpr uint64_t kOver = UINT64_MAX;

  explicit Chain(uint64_t offset) : offset_(offset) {}

  uint64_t TakeTicket() { return ticket_.fetch_add(1, std::memory_order_relaxed); }
  bool Over() const { return turn_.load(std::memory_order_acquire) == kOver; }

  // Waits until part k may be placed; false when no further part will be.
  bool AwaitTurn(uint64_t k) const {
    for (;;) {
      const uint64_t turn = turn_.load(std::memory_order_acquire);
      if (turn == k) return true;
      if (turn == kOver) return false;
      turn_.wait(turn, std::memory_order_acquire);
    }
  }

  // Places part k (its turn has come): accepts it when it is clean and within
  // the matrices, makes room for its arcs, and passes the turn on. False when
  // the part is not accepted: the parts end there. The part whose arcs find
  // no room ends them too: the one-thread reader takes that part over once
  // the parts have released their memory, so that a net is refused for
  // memory only where that reader alone would refuse it.
  bool Place(uint64_t k, Part& part, uint64_t count, ArcList& arcs) {
    if (!part.clean || part.tokens > count - taken_) {
      Pass(kOver);
      return false;
    }
    part.base = taken_;
    part.arcs.clear();
    if (!inMatrices_ && part.positives > 0) {
      // The arcs go to the list until they are one cell in kDenseShare; from
      // then on they are read back from the matrices, and the list is dropped
      // once no part is storing into it any more.
      if (arcs.ReachesDenseShare(part.positives) && arcs.ReserveScan()) {
        inMatrices_ = true;
        // No part from this one on has stored anything yet.
        arcs.OfferHugePagesFrom(taken_);
      } else if (arcs.Extend(part.positives)) {
        const uint64_t first = arcs.size() - part.positives;
        arcs.ForEachRoom(first, part.positives,
                         [&](Arc* room, size_t n) { part.arcs.emplace_back(room, n); });
      } else {
        Pass(kOver);
        return false;
      }
    }
    taken_ += part.tokens;
    offset_ = part.end;
    Pass(taken_ == count ? kOver : k + 1);
    return true;
  }

  // The outcome, once every thread is done.
  PartsProgress Progress() const { return PartsProgress{taken_, offset_}; }
  bool ArcsInMatrices() const { return inMatrices_; }

 private:
  void Pass(uint64_t turn) {
    turn_.store(turn, std::memory_order_release);
    turn_.notify_all();
  }

  std::atomic<uint64_t> ticket_{0};
  std::atomic<uint64_t> turn_{0};
  // Written only by the part whose turn it is, and read by the next one after
  // the turn has passed to it.
  uint64_t taken_ = 0;
  uint64_t offset_;
  bool inMatrices_ = false;
};

// The cores this process may run on (its affinity mask), which a container or
// a task set may keep below the machine's.
unsigned UsableCores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
  return std::thread::hardware_concurrency();
}

}  // namespace

void SetMatrixReading(const MatrixReading& reading) {
  g_reading = reading;
  g_reading.threads = std::min(g_reading.threads, MatrixReading::kMaxThreads);
  g_reading.partBytes = std::clamp<size_t>(g_reading.partBytes, 1, MatrixReading::kMaxPartBytes);
  g_reading.tokenReach = std::clamp<size_t>(g_reading.tokenReach, 1, MatrixReading::kMaxPartBytes);
}

const MatrixReading& CurrentMatrixReading() { return g_reading; }

unsigned PartThreads(const MatrixReading& reading) {
  if (reading.plain) return 0;
  if (reading.threads > 0) return reading.threads;
  const unsigned cores = UsableCores();
  // One core: the one-thread reader is quicker than parts.
  return cores > 1 ? std::min(cores, MatrixReading::kMaxThreads) : 0;
}

PartsProgress ReadMatrixParts(int fd, uint64_t offset, uint64_t count, const MatrixCells& cells,
                              ArcList& arcs, unsigned threads, const MatrixReading& reading) {
  PartsProgress progress;
  progress.offset = offset;
  if (count == 0 || threads == 0 || cells.transitions == 0) return progress;
  const uint64_t partBytes = reading.partBytes;
  const size_t reach = reading.tokenReach;
  // A part's arcs lie in at most this many blocks of the arc list.
  const size_t arcRuns = static_cast<size_t>((partBytes + reach) / 2 / ArcList::kBlock + 2);
  // Each thread's part buffers are taken just before it starts, and given
  // back at once when it cannot start: memory goes to threads that run.
  auto equip = [&](Part& part) {
    part.storage = MappedBlock(partBytes + reach + 2 * kAlign);
    part.values = MappedBlock((partBytes / 2 + 1) * sizeof(PartValue));
    try {
      part.arcs.reserve(arcRuns);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return part.storage.ok() && part.values.ok();
  };
#ifdef M_ARENA_MAX
  // The workers' few allocations (blocks of the arc list) come from the
  // process's main arena: an arena of their own would reserve 64 MiB of
  // address space each, kept after the threads end, which a memory limit
  // counts and the one-thread reader after them would miss.
  mallopt(M_ARENA_MAX, 1);
#endif
  std::unique_ptr<Part[]> parts(new (std::nothrow) Part[threads]);
  if (parts == nullptr || !equip(parts[0])) return progress;

  Chain chain(offset);
  auto work = [&](Part& part) {
    while (!chain.Over()) {
      const uint64_t k = chain.TakeTicket();
      part.from = offset + k * partBytes;
      part.to = part.from + partBytes;
      part.boundary = k == 0;
      Convert(part, fd, reach);
      if (!chain.AwaitTurn(k) || !chain.Place(k, part, count, arcs)) return;
      Store(part, cells);
    }
  };
  {
    std::vector<std::unique_ptr<SmallThread>> workers;
    try {
      workers.reserve(threads - 1);
      for (unsigned i = 1; i < threads; ++i) {
        if (!equip(parts[i])) break;
        workers.push_back(std::make_unique<SmallThread>([&work, &part = parts[i]] { work(part); }));
        if (!workers.back()->started()) {
          workers.pop_back();
          break;
        }
      }
    } catch (const std::bad_alloc&) {
      // No more threads: the parts are shared by those that started.
    }
    work(parts[0]);
  }  // the workers are joined here
  parts.reset();

  if (chain.ArcsInMatrices()) arcs.MoveToMatrices();
  return chain.Progress();
}

}  // namespace varnost
