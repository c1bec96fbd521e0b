// SPDX-License-Identifier: MIT
// The writers of the net-format module on small nets, and round trips
// through them on generated nets.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/qxtest.h"
#include "dot_writer.h"
#include "matrix_net.h"
#include "matrix_writer.h"
#include "net_check.h"
#include "net_lists_of.h"
#include "pep_writer.h"
#include "pnml_writer.h"

namespace {

using pnconvtest::Dump;

// p0 (2 tokens) -2-> t0 -> p1; p1 <-> t1 (a weight-1 loop); named with
// characters XML and DOT must escape.
netfmt::Net SmallNet() {
  netfmt::NetBuilder b;
  b.AddPlace("p", "a&b <c> \"d\" 'e' caf\xC3\xA9", 2, {});
  b.AddPlace("9q", "tab\there\rcr", 0, {});
  b.AddTransition("t", "", {});
  b.AddTransition("u", "ctl\x01", {});
  b.AddArc({}, "p", "t", 2, {});
  b.AddArc({}, "t", "9q", 1, {});
  b.AddArc({}, "9q", "u", 1, {});
  b.AddArc({}, "u", "9q", 1, {});
  return *b.Freeze();
}

std::string Write(const std::function<bool(netfmt::OutputFile&)>& write) {
  qxtest::TempDir dir;
  const std::string path = dir.File("out");
  netfmt::OutputFile out(path);
  EXPECT_TRUE(write(out));
  return qxtest::ReadFile(path);
}

TEST(PnmlWriter, EscapesTextsAndNumbersNodesWhenAnIdIsNoXmlName) {
  const netfmt::Net net = SmallNet();
  const std::string text = Write([&](netfmt::OutputFile& out) { return netfmt::WritePnml(net, "small", out); });
  // "9q" is no XML name: every node gets a made id.
  EXPECT_NE(text.find("<place id=\"p1\"><name><text>a&amp;b &lt;c&gt; &quot;d&quot; &apos;e&apos; caf\xC3\xA9"
                      "</text></name><initialMarking><text>2</text></initialMarking></place>"),
            std::string::npos)
      << text;
  // A carriage return is an XML character: a reference, nothing replaced.
  EXPECT_NE(text.find("<name><text>tab&#9;here&#13;cr</text></name>"), std::string::npos) << text;
  bool replaced = false;
  EXPECT_EQ(netfmt::XmlText(net.name(1), &replaced), "tab&#9;here&#13;cr");
  EXPECT_FALSE(replaced);
  EXPECT_NE(text.find("<name><text>ctl\xEF\xBF\xBD</text></name>"), std::string::npos) << text;
  EXPECT_NE(text.find("<arc id=\"a1\" source=\"p1\" target=\"t1\"><inscription><text>2</text></inscription></arc>"),
            std::string::npos)
      << text;
  // Read back: the same net, but for the replaced control character.
  netfmt::Problem problem;
  const auto back = pnconvtest::Pnml(text, &problem);
  ASSERT_TRUE(back) << problem.message;
  std::string expected = Dump(net);
  expected.replace(expected.find("ctl\x01"), 4, "ctl\xEF\xBF\xBD");
  EXPECT_EQ(Dump(*back), expected);
}

// U+FFFE and U+FFFF are well-formed UTF-8 that XML 1.0 refuses: replaced
// like control characters, so that the file reads back.
TEST(PnmlWriter, NoncharactersAreReplaced) {
  netfmt::NetBuilder b;
  b.AddPlace("p", "a\xEF\xBF\xBE" "b\xEF\xBF\xBF" "c\xEF\xBF\xBD", 0, {});
  const netfmt::Net net = *b.Freeze();
  bool replaced = false;
  EXPECT_EQ(netfmt::XmlText(net.name(0), &replaced), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD");
  EXPECT_TRUE(replaced);
  const std::string text = Write([&](netfmt::OutputFile& out) { return netfmt::WritePnml(net, "n", out); });
  netfmt::Problem problem;
  const auto back = pnconvtest::Pnml(text, &problem);
  ASSERT_TRUE(back) << problem.message;
  EXPECT_EQ(back->name(0), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD");
}

TEST(PnmlWriter, KeepsValidIdsAndGivesArcsIdsNoNodeHas) {
  netfmt::NetBuilder b;
  b.AddPlace("a1", "", 0, {});
  b.AddTransition("page0", "", {});
  b.AddArc({}, "a1", "page0", 1, {});
  const netfmt::Net net = *b.Freeze();
  const std::string text = Write([&](netfmt::OutputFile& out) { return netfmt::WritePnml(net, "n", out); });
  EXPECT_NE(text.find("<page id=\"page_0\">"), std::string::npos) << text;
  EXPECT_NE(text.find("<arc id=\"a_1\" source=\"a1\" target=\"page0\">"), std::string::npos) << text;
  // The net's id (from the output file's name) is unique too, whatever it is.
  for (const char* netId : {"a1", "page0", "page_0", "a", "a_1", "n"}) {
    SCOPED_TRACE(netId);
    const std::string doc = Write([&](netfmt::OutputFile& out) { return netfmt::WritePnml(net, netId, out); });
    std::set<std::string> ids;
    for (size_t at = 0; (at = doc.find(" id=\"", at)) != std::string::npos;) {
      at += 5;
      const std::string id = doc.substr(at, doc.find('"', at) - at);
      EXPECT_TRUE(ids.insert(id).second) << "repeated id " << id << " in\n" << doc;
    }
    EXPECT_EQ(ids.size(), 5u) << doc;
  }
}

// PEP names are bytes: one that is not UTF-8 is ISO 8859-1, and XML gets it
// as UTF-8.
TEST(PnmlWriter, LatinOnePepNamesBecomeUtf8) {
  netfmt::Problem problem;
  const auto net = pnconvtest::Pep("PEP\nPetriBox\nFORMAT_N\nPL\n1\"caf\xE9\"\nTR\nTP\nPT\n", &problem);
  ASSERT_TRUE(net) << problem.message;
  EXPECT_EQ(net->name(0), "caf\xE9");
  const std::string text = Write([&](netfmt::OutputFile& out) { return netfmt::WritePnml(*net, "n", out); });
  EXPECT_NE(text.find("<text>caf\xC3\xA9</text>"), std::string::npos) << text;
}

TEST(PepWriter, ReadArcsOnlyForWeightOneLoops) {
  const netfmt::Net net = SmallNet();
  const std::vector<std::string_view> names = {"P", "Q", "T", "U"};
  const std::string plain =
      Write([&](netfmt::OutputFile& out) { return netfmt::WritePep(netfmt::NetListsOf(net, names, false), out); });
  EXPECT_EQ(plain,
            "PEP\nPetriBox\nFORMAT_N\nPL\n1\"P\"50@50M2\n2\"Q\"50@50\nTR\n1\"T\"50@50\n2\"U\"50@50\n"
            "TP\n1<2\n2<2\nPT\n1>1w2\n2>2\n");
  const std::string reads =
      Write([&](netfmt::OutputFile& out) { return netfmt::WritePep(netfmt::NetListsOf(net, names, true), out); });
  EXPECT_EQ(reads,
            "PEP\nPetriBox\nFORMAT_N\nPL\n1\"P\"50@50M2\n2\"Q\"50@50\nTR\n1\"T\"50@50\n2\"U\"50@50\n"
            "TP\n1<2\nPT\n1>1w2\nRA\n2<2\n");
}

// Node numbers past the writer's table of composed texts take another way
// to the line; the weight field follows them all the same, and the file
// reads back as the net.
TEST(PepWriter, WeightFieldsAfterNumbersOfEveryLength) {
  constexpr int kPlaces = 65537;
  netfmt::NetBuilder b;
  // Named as the writer names nodes by default, so that the nets compare.
  for (int p = 0; p < kPlaces; ++p) b.AddPlace("p" + std::to_string(p), "P" + std::to_string(p + 1), p == 0 ? 5 : 0, {});
  b.AddTransition("t", "T1", {});
  b.AddArc({}, "t", "p0", 9223372036854775807, {});
  b.AddArc({}, "t", "p65535", 1, {});
  b.AddArc({}, "t", "p65536", 3, {});
  b.AddArc({}, "p65536", "t", 2, {});
  const netfmt::Net net = *b.Freeze();
  const std::vector<std::string_view> names(kPlaces + 1);
  const std::string pep =
      Write([&](netfmt::OutputFile& out) { return netfmt::WritePep(netfmt::NetListsOf(net, names, true), out); });
  EXPECT_NE(pep.find("\n1\"P1\"50@50M5\n2\"P2\"50@50\n"), std::string::npos);
  EXPECT_NE(pep.find("\nTR\n1\"T1\"50@50\nTP\n1<1w9223372036854775807\n1<65536\n1<65537w3\nPT\n65537>1w2\n"),
            std::string::npos)
      << pep.substr(pep.find("TR\n"));
  netfmt::Problem problem;
  const auto back = pnconvtest::Pep(pep, &problem);
  ASSERT_TRUE(back) << problem.message;
  // Compared whole, and shown by the transition's line alone: a diff of
  // the two texts would be as large as the net.
  const std::string got = Dump(*back), want = Dump(net);
  EXPECT_EQ(got.substr(got.rfind("transition")), want.substr(want.rfind("transition")));
  EXPECT_TRUE(got == want);
}

TEST(MatrixWriter, ExactWeightsAndCountsAndOneWordNames) {
  const netfmt::Net net = SmallNet();
  qxtest::TempDir dir;
  const std::string path = dir.File("n.mat");
  {
    netfmt::OutputFile out(path);
    ASSERT_TRUE(netfmt::WriteMatrix(net, out));
    netfmt::OutputFile ref(path + ".ref");
    ASSERT_TRUE(netfmt::WriteReference(net, "title\nsecond line", ref));
  }
  EXPECT_EQ(qxtest::ReadFile(path), "2\n2\n2 0\n0 1\n0 0\n1 1\n2 0\n");
  EXPECT_EQ(qxtest::ReadFile(path + ".ref"), "title\n1\n2\n3\n4\n1 p\n2 9q\n1 t\n4 ctl\x01\n");
}

// A place's token count is drawn from one token on; none for an empty place.
TEST(DotWriter, TokenCountFromOneToken) {
  for (const int tokens : {0, 1, 2}) {
    SCOPED_TRACE(tokens);
    netfmt::NetBuilder b;
    b.AddPlace("p", "", tokens, {});
    const netfmt::Net net = *b.Freeze();
    const std::string text = Write([&](netfmt::OutputFile& out) { return netfmt::WriteDot(net, out); });
    const std::string label = tokens == 0 ? "p" : "p\\n" + std::to_string(tokens);
    EXPECT_EQ(text, "digraph net {\n  rankdir=LR;\n  p0 [shape=circle, label=\"" + label + "\"];\n}\n");
  }
}

TEST(DotWriter, ShapesCountsAndWeights) {
  const netfmt::Net net = SmallNet();
  const std::string text = Write([&](netfmt::OutputFile& out) { return netfmt::WriteDot(net, out); });
  EXPECT_NE(text.find("p0 [shape=circle, label=\"a&b <c> \\\"d\\\" 'e' caf\xC3\xA9\\n2\"];"), std::string::npos)
      << text;
  EXPECT_NE(text.find("t0 [shape=box, label=\"t\"];"), std::string::npos) << text;
  EXPECT_NE(text.find("p0 -> t0 [label=\"2\"];"), std::string::npos) << text;
  EXPECT_NE(text.find("t0 -> p1;"), std::string::npos) << text;
}

// Generated nets through PNML and back, and through the matrix format (the
// converter's reader) and back.
TEST(RoundTrips, PnmlAndMatrixGiveTheSameNetBack) {
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    const netfmt::Net net = pnconvtest::RandomNet(seed, 7 + static_cast<int>(seed), 5, true);
    const std::string pnml = Write([&](netfmt::OutputFile& out) { return netfmt::WritePnml(net, "n", out); });
    netfmt::Problem problem;
    const auto fromPnml = pnconvtest::Pnml(pnml, &problem);
    ASSERT_TRUE(fromPnml) << problem.message;
    EXPECT_EQ(Dump(*fromPnml, true), Dump(net, true));

    qxtest::TempDir dir;
    const std::string path = dir.File("n.mat");
    {
      netfmt::OutputFile out(path);
      ASSERT_TRUE(netfmt::WriteMatrix(*fromPnml, out));
      netfmt::OutputFile ref(path + ".ref");
      ASSERT_TRUE(netfmt::WriteReference(*fromPnml, "generated", ref));
    }
    const auto fromMatrix = pnconv::ReadMatrixNet(path, &problem);
    ASSERT_TRUE(fromMatrix) << problem.message;
    EXPECT_EQ(Dump(*fromMatrix), Dump(net));
  }
}

TEST(RoundTrips, PepKeepsWeightsAndCounts) {
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    const netfmt::Net net = pnconvtest::RandomNet(seed, 7 + static_cast<int>(seed), 5, true);
    uint64_t replaced = 0;
    const std::vector<std::string_view> names = netfmt::PepNames(net, false, &replaced);
    EXPECT_EQ(replaced, 0u);
    for (const bool readArcs : {false, true}) {
      const std::string pep = Write(
          [&](netfmt::OutputFile& out) { return netfmt::WritePep(netfmt::NetListsOf(net, names, readArcs), out); });
      netfmt::Problem problem;
      const auto back = pnconvtest::Pep(pep, &problem);
      ASSERT_TRUE(back) << problem.message;
      EXPECT_EQ(Dump(*back), Dump(net));
    }
  }
}

TEST(RoundTrips, PepThroughPnmlKeepsReadArcs) {
  const netfmt::Net net = pnconvtest::RandomNet(9, 12, 6, false);
  std::vector<std::string_view> names;
  for (int i = 0; i < net.nodes(); ++i) names.push_back(net.name(i));
  const std::string pep =
      Write([&](netfmt::OutputFile& out) { return netfmt::WritePep(netfmt::NetListsOf(net, names, true), out); });
  EXPECT_NE(pep.find("\nRA\n"), std::string::npos);
  netfmt::Problem problem;
  const auto fromPep = pnconvtest::Pep(pep, &problem);
  ASSERT_TRUE(fromPep) << problem.message;
  const std::string pnml = Write([&](netfmt::OutputFile& out) { return netfmt::WritePnml(*fromPep, "n", out); });
  const auto fromPnml = pnconvtest::Pnml(pnml, &problem);
  ASSERT_TRUE(fromPnml) << problem.message;
  EXPECT_EQ(Dump(*fromPnml), Dump(net));
  std::vector<std::string_view> backNames;
  for (int i = 0; i < fromPnml->nodes(); ++i) backNames.push_back(fromPnml->name(i));
  EXPECT_EQ(Write([&](netfmt::OutputFile& out) {
              return netfmt::WritePep(netfmt::NetListsOf(*fromPnml, backNames, true), out);
            }),
            pep);
}

}  // namespace
