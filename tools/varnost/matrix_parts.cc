#include "matrix_parts.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <barrier>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

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
  // The round's range: the tokens that start in [from, to).
  uint64_t from = 0;
  uint64_t to = 0;
  bool boundary = false;  // from is known to start a token or separators

  std::unique_ptr<char[]> storage;
  std::vector<PartValue> values;
  uint64_t tokens = 0;
  uint64_t positives = 0;
  uint64_t end = 0;  // offset after the last byte the part took
  bool clean = false;

  bool accepted = false;
  uint64_t base = 0;     // number of its first value in the matrices
  uint64_t arcBase = 0;  // index of its first arc in the arc list
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

// Reads and converts one part. Stops at the first thing that makes the part
// unclean: the one-thread reader takes it over from its start.
void Convert(Part& part, int fd, size_t reach) {
  part.clean = false;
  part.tokens = 0;
  part.positives = 0;
  part.values.clear();
  // The byte before the range tells whether it starts inside a token.
  const uint64_t readFrom = part.boundary ? part.from : part.from - 1;
  const size_t want = static_cast<size_t>(part.to + reach - readFrom);
  char* const b = part.storage.get() +
                  (kAlign - reinterpret_cast<uintptr_t>(part.storage.get()) % kAlign) % kAlign +
                  readFrom % kAlign;
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
  auto record = [&](int32_t v) {
    part.values.push_back(PartValue{static_cast<uint32_t>(part.tokens), v});
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

// Stores the values of an accepted part, and its arcs when withArcs.
void Store(const Part& part, const MatrixCells& cells, ArcList& arcs, bool withArcs) {
  const uint64_t transitions = cells.transitions;
  uint64_t row = part.base / transitions;
  uint64_t col = part.base % transitions;
  uint64_t last = 0;
  uint64_t arc = part.arcBase;
  for (const PartValue& v : part.values) {
    // A division only when a row boundary was crossed.
    col += v.index - last;
    last = v.index;
    if (col >= transitions) {
      row += col / transitions;
      col %= transitions;
    }
    int* cell = row < cells.places ? &cells.pre[row][col] : &cells.post[row - cells.places][col];
    *cell = v.value;
    if (v.value > 0 && withArcs) {
      arcs.Set(arc++, Arc{static_cast<uint32_t>(row), static_cast<uint32_t>(col)});
    }
  }
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
  const unsigned cores = std::thread::hardware_concurrency();
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
  std::vector<Part> parts;
  try {
    parts.resize(threads);
  } catch (const std::bad_alloc&) {
    return progress;
  }
  for (Part& part : parts) {
    part.storage.reset(new (std::nothrow) char[partBytes + reach + 2 * kAlign]);
    if (part.storage == nullptr) return progress;
  }

  // Every round: the parts are set (by this thread), converted, judged (by
  // this thread), stored. Each step ends at the barrier, which orders what the
  // threads write in one step before what the others read in the next. The
  // setting of the next round overlaps the storing of the others: it touches
  // only the ranges, which storing does not read.
  std::barrier<> sync(static_cast<std::ptrdiff_t>(threads));
  bool stop = false;
  bool withArcs = true;
  auto work = [&](unsigned i) {
    Part& part = parts[i];
    for (;;) {
      sync.arrive_and_wait();
      if (stop) return;
      try {
        Convert(part, fd, reach);
      } catch (const std::bad_alloc&) {
        part.clean = false;
      }
      sync.arrive_and_wait();
      sync.arrive_and_wait();
      if (part.accepted) Store(part, cells, arcs, withArcs);
    }
  };
  std::vector<std::thread> workers;
  unsigned started = 1;
  try {
    workers.reserve(threads - 1);
    for (unsigned i = 1; i < threads; ++i, ++started) workers.emplace_back(work, i);
  } catch (const std::exception&) {
    // No more threads: the ones started are sent home, and the one-thread
    // reader does it all.
    for (unsigned i = started; i < threads; ++i) sync.arrive_and_drop();
    stop = true;
    sync.arrive_and_wait();
    for (std::thread& w : workers) w.join();
    return progress;
  }

  for (bool done = false; !done;) {
    const uint64_t at = progress.offset;
    for (unsigned i = 0; i < threads; ++i) {
      parts[i].from = at + i * partBytes;
      parts[i].to = at + (i + 1) * partBytes;
      parts[i].boundary = i == 0;
    }
    sync.arrive_and_wait();
    try {
      Convert(parts[0], fd, reach);
    } catch (const std::bad_alloc&) {
      parts[0].clean = false;
    }
    sync.arrive_and_wait();
    // The parts are taken in order while they are clean and within the
    // matrices; their counts place them.
    uint64_t base = progress.taken;
    uint64_t newArcs = 0;
    done = true;
    for (Part& part : parts) part.accepted = false;
    for (Part& part : parts) {
      if (!part.clean || part.tokens > count - base) break;
      part.accepted = true;
      part.base = base;
      part.arcBase = arcs.size() + newArcs;
      base += part.tokens;
      newArcs += part.positives;
      progress.offset = part.end;
      if (&part == &parts.back() && base < count) done = false;
    }
    progress.taken = base;
    if (!progress.arcsExhausted && !arcs.MoveToMatricesFor(newArcs) && newArcs > 0 &&
        !arcs.Extend(newArcs)) {
      progress.arcsExhausted = true;
    }
    withArcs = !progress.arcsExhausted && !arcs.InMatrices();
    sync.arrive_and_wait();
    if (parts[0].accepted) Store(parts[0], cells, arcs, withArcs);
  }
  stop = true;
  sync.arrive_and_wait();
  for (std::thread& w : workers) w.join();
  return progress;
}

}  // namespace varnost
