// SPDX-License-Identifier: MIT
// The matrices read in parts under a memory limit give, byte for byte, what
// the plain reading gives under the same limit: a part that finds no room
// gives back what it holds and leaves the rest to the one-thread reader, so
// that a net is converted, or refused for memory, exactly as that reader
// alone would.
//
// The limit is kept by this program itself (counted_memory.h): only blocks of
// kLarge bytes or more are refused, so that the limit meets the reader's
// buffers rather than the test's own strings. The limits tried are those at
// which each large block of a reading is the one that no longer fits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "TypePN.h"
#include "common/qxtest.h"
#include "counted_memory.h"
#include "matrix_parts.h"
#include "net_testing.h"

namespace {

constexpr size_t kLarge = 4096;

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
        memtest::StartCounting(limit, kLarge);
        const vtest::ReadResult read = vtest::ReadNet(path);
        memtest::StopCounting();
        for (const int64_t mark : memtest::Marks()) std::printf("%lld ", static_cast<long long>(mark));
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
