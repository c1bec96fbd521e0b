// SPDX-License-Identifier: MIT
// Unfoldings of the Model Checking Contest's symmetric nets against the
// contest's published state spaces: pnconv unfolds each sample to a PNML
// place/transition net, which is read back and walked; its states, edges,
// most tokens in a place and most tokens in a marking must be the published
// ones (data/coloured/statespace.tsv). An unfolding that loses or invents a
// binding, a colour of a marking or a multiplicity of an arc changes them.
//
// Every model of the table whose published space holds at most a million
// markings is checked, and its sample must be in data/coloured/; the others
// (a space of 140 million markings, an unknown one, an infinite one) are left
// to the contest. Each model is its own test, so that ctest -j2 spreads them.
// The largest of these spaces (some 60,000 markings, 400,000 edges) are
// walked in well under a second, and in a few seconds under ASan, so every
// model runs there too: the unfolder's memory handling is what ASan is for,
// and the large samples use it most.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/qxtest.h"
#include "input_source.h"
#include "pnml_reader.h"
#include "state_space.h"

namespace {

const std::string kPnconv = PNCONV_BIN;
const std::string kSamples = std::string(PNCONV_DATA_DIR) + "/coloured";
constexpr uint64_t kMostStates = 1000000;

struct Published {
  std::string model;
  uint64_t states = 0;
  std::string figures;  // as pnconvtest::Describe writes a complete walk
};

void PrintTo(const Published& row, std::ostream* out) { *out << row.model; }

// The rows of statespace.tsv (model, states, edges, most tokens in a place,
// in a marking) whose space is known and at most kMostStates markings.
std::vector<Published> PublishedSpaces() {
  std::vector<Published> rows;
  std::ifstream table(kSamples + "/statespace.tsv");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    Published row;
    std::string states, edges, place, marking;
    if (!std::getline(fields, row.model, '\t') || !std::getline(fields, states, '\t') ||
        !std::getline(fields, edges, '\t') || !std::getline(fields, place, '\t') || !std::getline(fields, marking)) {
      ADD_FAILURE() << "a row of statespace.tsv without five fields: " << line;
      continue;
    }
    if (states.empty() || states.find_first_not_of("0123456789") != std::string::npos) continue;
    row.states = std::stoull(states);
    if (row.states > kMostStates) continue;
    row.figures = "complete " + states + " " + edges + " " + place + " " + marking;
    rows.push_back(row);
  }
  return rows;
}

// A table gone missing or unreadable must not pass as no test at all: 16 of
// its 19 models are within reach.
TEST(ContestTable, NamesTheSamplesWithinReach) { EXPECT_EQ(PublishedSpaces().size(), 16u); }

class Contest : public ::testing::TestWithParam<Published> {};

TEST_P(Contest, UnfoldingHasThePublishedStateSpace) {
  const Published& c = GetParam();
  const std::string sample = kSamples + "/" + c.model + ".pnml";
  ASSERT_TRUE(qxtest::FileExists(sample)) << sample;
  qxtest::TempDir dir;
  const std::string unfolded = dir.File("unfolded.pnml");
  const auto run = qxtest::RunProgram(kPnconv, {"-q", sample, unfolded}, "", 60000);
  ASSERT_TRUE(run.exited) << run.err;
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");

  netfmt::Problem problem;
  const auto net = netfmt::ReadPnml(netfmt::FromText(qxtest::ReadFile(unfolded)), {}, &problem);
  ASSERT_TRUE(net) << netfmt::Describe(problem, unfolded);
  // One marking past the published count shows a larger space without
  // walking all of it.
  EXPECT_EQ(pnconvtest::Describe(pnconvtest::Explore(*net, c.states + 1)), c.figures)
      << c.model << " unfolded to " << net->places() << " places, " << net->transitions() << " transitions, "
      << net->arcs() << " arcs";
}

INSTANTIATE_TEST_SUITE_P(Samples, Contest, ::testing::ValuesIn(PublishedSpaces()),
                         [](const ::testing::TestParamInfo<Published>& info) {
                           std::string name = info.param.model;
                           for (char& ch : name) {
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

}  // namespace
