// Random nets, written in varied but valid layouts, read and written back:
// counts, arcs, neighbour sets, marked places and the PEP file must agree with
// a plain model of the net.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "TypePN.h"
#include "common/qxtest.h"
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
    for (int p = 0; p < net.places; ++p) {
      ASSERT_EQ(vtest::Elements(Pl[p].TrIn), trIn[p]);
      ASSERT_EQ(vtest::Elements(Pl[p].TrOut), trOut[p]);
      ASSERT_EQ(Pl[p].TrOut->size, (static_cast<int>(trOut[p].size()) + 9) / 10 * 10);
    }
    for (int t = 0; t < net.transitions; ++t) {
      ASSERT_EQ(vtest::Elements(Tr[t].PlIn), plIn[t]);
      ASSERT_EQ(vtest::Elements(Tr[t].PlOut), plOut[t]);
    }
    ASSERT_EQ(SauvegardePepStatut(NomModele), 0);
    ASSERT_EQ(qxtest::ReadFile(path + ".ll_net"), net.ExpectedPep());
  }
}

}  // namespace
