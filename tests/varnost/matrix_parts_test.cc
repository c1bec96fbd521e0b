// SPDX-License-Identifier: MIT
// The matrices read in parts over several threads give exactly what the plain
// one-token-at-a-time reading gives: the same globals, messages and PEP file,
// whatever the number of threads, the size of the parts and the reach past
// them.
#include <sched.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "TypePN.h"
#include "common/qxtest.h"
#include "matrix_parts.h"
#include "net_testing.h"

namespace {

// Restores the tool's own way of reading when a test ends.
class Reading : public vtest::NetTest {
 protected:
  void TearDown() override {
    varnost::SetMatrixReading(varnost::MatrixReading{});
    vtest::NetTest::TearDown();
  }

  // Everything a read leaves: status, messages, matrices, sets, PEP file.
  std::string Outcome(const std::string& path, const varnost::MatrixReading& reading) {
    varnost::SetMatrixReading(reading);
    vtest::ResetNet();
    std::remove((path + ".ll_net").c_str());
    int status = 0;
    std::string out = qxtest::CaptureFd(1, [&] {
      const vtest::ReadResult r = vtest::ReadNet(path);
      status = r.status;
      std::fputs(r.out.c_str(), stdout);
      if (Pre != nullptr && Post != nullptr && Marking != nullptr) AfficheNet();
      if (status == 0) {
        AfficheNet2();
        SauvegardePep(NomModele);
      }
    });
    if (status == 0) out += qxtest::ReadFile(path + ".ll_net");
    return std::to_string(status) + "\n" + out;
  }
};

struct FileCase {
  const char* name;
  std::string text;
};

class ReadingInParts : public Reading, public ::testing::WithParamInterface<FileCase> {};

TEST_P(ReadingInParts, GivesWhatThePlainReadingGives) {
  const std::string path = dir_.File("net.mat");
  qxtest::WriteFile(path, GetParam().text);
  varnost::MatrixReading plain;
  plain.plain = true;
  const std::string expected = Outcome(path, plain);
  for (unsigned threads : {1u, 2u, 3u}) {
    for (size_t part : {1u, 2u, 3u, 5u, 8u, 64u}) {
      for (size_t reach : {1u, 3u, 4096u}) {
        varnost::MatrixReading parts;
        parts.threads = threads;
        parts.partBytes = part;
        parts.tokenReach = reach;
        parts.minBytes = 0;
        ASSERT_EQ(Outcome(path, parts), expected)
            << "threads " << threads << " part " << part << " reach " << reach;
      }
    }
  }
  // The tool's own reading, which leaves a file this small to one thread.
  EXPECT_EQ(Outcome(path, varnost::MatrixReading{}), expected);
}

// Nets of 2 places and 3 transitions unless the counts say otherwise.
const std::string kPre = "1 0 2\n0 0 0\n";
const std::string kPost = "0 3 0\n1 0 1\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadingInParts,
    ::testing::Values(
        FileCase{"valid", "2\n3\n" + kPre + kPost + "1 0\n"},
        FileCase{"rows_over_lines_tabs_and_runs", "2 3\n1\t0\n\n2   0 0 0\t\t0 3\n0 1\n0 1\n0\t5 \n"},
        FileCase{"strtol_prefixes", "2 3 3x x -7 +4 \r5 - 007 + 12\r 0x1f 0 1 1\n"},
        FileCase{"crlf_rows", "2\r\n3\r\n1 0 2\r\n0 0 0\r\n0 3 0\r\n1 0 1\r\n1 0\r\n"},
        FileCase{"long_tokens", "2 3 00000000000000000000000000000000000000042 0 " +
                                    std::string(300, '0') + " 0 0 0 1 0 0 0 0 1 1 0\n"},
        FileCase{"int32_bounds", "2 3 2147483647 -2147483648 0 0 0 0 0 0 0 0 0 1 0 0\n"},
        FileCase{"out_of_range_in_pre", "2\n3\n1 0 2\n0 2147483648 0\n" + kPost + "1 0\n"},
        FileCase{"out_of_range_in_post", "2\n3\n" + kPre + "0 3 0\n1 -2147483649 1\n1 0\n"},
        FileCase{"out_of_range_in_marking", "2\n3\n" + kPre + kPost + "1 99999999999\n"},
        FileCase{"two_faults_the_first_counts", "2 3 1 0 9999999999 0 0 0 0 0 0 0 0 0 1 0 "
                                                "9999999999\n"},
        FileCase{"short_pre", "2\n3\n1 0 2\n0\n"},
        FileCase{"short_post", "2\n3\n" + kPre + "0 3 0\n1\n"},
        FileCase{"ends_after_post", "2\n3\n" + kPre + kPost},
        FileCase{"ends_without_newline", "2\n3\n" + kPre + kPost + "0 1"},
        FileCase{"marking_one_per_line", "3\n1\n1\n0\n0\n0\n1\n0\n1\n0\n1\n"},
        FileCase{"nul_in_pre", std::string("2\n3\n1 0 2\n0 0\0 0\n", 16) + kPost + "1 0\n"},
        FileCase{"nul_after_matrices", "2\n3\n" + kPre + kPost + std::string("1\0 1\n", 5)},
        FileCase{"separators_after_matrices", "2\n3\n" + kPre + kPost + " \t\n\n \t1\t0\n"},
        FileCase{"counts_beyond_the_file", "200\n300\n1 0 1\n"},
        FileCase{"one_digit_runs", "3 8\n1 2 3 4 5 6 7 8\n9\t1 2 3 4 5 6 7\n1 1 1 1 1 1 1 1\n"
                                   "2 2 2 12 2 2 2 2\n3 3 3 3 3 3 3 3x\n4 4 4 4 4 4 4 4\n1 0 1\n"},
        FileCase{"one_digit_runs_with_a_fault", "3 8\n1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7 1 1 1 1 1 1 1 "
                                                "1 2 2 2 2 2 2 2 2 3 3 3 3 3 3 3 9999999999 4 4 4 4 4 "
                                                "4 4 4\n1 0 1\n"},
        FileCase{"no_transitions", "2\n0\n1 1\n"},
        FileCase{"no_places", "0\n3\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Larger nets than the parts, with values of every kind, one sparse (its arcs
// kept in a list) and one dense (its arcs read back from the matrices), each
// whole and with a fault near its end: the parts take most of it and leave the
// fault to the plain reading.
TEST_F(Reading, ManyPartsThenAFault) {
  const std::string path = dir_.File("net.mat");
  for (int density : {3, 11}) {
    std::string text = "12\n20\n";
    for (int row = 0; row < 24; ++row) {
      for (int t = 0; t < 20; ++t) {
        text += (row * 7 + t * 3) % density == 0 ? std::to_string(row % 9 + 1) : "0";
        text += t + 1 < 20 ? " " : "\n";
      }
    }
    text += "1 0 1 0 1 0 1 0 1 0 1 0\n";
    for (const std::string& file : {text, text.substr(0, text.size() - 40) + "3000000000 0\n"}) {
      qxtest::WriteFile(path, file);
      varnost::MatrixReading plain;
      plain.plain = true;
      const std::string expected = Outcome(path, plain);
      for (unsigned threads : {2u, 4u}) {
        for (size_t part : {7u, 100u}) {
          varnost::MatrixReading parts;
          parts.threads = threads;
          parts.partBytes = part;
          parts.minBytes = 0;
          ASSERT_EQ(Outcome(path, parts), expected)
              << "density " << density << " threads " << threads << " part " << part;
        }
      }
    }
  }
}

// Reads the net at path under `reading` in a child whose address space may
// grow by at most `room` bytes; the child ends with the reader's status (0 or
// 1) and its messages.
qxtest::ChildResult ReadUnderLimit(const std::string& path, const varnost::MatrixReading& reading,
                                   uint64_t room) {
  return qxtest::RunInChild([&] {
    varnost::SetMatrixReading(reading);
    vtest::ResetNet();
    if (!vtest::LimitAddressSpace(room)) return 2;
    const int status = vtest::ReadNet(path).status;
    std::fflush(stdout);
    return status == 0 ? 0 : 1;
  });
}

// Under a memory limit, the reading in parts converts every net the plain
// reading converts: when the parts find no room, they give back what they hold
// (buffers, thread stacks) and the one-thread reader goes on. The limits swept
// run from the least the plain reading needs to well past the memory of the
// parts' threads.
TEST_F(Reading, PartsConvertWhateverThePlainReadingConvertsUnderAMemoryLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' reserved shadow memory leaves no room for an address space limit";
#endif
  // 300 places, 2000 transitions, one cell in eleven positive: its arcs (a
  // megabyte) stay in the arc list, which grows while the parts run.
  constexpr int kPlaces = 300, kTransitions = 2000;
  std::string text = std::to_string(kPlaces) + " " + std::to_string(kTransitions) + "\n";
  for (int row = 0; row < 2 * kPlaces; ++row) {
    for (int t = 0; t < kTransitions; ++t) {
      text += (row * 7 + t * 3) % 11 == 0 ? "1 " : "0 ";
    }
    text += "\n";
  }
  for (int p = 0; p < kPlaces; ++p) text += p % 2 == 0 ? "1 " : "0 ";
  text += "\n";
  const std::string path = dir_.File("net.mat");
  qxtest::WriteFile(path, text);

  varnost::MatrixReading plain;
  plain.plain = true;
  // The least room the plain reading converts the net in, to 128 KiB.
  uint64_t low = 0, high = uint64_t{64} << 20;
  ASSERT_EQ(ReadUnderLimit(path, plain, high).status, 0);
  while (high - low > (uint64_t{128} << 10)) {
    const uint64_t middle = low + (high - low) / 2;
    (ReadUnderLimit(path, plain, middle).status == 0 ? high : low) = middle;
  }

  varnost::MatrixReading parts;
  parts.threads = 3;
  parts.partBytes = 64 << 10;
  parts.minBytes = 0;
  for (uint64_t room = high; room <= high + (uint64_t{20} << 20); room += uint64_t{1} << 20) {
    const qxtest::ChildResult run = ReadUnderLimit(path, parts, room);
    ASSERT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(run.status, 0) << run.out << "with " << ((room - high) >> 10)
                             << " KiB more than the plain reading needs";
  }
}

// The threads are counted from the cores the process may run on, not the
// machine's: on one core, the tool reads with one thread and no parts.
TEST_F(Reading, OneUsableCoreReadsWithoutParts) {
  const qxtest::ChildResult run = qxtest::RunInChild([] {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    if (sched_setaffinity(0, sizeof one, &one) != 0) return 2;
    return static_cast<int>(varnost::PartThreads(varnost::MatrixReading{}));
  });
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0);
}

}  // namespace
