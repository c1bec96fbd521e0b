// SPDX-License-Identifier: MIT
// The PEP reader: node numbers, attributes, skipped sections, read arcs, and
// every refusal once.
#include <gtest/gtest.h>

#include <string>

#include "net_check.h"

namespace {

using pnconvtest::Dump;
using pnconvtest::Pep;

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
      "PTR\nPTP\nPPT\n"  // empty: no phantom transition
      "TX\n1\"some text PL\"\n"
      "TP\n1<7\n"
      "PT\n2>1\n"
      "RA\n1<3\n";
  netfmt::Problem problem;
  const auto net = Pep(text, &problem);
  ASSERT_TRUE(net) << problem.message;
  EXPECT_EQ(Dump(*net, true),
            "place [p2 say \"hi\"] 1\n"
            "place [p3 next] 0\n"
            "place [p7 late] 2\n"
            "transition [t1 t1] in 0*1 1*1 out 1*1 2*1\n");
}

struct Refusal {
  const char* name;
  std::string text;
  const char* message;
  uint64_t line;
};

class PepRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(PepRefusals, SaysWhatAndWhere) {
  const Refusal& r = GetParam();
  netfmt::Problem problem;
  EXPECT_FALSE(Pep(r.text, &problem));
  EXPECT_NE(problem.message.find(r.message), std::string::npos) << problem.message;
  EXPECT_EQ(problem.where.line, r.line) << problem.message;
}

const std::string kHead = "PEP\nPetriBox\nFORMAT_N\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, PepRefusals,
    ::testing::Values(
        Refusal{"no_header", "PNML\n", "the first line is not \"PEP\"", 1},
        Refusal{"unknown_format", "PEP\nPetriBox\nFORMAT_X\n", "format FORMAT_X is not FORMAT_N", 3},
        Refusal{"phantom_transitions", kHead + "PL\n1\"p\"\nPTR\n1\"x\"\n", "section PTR (phantom transitions", 7},
        Refusal{"unknown_section", kHead + "PL\n1\"p\"\nRS\n1<1\n", "section RS is unknown", 6},
        Refusal{"bad_arc_line", kHead + "PL\n1\"p\"\nTR\n1\"t\"\nTP\n1-1\n", "arc line \"1-1\" is not", 9},
        Refusal{"unclosed_name", kHead + "PL\n1\"p\n", "without its closing quote", 5},
        Refusal{"arc_to_nothing", kHead + "PL\n1\"p\"\nTR\n1\"t\"\nPT\n1>2\n",
                "target t2 is neither a place nor a transition", 9},
        Refusal{"repeated_id", kHead + "PL\n1\"p\"\n1\"q\"\n", "duplicate id \"p1\"", 6},
        Refusal{"line_before_sections", kHead + "1\"p\"\n", "a line before the first section", 4}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
