// SPDX-License-Identifier: MIT
// Reading matrix files and reference files into the net globals.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "TypePN.h"
#include "common/qxtest.h"
#include "net_testing.h"

namespace {

using vtest::Elements;
using vtest::ReadNet;
using Ints = std::vector<int>;

class NetReader : public vtest::NetTest {
 protected:
  vtest::ReadResult Read(const std::string& matrix, const std::vector<std::string>& options = {}) {
    const std::string path = dir_.File("net.mat");
    qxtest::WriteFile(path, matrix);
    return ReadNet(path, options);
  }
  Ints Row(int** matrix, int p) { return Ints(matrix[p], matrix[p] + NbTrans); }
};

TEST_F(NetReader, SmallNetFillsEveryGlobal) {
  const auto r = Read("2 1 1 0 0 1 1 0");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(NbPlaces, 2);
  EXPECT_EQ(NbTrans, 1);
  EXPECT_EQ(NbArcs, 2);
  EXPECT_EQ(Row(Pre, 0), Ints{1});
  EXPECT_EQ(Row(Pre, 1), Ints{0});
  EXPECT_EQ(Row(Post, 0), Ints{0});
  EXPECT_EQ(Row(Post, 1), Ints{1});
  EXPECT_EQ(Elements(Marking), Ints{0});
  EXPECT_EQ(Elements(Pl[0].TrOut), Ints{0});
  EXPECT_EQ(Elements(Pl[0].TrIn), Ints{});
  EXPECT_EQ(Elements(Pl[1].TrIn), Ints{0});
  EXPECT_EQ(Elements(Pl[1].TrOut), Ints{});
  EXPECT_EQ(Elements(Tr[0].PlIn), Ints{0});
  EXPECT_EQ(Elements(Tr[0].PlOut), Ints{1});
  EXPECT_EQ(Pl[0].TrOut->NbElMax, 1);
  EXPECT_EQ(Tr[0].PlIn->NbElMax, 2);
  EXPECT_EQ(Pl[0].TrOut->size, 10);
  EXPECT_EQ(Pl[0].TrIn->size, 0);
  EXPECT_STREQ(NomModele, dir_.File("net.mat").c_str());
  EXPECT_EQ(NumObj, nullptr);
  EXPECT_EQ(NameObj, nullptr);
  EXPECT_EQ(Trace, 0);
}

struct ValueCase {
  const char* name;
  const char* text;
  std::vector<Ints> pre, post;
  Ints marked;
  int arcs;
};

class NetReaderValues : public NetReader, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(NetReaderValues, ReadsAsTheTokenRulesSay) {
  const ValueCase& c = GetParam();
  const auto r = Read(c.text);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "");
  for (int p = 0; p < NbPlaces; ++p) {
    EXPECT_EQ(Row(Pre, p), c.pre[p]) << "Pre row " << p;
    EXPECT_EQ(Row(Post, p), c.post[p]) << "Post row " << p;
  }
  EXPECT_EQ(Elements(Marking), c.marked);
  EXPECT_EQ(NbArcs, c.arcs);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetReaderValues,
    ::testing::Values(
        ValueCase{"row_over_two_lines", "2\n2\n1\n0\n0 1\n0 0 1 1\n1 0", {{1, 0}, {0, 1}},
                  {{0, 0}, {1, 1}}, {0}, 4},
        ValueCase{"rows_sharing_a_line", "2 2 1 0 0 1 0 0 1 1 1 0", {{1, 0}, {0, 1}},
                  {{0, 0}, {1, 1}}, {0}, 4},
        ValueCase{"strtol_tokens", "2 2\nx 3x\n-4 5\n0 26\n+2 0\n3 0", {{0, 3}, {-4, 5}},
                  {{0, 26}, {2, 0}}, {0}, 4},
        ValueCase{"int32_bounds", "1 2 2147483647 -2147483648 0 0 1", {{2147483647, -2147483647 - 1}},
                  {{0, 0}}, {0}, 1},
        ValueCase{"marking_on_one_line_with_tabs", "3 0 0\t3 \t 1\n", {{}, {}, {}}, {{}, {}, {}},
                  {1, 2}, 0},
        ValueCase{"trailing_text_ignored", "1 1 0 0 1 anything 12 here", {{0}}, {{0}}, {0}, 0},
        ValueCase{"crlf_line_ends", "2\r\n1\r\n1\r\n0\r\n0\r\n1\r\n1 0\r\n", {{1}, {0}},
                  {{0}, {1}}, {0}, 2},
        ValueCase{"no_places", "0 5", {}, {}, {}, 0},
        ValueCase{"no_transitions", "2 0\n0 4", {{}, {}}, {{}, {}}, {1}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
  const char* name;
  std::string text;
  const char* message;
};

class NetReaderFailures : public NetReader, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(NetReaderFailures, MalformedFilesGiveTheirMessage) {
  const FailureCase& c = GetParam();
  const auto r = Read(c.text);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetReaderFailures,
    ::testing::Values(
        FailureCase{"empty", "", "erreur de format NbPlaces/NbTrans\n"},
        FailureCase{"one_count", "3\n", "erreur de format NbPlaces/NbTrans\n"},
        FailureCase{"not_a_count", "3 x 1", "erreur de format NbPlaces/NbTrans\n"},
        FailureCase{"count_with_suffix", "3abc 1", "erreur de format NbPlaces/NbTrans\n"},
        FailureCase{"negative_places", "-2 1 1 0 0 1 1 0", "erreur de format NbPlaces/NbTrans\n"},
        FailureCase{"negative_transitions", "2 -1 0 0", "erreur de format NbPlaces/NbTrans\n"},
        FailureCase{"count_too_big", "2147483648 1", "erreur de format NbPlaces/NbTrans\n"},
        FailureCase{"only_counts", "2 3\n", "erreur de format la matrice Pre ligne 0\n"},
        FailureCase{"short_pre", "2 2 1 0 0", "erreur de format la matrice Pre ligne 1\n"},
        FailureCase{"short_post", "2 2 1 0 0 1 0 0 1",
                    "erreur de format la matrice Post ligne 3\n"},
        FailureCase{"ends_after_post", "2 1 1 0 0 1", "erreur de format dans le marquage place 0\n"},
        FailureCase{"marking_one_per_line", "3 1 0 0 0 0 0 0\n1\n0\n1\n",
                    "erreur de format dans le marquage place 2\n"},
        FailureCase{"pre_too_big", "2 1 1 2147483648 0 0 1 1",
                    "erreur de conversion la matrice Pre ligne 1\n"},
        FailureCase{"post_too_small", "2 1 1 0 0 -2147483649 1 1",
                    "erreur de conversion dans la matrice Post ligne 3\n"},
        FailureCase{"marking_too_big", "2 1 1 0 0 1 1 99999999999",
                    "erreur de conversion dans le marquage place 1\n"},
        FailureCase{"nul_byte_ends_data", std::string("2 1 1 0\0 0 1 1 0", 17),
                    "erreur de format la matrice Post ligne 2\n"},
        // The file cannot hold the values its counts announce: it fails with
        // the message of the place where the values run out, without
        // allocating the matrices.
        FailureCase{"huge_counts_small_file", "1000000 1000000\n1 0 1",
                    "erreur de format la matrice Pre ligne 0\n"},
        FailureCase{"huge_places_small_file", "2000000000 0\n1 1 1",
                    "erreur de format dans le marquage place 3\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The peak resident memory of this process, in KiB.
long PeakKiB() {
  std::istringstream status(qxtest::ReadFile("/proc/self/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// No value is needed, but the net would need gigabytes of records, more than
// the machine has: it is refused before anything is allocated, at once and
// with next to no memory (in a child, so that a reader that tried would be
// stopped by the time limit).
TEST_F(NetReader, NetLargerThanTheMachineIsRefusedAtOnce) {
  const std::string path = dir_.File("net.mat");
  qxtest::WriteFile(path, "0 2000000000");
  const qxtest::ChildResult run = qxtest::RunInChild(
      [&] {
        const long before = PeakKiB();
        const vtest::ReadResult r = ReadNet(path);
        std::fputs(r.out.c_str(), stdout);
        std::printf("grew %ld KiB\n", PeakKiB() - before);
        return r.status == -1 ? 0 : 1;
      },
      3000);
  ASSERT_FALSE(run.timed_out) << "the net was not refused at once";
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  EXPECT_EQ(run.status, 0);
  const std::string refusal =
      "erreur: memoire insuffisante pour un reseau de 0 places et 2000000000 transitions\n";
  ASSERT_EQ(run.out.rfind(refusal, 0), 0u) << run.out;
  const long grew = std::stol(run.out.substr(refusal.size() + 5));
  EXPECT_LT(grew, 16 << 10) << "KiB of peak memory";
}

// A file one byte too short for the values its counts announce is refused as
// malformed by its size, before any memory is asked for: in a child with no
// room for the net's records, the message is the format one, never a lack
// of memory.
TEST_F(NetReader, FileOneByteShortOfItsCountsIsReadWithoutTheMatrices) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' reserved shadow memory leaves no room for an address space limit";
#endif
  // One place, a million transitions: 2,000,001 values need 4,000,001 bytes;
  // the file holds 2,000,000 of them in 4,000,000.
  constexpr int kTransitions = 1000000;
  std::string text = "1 " + std::to_string(kTransitions) + "\n";
  for (int v = 0; v < 2 * kTransitions; ++v) text += "1 ";
  const std::string path = dir_.File("net.mat");
  qxtest::WriteFile(path, text);
  const qxtest::ChildResult run = qxtest::RunInChild([&] {
    if (!vtest::LimitAddressSpace(size_t{8} << 20)) return 2;
    const vtest::ReadResult r = ReadNet(path);
    std::fputs(r.out.c_str(), stdout);
    return r.status == -1 ? 0 : 1;
  });
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "erreur de format dans le marquage place 0\n");
}

struct OptionCase {
  const char* name;
  std::vector<std::string> options;
  int status;
  int trace;
};

class NetReaderOptions : public NetReader, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(NetReaderOptions, LastFormatOptionCountsAndOthersAreIgnored) {
  const OptionCase& c = GetParam();
  const auto r = Read("2 1 1 0 0 1 1 0", c.options);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Trace, c.trace);
}

INSTANTIATE_TEST_SUITE_P(Cases, NetReaderOptions,
                         ::testing::Values(OptionCase{"none", {}, 0, 0},
                                           OptionCase{"t_then_m", {"-t", "-m"}, 0, 0},
                                           OptionCase{"m_then_t", {"-m", "-t"}, -1, 0},
                                           OptionCase{"unknown", {"-x"}, 0, 0},
                                           OptionCase{"trace", {"-.", "-m"}, 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(NetReader, ArgumentCountOutsideOneToThreePrintsUsage) {
  const char* usage = "usage:\tVarnost [-m] [-.] filename1\n\t-m by default\n";
  char empty[] = "";
  char* one[] = {empty, nullptr};
  EXPECT_EQ(qxtest::CaptureFd(1, [&] { EXPECT_EQ(InitialisationNet(1, one), -1); }), usage);
  char m[] = "-m";
  char* five[] = {empty, m, m, m, m, nullptr};
  EXPECT_EQ(qxtest::CaptureFd(1, [&] { EXPECT_EQ(InitialisationNet(5, five), -1); }), usage);
}

TEST_F(NetReader, MissingFileIsNamedLiterally) {
  const std::string path = dir_.File("no%s%d%n.mat");
  const auto r = ReadNet(path);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "le fichier " + path + " n'existe pas\n");
}

TEST_F(NetReader, DirectoryOpensAndHoldsNoCounts) {
  const auto d = ReadNet(dir_.path());
  EXPECT_EQ(d.status, -1);
  EXPECT_EQ(d.out, "erreur de format NbPlaces/NbTrans\n");
}

TEST_F(NetReader, FileLargerThanOneChunkReadsWhole) {
  // Rows of tokens of varying widths, so that chunk boundaries fall inside
  // tokens; the net is checked against its model.
  vtest::NetModel net;
  net.places = 300;
  net.transitions = 900;
  net.pre.assign(net.places, Ints(net.transitions));
  net.post.assign(net.places, Ints(net.transitions));
  net.marking.assign(net.places, 0);
  for (int p = 0; p < net.places; ++p) {
    for (int t = 0; t < net.transitions; ++t) {
      net.pre[p][t] = (p * 7 + t * 3) % 11 == 0 ? 1000 + p : ((p + t) % 5 == 0 ? -123 : 0);
      net.post[p][t] = (p + t * 13) % 17 == 0 ? 7 : 0;
    }
    net.marking[p] = p % 9 == 0 ? 123456 : 0;
  }
  const std::string text = net.MatrixText();
  ASSERT_GT(text.size(), size_t{1} << 20);
  const auto r = Read(text);
  ASSERT_EQ(r.status, 0) << r.out;
  int arcs = 0;
  for (int p = 0; p < net.places; ++p) {
    ASSERT_EQ(Row(Pre, p), net.pre[p]);
    ASSERT_EQ(Row(Post, p), net.post[p]);
    for (int t = 0; t < net.transitions; ++t) arcs += (net.pre[p][t] > 0) + (net.post[p][t] > 0);
  }
  EXPECT_EQ(NbArcs, arcs);
  EXPECT_EQ(Marking->NbEl, (net.places + 8) / 9);
}

class References : public NetReader {
 protected:
  vtest::ReadResult ReadWithRef(const std::string& matrix, const std::string& ref) {
    qxtest::WriteFile(dir_.File("net.mat.ref"), ref);
    return Read(matrix);
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < NbPlaces + NbTrans; ++i) names.push_back(NameObj[i]);
    return names;
  }
};

TEST_F(References, NumbersAndNamesWithDefaults) {
  const auto r = ReadWithRef("2 1 1 0 0 1 1 0",
                             "first line\n12 7\n30\n0\n4 idle 2 a_longer_word\n");
  ASSERT_EQ(r.status, 0);
  ASSERT_NE(NumObj, nullptr);
  EXPECT_EQ(Ints(NumObj, NumObj + 3), (Ints{12, 7, 30}));
  EXPECT_EQ(Names(), (std::vector<std::string>{"P#12", "idle", "a_longer_word"}));
  EXPECT_EQ(qxtest::CaptureFd(1, [] { AfficheRefObj(); }),
            "place 0: P#12 (12)\nplace 1: idle (7)\ntrans 0: a_longer_word (30)\n");
}

TEST_F(References, LongFirstLineAndLongNames) {
  const std::string longName(5000, 'n');
  const auto r = ReadWithRef("1 1 0 0 0", std::string(400, '#') + " 9 9\n5 6 3 " + longName +
                                              " 0\n");
  ASSERT_EQ(r.status, 0);
  ASSERT_NE(NameObj, nullptr);
  EXPECT_EQ(Names(), (std::vector<std::string>{longName, "T#6"}));
}

struct BadRefCase {
  const char* name;
  const char* ref;
};

class BadReferences : public References, public ::testing::WithParamInterface<BadRefCase> {};

TEST_P(BadReferences, AreDroppedSilently) {
  const auto r = ReadWithRef("2 1 1 0 0 1 1 0", GetParam().ref);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(NumObj, nullptr);
  EXPECT_EQ(NameObj, nullptr);
  EXPECT_EQ(qxtest::CaptureFd(1, [] { AfficheRefObj(); }), "pas de reference pour ce reseau\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, BadReferences,
                         ::testing::Values(BadRefCase{"empty", ""},
                                           BadRefCase{"short_numbers", "c\n1 2\n"},
                                           BadRefCase{"word_for_number", "c\n1 x 3 0 0 0"},
                                           BadRefCase{"last_name_missing", "c\n1 2 3\n0 0 4"},
                                           BadRefCase{"length_not_a_number", "c\n1 2 3\n0 a b"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
