// SPDX-License-Identifier: MIT
// Token counts and weights up to the largest value a net holds (64 bits):
// the builder's sums at their edge, the PNML reader's and writer's texts,
// and the matrix format, which holds 32-bit values only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/qxtest.h"
#include "matrix_writer.h"
#include "net_check.h"
#include "pnml_writer.h"

namespace {

using pnconvtest::Dump;

constexpr int64_t kMax = netfmt::kMaxValue;
constexpr int64_t kInt32Max = INT32_MAX;

struct Sum {
  const char* name;
  std::vector<int64_t> weights;  // of arcs from p to t, in this order
  const char* dump;              // the net, or null when refused
};

class RepeatedArcs : public ::testing::TestWithParam<Sum> {};

// Weights above 32 bits are kept apart from the others while the net is
// built: both kinds, alone and summed, across that edge and at the top.
TEST_P(RepeatedArcs, SumToTheLargestValueAndNoFurther) {
  const Sum& c = GetParam();
  netfmt::NetBuilder b;
  ASSERT_TRUE(b.AddPlace("p", "", kMax, {}));
  ASSERT_TRUE(b.AddTransition("t", "", {}));
  for (const int64_t w : c.weights) ASSERT_TRUE(b.AddArc({}, "p", "t", w, {})) << b.problem().message;
  // An arc the other way is summed apart.
  ASSERT_TRUE(b.AddArc({}, "t", "p", kMax, {}));
  const auto net = b.Freeze();
  if (c.dump == nullptr) {
    ASSERT_FALSE(net);
    EXPECT_EQ(b.problem().message,
              "the repeated arcs between p and t weigh more than 9223372036854775807 together, the largest "
              "weight a net holds");
    return;
  }
  ASSERT_TRUE(net) << b.problem().message;
  EXPECT_EQ(Dump(*net), std::string("place [] 9223372036854775807\ntransition [] in 0*") + c.dump +
                            " out 0*9223372036854775807\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RepeatedArcs,
    ::testing::Values(Sum{"largest_32_bit_weight", {kInt32Max}, "2147483647"},
                      Sum{"smallest_weight_beyond_32_bits", {kInt32Max + 1}, "2147483648"},
                      Sum{"two_kinds_summed", {kInt32Max, kInt32Max + 1, kInt32Max + 2}, "6442450944"},
                      Sum{"exactly_the_largest", {kMax - 1, 1}, "9223372036854775807"},
                      Sum{"the_largest_alone", {kMax}, "9223372036854775807"},
                      Sum{"many_small_to_the_largest", {kMax - 3, 1, 1, 1}, "9223372036854775807"},
                      Sum{"one_more_than_the_largest", {kMax - 3, 1, 1, 1, 1}, nullptr},
                      Sum{"two_largest", {kMax, kMax}, nullptr}),
    [](const ::testing::TestParamInfo<Sum>& info) { return std::string(info.param.name); });

TEST(NetBuilder, RefusesNegativeTokensAndWeightsBelowOne) {
  netfmt::NetBuilder b;
  EXPECT_FALSE(b.AddPlace("p", "", -1, {}));
  EXPECT_EQ(b.problem().message, "place \"p\": -1 tokens");
  netfmt::NetBuilder c;
  ASSERT_TRUE(c.AddPlace("p", "", 0, {}));
  EXPECT_FALSE(c.AddArc({}, "p", "t", 0, {}));
  EXPECT_EQ(c.problem().message, "the arc from \"p\" to \"t\" has the weight 0, below 1");
}

std::string Document(const std::string& marking, const std::string& weight) {
  return "<?xml version=\"1.0\"?>\n<pnml><net id=\"n\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">"
         "<page id=\"g\"><place id=\"p\"><initialMarking><text>" +
         marking + "</text></initialMarking></place><transition id=\"t\"/>\n"
                   "<arc id=\"a\" source=\"p\" target=\"t\"><inscription><text>" +
         weight + "</text></inscription></arc></page></net></pnml>\n";
}

std::string WritePnml(const netfmt::Net& net) {
  qxtest::TempDir dir;
  netfmt::OutputFile out(dir.File("n.pnml"));
  EXPECT_TRUE(netfmt::WritePnml(net, "n", out));
  return qxtest::ReadFile(dir.File("n.pnml"));
}

// The largest values are read and written back as they stand; one more is
// refused, naming the limit (a marking one more: the readers' refusals).
TEST(PnmlValues, SixtyFourBitsReadWrittenAndTheNextRefused) {
  netfmt::Problem problem;
  const auto net = pnconvtest::Pnml(Document("9223372036854775807", "9223372036854775807"), &problem);
  ASSERT_TRUE(net) << problem.message;
  EXPECT_EQ(Dump(*net), "place [] 9223372036854775807\ntransition [] in 0*9223372036854775807 out\n");
  const std::string text = WritePnml(*net);
  EXPECT_NE(text.find("<place id=\"p\"><initialMarking><text>9223372036854775807</text></initialMarking></place>"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("<inscription><text>9223372036854775807</text></inscription>"), std::string::npos) << text;

  EXPECT_FALSE(pnconvtest::Pnml(Document("0", "9223372036854775808"), &problem));
  EXPECT_EQ(problem.message, "arc a: weight \"9223372036854775808\" is not a decimal integer from 1 to "
                             "9223372036854775807");
  EXPECT_FALSE(pnconvtest::Pnml(Document("99999999999999999999", "1"), &problem));
  EXPECT_NE(problem.message.find("initial marking \"99999999999999999999\""), std::string::npos) << problem.message;
}

netfmt::Net OneArc(int64_t tokens, int64_t weight, bool input) {
  netfmt::NetBuilder b;
  b.AddPlace("p", "", tokens, {});
  b.AddTransition("t", "", {});
  if (input) {
    b.AddArc({}, "p", "t", weight, {});
  } else {
    b.AddArc({}, "t", "p", weight, {});
  }
  return *b.Freeze();
}

// varnost reads 32-bit values: the matrix format takes the largest of them
// and refuses the next, naming the value and where it stands.
TEST(MatrixValues, ThirtyTwoBitsHeldAndTheNextRefused) {
  EXPECT_EQ(netfmt::MatrixRefusal(OneArc(kInt32Max, kInt32Max, true)), "");
  EXPECT_EQ(netfmt::MatrixRefusal(OneArc(kInt32Max + 1, 1, true)),
            "place \"p\" holds 2147483648 tokens, more than the matrix format holds (varnost reads values up to "
            "2147483647)");
  EXPECT_EQ(netfmt::MatrixRefusal(OneArc(0, kInt32Max + 1, true)),
            "the arc from \"p\" to \"t\" weighs 2147483648, more than the matrix format holds (varnost reads values "
            "up to 2147483647)");
  EXPECT_EQ(netfmt::MatrixRefusal(OneArc(0, kMax, false)),
            "the arc from \"t\" to \"p\" weighs 9223372036854775807, more than the matrix format holds (varnost "
            "reads values up to 2147483647)");
}

}  // namespace
