// SPDX-License-Identifier: MIT
// Random nets, written in varied but valid layouts, read and written back:
// counts, arcs, neighbour sets, marked places and the PEP file must agree with
// a plain model of the net; dense nets too, read one after the other.
#include <sys/mman.h>
#ifdef __linux__
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "TypePN.h"
#include "arc_list.h"
#include "common/qxtest.h"
#include "matrix_parts.h"
#include "net_testing.h"

namespace {

using Ints = std::vector<int>;

class NetProperties : public vtest::NetTest {
 protected:
  std::mt19937 rng_{2024};

  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  int Weight() {
    const int kind = Pick(0, 9);
    if (kind < 6) return 0;
    if (kind < 8) return Pick(1, 9);
    if (kind < 9) return -Pick(1, 50);
    return Pick(10, 2000000000);
  }

  vtest::NetModel RandomNet() {
    vtest::NetModel net;
    net.places = Pick(0, 12);
    net.transitions = Pick(0, 12);
    net.pre.assign(net.places, Ints(net.transitions));
    net.post.assign(net.places, Ints(net.transitions));
    for (int p = 0; p < net.places; ++p) {
      for (int t = 0; t < net.transitions; ++t) {
        net.pre[p][t] = Weight();
        net.post[p][t] = Weight();
      }
    }
    for (int p = 0; p < net.places; ++p) net.marking.push_back(Pick(0, 2) == 0 ? Pick(1, 5) : Pick(-3, 0));
    if (Pick(0, 1) == 1) {
      for (int i = 0; i < net.places + net.transitions; ++i) {
        std::string name = "n" + std::to_string(i);
        if (Pick(0, 4) == 0) name += Pick(0, 1) ? "\"x" : "'y";
        net.names.push_back(name);
      }
    }
    return net;
  }

  // The matrix file in a random valid layout: any separators between matrix
  // values (rows need not match lines), blanks and tabs between marking
  // values, and junk after some numbers that strtol stops at.
  std::string Layout(const vtest::NetModel& net) {
    static const char* kMatrixSeparators[] = {" ", "\t", "\n", "  \n\t ", "\n\n"};
    static const char* kMarkingSeparators[] = {" ", "\t", " \t "};
    auto number = [&](int v) { return std::to_string(v) + (Pick(0, 7) == 0 ? "x" : ""); };
    std::string text = std::to_string(net.places) + (Pick(0, 1) ? "\n" : " \t ") +
                       std::to_string(net.transitions) + "\n";
    for (const auto* matrix : {&net.pre, &net.post}) {
      for (const auto& row : *matrix) {
        for (int v : row) text += number(v) + kMatrixSeparators[Pick(0, 4)];
      }
    }
    for (int p = 0; p < net.places; ++p) {
      text += number(net.marking[p]) + (p + 1 < net.places ? kMarkingSeparators[Pick(0, 2)] : "\n");
    }
    return text;
  }

  // A net whose place 1 and transition 2 have every arc, place 3 and
  // transition 4 none, and the others arcs in `percent` of their cells.
  vtest::NetModel DenseNet(int places, int transitions, int percent) {
    vtest::NetModel net;
    net.places = places;
    net.transitions = transitions;
    net.pre.assign(places, Ints(transitions));
    net.post.assign(places, Ints(transitions));
    net.marking.assign(places, 0);
    for (int p = 0; p < places; ++p) {
      for (int t = 0; t < transitions; ++t) {
        auto cell = [&] {
          if (p == 1 || t == 2) return Pick(1, 9);
          if (p == 3 || t == 4) return Pick(-2, 0);
          return Pick(1, 100) <= percent ? Pick(1, 9) : 0;
        };
        net.pre[p][t] = cell();
        net.post[p][t] = cell();
      }
    }
    return net;
  }

  // Reads path, the net `net`, and checks the counts, matrices, arcs,
  // neighbour sets with their capacities, marked places and the PEP file.
  void ExpectReadAsModel(const std::string& path, const vtest::NetModel& net) {
    const auto r = vtest::ReadNet(path);
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_EQ(NbPlaces, net.places);
    ASSERT_EQ(NbTrans, net.transitions);

    int arcs = 0;
    Ints marked;
    std::vector<Ints> trIn(net.places), trOut(net.places), plIn(net.transitions),
        plOut(net.transitions);
    for (int p = 0; p < net.places; ++p) {
      for (int t = 0; t < net.transitions; ++t) {
        ASSERT_EQ(Pre[p][t], net.pre[p][t]);
        ASSERT_EQ(Post[p][t], net.post[p][t]);
        if (net.pre[p][t] > 0) {
          ++arcs;
          trOut[p].push_back(t);
          plIn[t].push_back(p);
        }
        if (net.post[p][t] > 0) {
          ++arcs;
          trIn[p].push_back(t);
          plOut[t].push_back(p);
        }
      }
      if (net.marking[p] > 0) marked.push_back(p);
    }
    EXPECT_EQ(NbArcs, arcs);
    EXPECT_EQ(vtest::Elements(Marking), marked);
    auto capacity = [](const Ints& elements) { return (static_cast<int>(elements.size()) + 9) / 10 * 10; };
    for (int p = 0; p < net.places; ++p) {
      ASSERT_EQ(vtest::Elements(Pl[p].TrIn), trIn[p]);
      ASSERT_EQ(vtest::Elements(Pl[p].TrOut), trOut[p]);
      ASSERT_EQ(Pl[p].TrIn->size, capacity(trIn[p]));
      ASSERT_EQ(Pl[p].TrOut->size, capacity(trOut[p]));
    }
    for (int t = 0; t < net.transitions; ++t) {
      ASSERT_EQ(vtest::Elements(Tr[t].PlIn), plIn[t]);
      ASSERT_EQ(vtest::Elements(Tr[t].PlOut), plOut[t]);
      ASSERT_EQ(Tr[t].PlIn->size, capacity(plIn[t]));
      ASSERT_EQ(Tr[t].PlOut->size, capacity(plOut[t]));
    }
    ASSERT_EQ(SauvegardePepStatut(NomModele), 0);
    ASSERT_EQ(qxtest::ReadFile(path + ".ll_net"), net.ExpectedPep());
  }

  std::string References(const vtest::NetModel& net) {
    std::string text = "object numbers then names\n";
    for (int i = 0; i < net.places + net.transitions; ++i) text += std::to_string(100 + i) + " ";
    text += "\n";
    for (const auto& name : net.names) text += std::to_string(name.size()) + " " + name + "\n";
    return text;
  }
};

TEST_F(NetProperties, ReadAndWrittenNetsAgreeWithTheModel) {
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    vtest::ResetNet();
    const vtest::NetModel net = RandomNet();
    const std::string path = dir_.File("net" + std::to_string(round) + ".mat");
    qxtest::WriteFile(path, Layout(net));
    if (!net.names.empty()) qxtest::WriteFile(path + ".ref", References(net));
    ExpectReadAsModel(path, net);
  }
}

// Nets with most cells arcs, whose sets are built from the matrices: sets of
// every node, of none, and mixed ones long enough for the branch-free runs,
// with storage from malloc or mapped on its own. Read one after the other
// in this process, each releasing the previous one's storage.
TEST_F(NetProperties, DenseNetsReadOneAfterTheOther) {
  struct DenseCase {
    int places;
    int transitions;
    int percent;
  };
  const DenseCase cases[] = {{7, 5, 100}, {70, 45, 60}, {400, 380, 100}, {300, 260, 85}, {33, 1, 50}, {1, 40, 90}};
  const int* previous = nullptr;
  for (const DenseCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.places) + "x" + std::to_string(c.transitions));
    vtest::ResetNet();
    if (previous != nullptr) {
      EXPECT_FALSE(vtest::Mapped(previous));
    }
    const vtest::NetModel net = DenseNet(c.places, c.transitions, c.percent);
    const std::string path = dir_.File("dense.mat");
    qxtest::WriteFile(path, net.MatrixText());
    ExpectReadAsModel(path, net);
    // The storage of the largest nets is a mapping of its own, released with
    // the net.
    const size_t cells = static_cast<size_t>(c.places) * static_cast<size_t>(c.transitions);
    previous = cells * 4 * sizeof(int) >= (size_t{2} << 20) ? Pl[0].TrOut->Ens : nullptr;
  }
}

// Nets whose arrays are large enough for mapped storage: a net of 11% arcs,
// whose arc list grows past its first blocks into two huge pages of blocks
// while staying a list, and a dense net whose matrices are mapped and go on
// huge pages once it is seen dense. Each is read in parts and one token at a
// time, and gives exactly the model's net and PEP file.
TEST_F(NetProperties, NetsOfLargeArraysAgreeWithTheModel) {
  const struct {
    int places;
    int transitions;
    int percent;
  } cases[] = {{1600, 1600, 11}, {700, 700, 90}};
  for (const auto& c : cases) {
    const vtest::NetModel net = DenseNet(c.places, c.transitions, c.percent);
    const std::string path = dir_.File("large.mat");
    qxtest::WriteFile(path, net.MatrixText());
    for (const bool plain : {false, true}) {
      SCOPED_TRACE(std::to_string(c.places) + "x" + std::to_string(c.transitions) +
                   (plain ? ", one token at a time" : ", in parts"));
      varnost::MatrixReading reading;
      reading.plain = plain;
      varnost::SetMatrixReading(reading);
      vtest::ResetNet();
      ExpectReadAsModel(path, net);
      // The case holds what it is there for: arcs in the list past the first
      // huge page of blocks, or arcs read back from the matrices.
      using varnost::ArcList;
      const uint64_t cells = 2 * static_cast<uint64_t>(c.places) * static_cast<uint64_t>(c.transitions);
      const bool list = static_cast<uint64_t>(NbArcs) < cells / ArcList::kDenseShare;
      EXPECT_EQ(list, c.percent < 50);
      if (list) {
        EXPECT_GT(static_cast<uint64_t>(NbArcs),
                  (ArcList::kSmallBlocks + ArcList::kBlocksPerChunk) * ArcList::kBlock);
      }
    }
    varnost::SetMatrixReading(varnost::MatrixReading());
  }
}

#if defined(__linux__) && defined(MADV_POPULATE_WRITE) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// From now on in this process, madvise fails with `error` for making pages
// present. False when the filter cannot be installed.
bool RefuseMemoryAdvice(int error) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_madvise, 0, 2),
      // The low half of the third argument, the advice.
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args) + 2 * sizeof(uint64_t)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, MADV_POPULATE_WRITE, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<uint32_t>(error) & SECCOMP_RET_DATA)),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
}

// The storage of a large net's sets where the system refuses to make its
// pages present: the net is built all the same, the pages coming at their
// first use; when they are refused for lack of memory, the reader says so and
// fails. In a child process, which the filter is confined to.
TEST_F(NetProperties, SetStorageWhereMemoryAdviceIsRefused) {
  const vtest::NetModel net = DenseNet(400, 380, 100);
  const std::string path = dir_.File("large.mat");
  qxtest::WriteFile(path, net.MatrixText());
  EXPECT_EXIT(
      {
        qxtest::Watchdog watchdog(60);
        if (!RefuseMemoryAdvice(EINVAL)) std::_Exit(2);
        ExpectReadAsModel(path, net);
        std::_Exit(HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        qxtest::Watchdog watchdog(60);
        if (!RefuseMemoryAdvice(ENOMEM)) std::_Exit(2);
        const auto r = vtest::ReadNet(path);
        const bool said = r.out == "erreur: memoire insuffisante pour un reseau de 400 places et 380 transitions\n";
        vtest::ResetNet();
        std::_Exit(r.status == -1 && said ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
