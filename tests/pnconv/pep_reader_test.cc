// SPDX-License-Identifier: MIT
// The PEP reader: node numbers, attributes, weights and counts, comments,
// skipped sections, read arcs, line ends, and every refusal once.
#include <gtest/gtest.h>

#include <string>

#include "net_check.h"

namespace {

using pnconvtest::Dump;
using pnconvtest::Pep;

std::string Read(const std::string& text) {
  netfmt::Problem problem;
  const auto net = Pep(text, &problem);
  EXPECT_TRUE(net) << problem.message << " at line " << problem.where.line;
  return net ? Dump(*net, true) : "";
}

TEST(PepReader, NodesByIdAttributesSkippedSectionsAndReadArcs) {
  const std::string text =
      "PEP\r\nPTNet\r\nFORMAT_N2\r\n"
      "DPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\n"  // default lines, as PEP writes them
      "DBL\n1@1\"block\"\n"
      "PL\n"
      "7\"late\"9@9M2k1\n"   // id 7, two tokens
      "2'say \"hi\"'50@50M\n"  // single quotes; M alone is one token
      "\"next\"\n"             // no id: 3, after the previous node
      "\n"
      "TR\n"
      "1\"t1\"50@50\n"
      "PTR\nPTP\nPPT\nRS\n"  // empty: no phantom transition, no reset arc
      "TX\n1\"some text PL\"\n"
      "TP\n1<7\n"
      "PT\n2>1\n"
      "RA\n1<3\n";
  EXPECT_EQ(Read(text),
            "place [p2 say \"hi\"] 1\n"
            "place [p3 next] 0\n"
            "place [p7 late] 2\n"
            "transition [t1 t1] in 0*1 1*1 out 1*1 2*1\n");
}

const std::string kHead = "PEP\nPetriBox\nFORMAT_N\n";

// The weight field w in each arc section (read arcs of the reset-net
// unfolder's RD section too, place first), among other fields; token counts
// up to the largest a net holds.
TEST(PepReader, WeightsAndTokenCountsInEverySection) {
  const std::string text = kHead +
                           "PL\n1\"a\"M9223372036854775807\n2\"b\"M1\n3\"c\"\n4\"d\"M0\n"
                           "TR\n1\"t\"\n2\"u\"\n"
                           "TP\n1<2w3\n1<3\"x\"w9223372036854775807\n"
                           "PT\n1>1w2\n1>2w1\n"
                           "RA\n2<3w4\n"
                           "RD\n4>2w5\n1>2\n";
  EXPECT_EQ(Read(text),
            "place [p1 a] 9223372036854775807\n"
            "place [p2 b] 1\n"
            "place [p3 c] 0\n"
            "place [p4 d] 0\n"
            "transition [t1 t] in 0*2 out 1*3 2*9223372036854775807\n"
            "transition [t2 u] in 0*2 2*4 3*5 out 0*1 2*4 3*5\n");
}

// A line starting with '%' is a comment wherever it stands: the net is the
// one the same file without its comments holds. Each comment here would be
// something else if it were read: a place (marked), a repeated node, an arc,
// a section, a line before the first section.
TEST(PepReader, CommentLinesAreSkippedWhereverTheyStand) {
  const std::string plain = kHead + "PL\n1\"p\"M2\n2\"q\"\nTR\n1\"t\"\nTP\n1<2w2\nPT\n1>1\n";
  const std::string commented =
      "% before the header\nPEP\n%between\nPetriBox\nFORMAT_N\n% author someone\n% title \"M 5\"\n"
      "PL\n1\"p\"M2\n%M\n% 1\"again\"\n2\"q\"\n%\n"
      "TR\n% TP\n1\"t\"\n"
      "TP\n%1<1\n1<2w2\n"
      "PT\n1>1\n% the last line, without a line feed";
  EXPECT_EQ(Read(commented), Read(plain));
  // A comment takes no number: the unnumbered node after one follows the
  // node before it.
  EXPECT_EQ(Read(kHead + "PL\n4\"a\"\n% 9\"b\"\n\"c\"\nTR\nTP\nPT\n"), "place [p4 a] 0\nplace [p5 c] 0\n");
}

// A node without a number takes the previous line's number plus one, not
// the count of lines so far.
TEST(PepReader, AnUnnumberedNodeFollowsThePreviousLine) {
  EXPECT_EQ(Read(kHead + "PL\n5\"a\"\n\"b\"\n2\"c\"\n\"d\"\nTR\n\"first\"\n7\"x\"\n\"y\"\nTP\n8<6\nPT\n3>1\n"),
            "place [p2 c] 0\n"
            "place [p3 d] 0\n"
            "place [p5 a] 0\n"
            "place [p6 b] 0\n"
            "transition [t1 first] in 1*1 out\n"
            "transition [t7 x] in out\n"
            "transition [t8 y] in out 3*1\n");
}

// Node numbers up to the largest int: the next one, given or implied, is
// refused (PepRefusals).
TEST(PepReader, NodeNumbersUpToTheLargestInt) {
  EXPECT_EQ(Read(kHead + "PL\n2147483646\"a\"\n\"b\"\nTR\n\"t\"\nTP\n1<2147483647\nPT\n"),
            "place [p2147483646 a] 0\nplace [p2147483647 b] 0\ntransition [t1 t] in out 1*1\n");
}

// The last line is kept however the file ends.
TEST(PepReader, TheLastLineCountsWithOrWithoutItsLineEnd) {
  for (const char* end : {"\n", "", "\r\n", "\r"}) {
    SCOPED_TRACE(testing::PrintToString(end));
    EXPECT_EQ(Read(kHead + "PL\n1\"p\"\nTR\n1\"t\"\nTP\nPT\n1>1w2" + end), "place [p1 p] 0\ntransition [t1 t] in 0*2 out\n");
  }
}

struct Refusal {
  const char* name;
  std::string text;
  const char* message;
  uint64_t line;  // 0: none
};

class PepRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(PepRefusals, SaysWhatAndWhere) {
  const Refusal& r = GetParam();
  netfmt::Problem problem;
  EXPECT_FALSE(Pep(r.text, &problem));
  EXPECT_NE(problem.message.find(r.message), std::string::npos) << problem.message;
  EXPECT_EQ(problem.where.line, r.line) << problem.message;
}

// Places and transitions, ready for arc sections.
const std::string kNodes = kHead + "PL\n1\"p\"\nTR\n1\"t\"\n";  // lines 4 to 7

INSTANTIATE_TEST_SUITE_P(
    Cases, PepRefusals,
    ::testing::Values(
        Refusal{"no_header", "PNML\n", "the first line is not \"PEP\"", 1},
        Refusal{"unknown_format", "PEP\nPetriBox\nFORMAT_X\n", "format FORMAT_X is not FORMAT_N", 3},
        Refusal{"phantom_transitions", kHead + "PL\n1\"p\"\nPTR\n1\"x\"\n",
                "section PTR (phantom transitions) cannot be held by a place/transition net", 7},
        // RD is read: the section that cannot be held is named, not the
        // first one a plain net lacks.
        Refusal{"reset_arcs", kNodes + "TP\nPT\nRD\n1>1\nRS\n1>1\n",
                "section RS (reset arcs) cannot be held by a place/transition net", 13},
        Refusal{"unknown_section", kNodes + "XY\n1<1\n", "section XY is unknown", 8},
        Refusal{"bad_arc_line", kNodes + "TP\n1-1\n", "arc line \"1-1\" is not", 9},
        Refusal{"weight_without_number", kNodes + "TP\n1<1w\nPT\n", "arc line \"1<1w\": w without a weight", 9},
        Refusal{"weight_zero", kNodes + "TP\nPT\n1>1w0\n", "arc line \"1>1w0\": the weight is not from 1 to "
                                                          "9223372036854775807", 10},
        Refusal{"weight_beyond_64_bits", kNodes + "TP\n1<1w9223372036854775808\nPT\n",
                "the weight is not from 1 to 9223372036854775807", 9},
        Refusal{"weights_summed_beyond_64_bits", kNodes + "TP\nPT\n1>1w9223372036854775807\n1>1\n",
                "the repeated arcs between p1 and t1 weigh more than 9223372036854775807", 0},
        Refusal{"count_beyond_64_bits", kHead + "PL\n1\"p\"M9223372036854775808\nTR\nTP\nPT\n",
                "a token count beyond 9223372036854775807", 5},
        Refusal{"node_number_beyond_int", kHead + "PL\n2147483648\"p\"\n", "node number beyond 2147483647", 5},
        Refusal{"unnumbered_node_beyond_int", kHead + "PL\n2147483647\"p\"\n\"q\"\n", "node number beyond 2147483647",
                6},
        Refusal{"unclosed_name", kHead + "PL\n1\"p\n", "without its closing quote", 5},
        Refusal{"arc_to_nothing", kNodes + "TP\nPT\n1>2\n", "target t2 is neither a place nor a transition", 10},
        Refusal{"repeated_id", kHead + "PL\n1\"p\"\n1\"q\"\nTR\nTP\nPT\n", "duplicate id \"p1\"", 6},
        Refusal{"line_before_sections", kHead + "1\"p\"\n", "a line before the first section", 4},
        // A file cut short: the first section missing is named.
        Refusal{"header_only", kHead, "section PL is missing (a PEP net has the sections PL, TR, TP and PT)", 0},
        Refusal{"places_only", kHead + "PL\n1\"p\"M1\n2\"q\"", "section TR is missing", 0},
        Refusal{"no_place_to_transition_arcs", kNodes + "TP\n1<1\n", "section PT is missing", 0},
        Refusal{"no_transition_to_place_arcs", kNodes + "PT\n1>1\nRA\n", "section TP is missing", 0}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
