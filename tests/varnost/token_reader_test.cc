// SPDX-License-Identifier: MIT
// Tokens of the matrix file: strtok/strtol semantics, the two separator sets,
// and chunk boundaries that must not show.
#include "token_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/qxtest.h"

namespace {

// What reading N matrix values and M marking values gives.
struct Outcome {
  std::map<uint64_t, int32_t> matrix;  // non-zero values by index
  std::vector<int32_t> marking;
  enum Stop { kComplete, kEnd, kRange } stop = kComplete;
  uint64_t stopIndex = 0;  // index (matrix, then N + marking index) where it stopped

  bool operator==(const Outcome& o) const {
    return matrix == o.matrix && marking == o.marking && stop == o.stop && stopIndex == o.stopIndex;
  }
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  os << "stop " << o.stop << " at " << o.stopIndex << "; matrix {";
  for (auto [i, v] : o.matrix) os << i << ":" << v << " ";
  os << "} marking {";
  for (int v : o.marking) os << v << " ";
  return os << "}";
}

// The reference: the whole text as one C string, cut with strtok and
// converted with strtol, as the file would be if it were read in one piece.
Outcome Model(const std::string& text, uint64_t n, uint64_t m) {
  std::string copy(text.c_str());  // the data ends at a NUL byte
  Outcome o;
  char* tok = std::strtok(copy.data(), " \t\n");
  auto convert = [&](uint64_t index, int32_t* v) {
    errno = 0;
    const long value = std::strtol(tok, nullptr, 10);
    if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
      o.stop = Outcome::kRange;
      o.stopIndex = index;
      return false;
    }
    *v = static_cast<int32_t>(value);
    return true;
  };
  for (uint64_t i = 0; i < n; ++i) {
    if (tok == nullptr) {
      o.stop = Outcome::kEnd;
      o.stopIndex = i;
      return o;
    }
    int32_t v;
    if (!convert(i, &v)) return o;
    if (v != 0) o.matrix[i] = v;
    tok = std::strtok(nullptr, " \t\n");
  }
  for (uint64_t k = 0; k < m; ++k) {
    if (tok == nullptr) {
      o.stop = Outcome::kEnd;
      o.stopIndex = n + k;
      return o;
    }
    int32_t v;
    if (!convert(n + k, &v)) return o;
    o.marking.push_back(v);
    tok = std::strtok(nullptr, " \t");
  }
  return o;
}

Outcome Read(const std::string& path, size_t chunk, uint64_t n, uint64_t m) {
  FILE* file = std::fopen(path.c_str(), "r");
  EXPECT_NE(file, nullptr);
  Outcome o;
  {
    varnost::TokenReader reader(file, chunk);
    bool outOfRange = false;
    const uint64_t taken =
        reader.TakeValues(n, &outOfRange, [&](uint64_t i, int32_t v) { o.matrix[i] = v; });
    if (taken < n) {
      o.stop = outOfRange ? Outcome::kRange : Outcome::kEnd;
      o.stopIndex = taken;
    } else {
      for (uint64_t k = 0; k < m; ++k) {
        const bool newline = k == 0;
        if (!reader.NextToken(newline)) {
          o.stop = Outcome::kEnd;
          o.stopIndex = n + k;
          break;
        }
        int32_t v = 0;
        if (!reader.TakeValue(newline, &v)) {
          o.stop = Outcome::kRange;
          o.stopIndex = n + k;
          break;
        }
        o.marking.push_back(v);
      }
    }
  }
  std::fclose(file);
  return o;
}

const size_t kChunks[] = {1, 2, 3, 5, 7, 16, varnost::TokenReader::kDefaultChunk};

struct TextCase {
  const char* name;
  std::string text;
  uint64_t n, m;
};

class TokenText : public ::testing::TestWithParam<TextCase> {};

TEST_P(TokenText, EveryChunkSizeReadsLikeOnePiece) {
  const TextCase& c = GetParam();
  qxtest::TempDir dir;
  const std::string path = dir.File("net");
  qxtest::WriteFile(path, c.text);
  const Outcome expected = Model(c.text, c.n, c.m);
  for (size_t chunk : kChunks) EXPECT_EQ(Read(path, chunk, c.n, c.m), expected) << "chunk " << chunk;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TokenText,
    ::testing::Values(
        TextCase{"zeros_fast_path", "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1\n0 2 0", 19, 2},
        TextCase{"strtol_prefixes", "3x x -7 +4 - + \r5 007 12\r 0x1f", 10, 0},
        TextCase{"int32_bounds", "2147483647 -2147483648 26 -0", 4, 0},
        TextCase{"too_big", "1 2147483648 3", 3, 0},
        TextCase{"too_small", "-2147483649", 1, 0},
        TextCase{"huge_with_leading_zeros", "000000000000000000000000000000042 1", 2, 0},
        TextCase{"huge_digits", "99999999999999999999999999 1", 2, 0},
        TextCase{"marking_one_line", "1 0\n 2\t0 \t 3\n", 2, 3},
        TextCase{"marking_one_per_line", "1\n0\n1\n", 0, 3},
        TextCase{"marking_newline_inside_token", "0\n1 5", 0, 2},
        TextCase{"marking_first_after_newlines", "7\n\n\n4 9", 1, 2},
        TextCase{"marking_out_of_range", "1 1\n1 3000000000", 2, 2},
        TextCase{"nul_ends_data", std::string("1 2\0 3 4", 8), 4, 0},
        TextCase{"only_separators", " \t\n\n \t", 1, 0},
        TextCase{"empty", "", 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TokenRandom, RandomTextsMatchTheModelAtEveryChunkSize) {
  const std::vector<std::string> tokens{
      "0", "0", "0", "0", "1", "9", "26", "-7", "+3", "3x", "x", "-", "+", "\r5", "12\r",
      "\v\f8", "0000000000000000000017", "2147483647", "-2147483648", "2147483648",
      "123456789", "1234567890", "-99999999999"};
  const std::vector<std::string> separators{" ", " ", " ", "\t", "\n", "  ", " \n\t", "\n\n"};
  std::mt19937 rng(5);
  qxtest::TempDir dir;
  const std::string path = dir.File("net");
  for (int round = 0; round < 300; ++round) {
    const uint64_t n = rng() % 40;
    const uint64_t m = rng() % 8;
    // Sometimes fewer tokens than needed, sometimes more.
    const uint64_t count = n + m + rng() % 3 - std::min<uint64_t>(n + m, rng() % 3);
    std::string text = rng() % 2 ? "" : separators[rng() % separators.size()];
    for (uint64_t i = 0; i < count; ++i) {
      text += tokens[rng() % tokens.size()];
      text += separators[rng() % separators.size()];
    }
    if (rng() % 20 == 0) text.insert(rng() % (text.size() + 1), 1, '\0');
    qxtest::WriteFile(path, text);
    const Outcome expected = Model(text, n, m);
    for (size_t chunk : kChunks) {
      ASSERT_EQ(Read(path, chunk, n, m), expected) << "round " << round << " chunk " << chunk;
    }
  }
}

// The run counters of the fast paths against one token at a time, for every
// run length around the vector widths (16, 32 and 64 bytes), every way a run
// ends, every limit and every alignment. The text ends exactly at the end of
// its heap block, so a read past it is caught by the address sanitizer.
struct RunCounter {
  const char* name;
  uint64_t (*count)(const char*, const char*, uint64_t);
  // The i-th token of a run, and whether two bytes make one.
  std::string (*unit)(uint64_t);
  bool (*one)(const char*);
};

class RunCounters : public ::testing::TestWithParam<RunCounter> {};

TEST_P(RunCounters, CountWhatOneTokenAtATimeCounts) {
  const RunCounter& c = GetParam();
  auto naive = [&](const char* p, const char* end, uint64_t maxTokens) {
    uint64_t n = 0;
    while (n < maxTokens && end - p >= 2 && c.one(p)) {
      p += 2;
      ++n;
    }
    return n;
  };
  for (const std::string ending : {"", "0", "1", "1 ", "0\n", "00", "0\t", "12 ", "9\r", "x "}) {
    for (uint64_t run = 0; run <= 140; ++run) {
      std::string text;
      for (uint64_t i = 0; i < run; ++i) text += c.unit(i);
      text += ending;
      for (size_t shift = 0; shift < 4; ++shift) {
        const size_t size = shift + text.size();
        std::unique_ptr<char[]> block(new char[size > 0 ? size : 1]);
        std::memcpy(block.get() + shift, text.data(), text.size());
        const char* p = block.get() + shift;
        const char* end = block.get() + size;
        for (uint64_t limit : {run, run + 1, run / 2, run > 0 ? run - 1 : 0, uint64_t{UINT64_MAX}}) {
          ASSERT_EQ(c.count(p, end, limit), naive(p, end, limit))
              << "run " << run << " ending '" << ending << "' shift " << shift << " limit " << limit;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Counters, RunCounters,
    ::testing::Values(
        RunCounter{"zero_pairs", varnost::ZeroPairs, [](uint64_t) { return std::string("0 "); },
                   [](const char* p) { return p[0] == '0' && p[1] == ' '; }},
        RunCounter{"one_digit_values", varnost::OneDigitValues,
                   [](uint64_t i) {
                     return std::string(1, static_cast<char>('1' + i % 9)) + " \t\n"[i % 7 % 3];
                   },
                   [](const char* p) {
                     return p[0] >= '1' && p[0] <= '9' && (p[1] == ' ' || p[1] == '\t' || p[1] == '\n');
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TokenLimit, ReadsNoFurtherThanTheByteLimit) {
  qxtest::TempDir dir;
  const std::string path = dir.File("net");
  qxtest::WriteFile(path, "1 2 3 4");
  FILE* file = std::fopen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  varnost::TokenReader reader(file, 2, 4);  // "1 2 "
  bool outOfRange = false;
  std::vector<int32_t> seen;
  EXPECT_EQ(reader.TakeValues(4, &outOfRange, [&](uint64_t, int32_t v) { seen.push_back(v); }), 2u);
  EXPECT_FALSE(outOfRange);
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2}));
  std::fclose(file);
}

}  // namespace
