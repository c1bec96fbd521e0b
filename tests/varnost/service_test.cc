// SPDX-License-Identifier: MIT
// Whole runs of the varnost program: exit statuses, messages, files, and the
// five real nets against their original PEP files.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/previous_output.h"
#include "common/qxtest.h"

namespace {

const std::string kVarnost = VARNOST_BIN;
const std::string kExamples = VARNOST_EXAMPLES_DIR;
const std::string kData = VARNOST_DATA_DIR;
const char kSmallNet[] = "2 1 1 0 0 1 1 0";

struct RunCase {
  const char* name;
  std::vector<std::string> args;  // "NET" stands for the net's path
  const char* matrix;             // content of the net file; null: no file
  int status;
  const char* out;                // "NET" stands for the net's path
  bool written;                   // whether NET.ll_net exists afterwards
};

std::string Substitute(std::string text, const std::string& net) {
  for (size_t at; (at = text.find("NET")) != std::string::npos;) text.replace(at, 3, net);
  return text;
}

class Runs : public ::testing::TestWithParam<RunCase> {};

TEST_P(Runs, StatusMessageAndOutput) {
  const RunCase& c = GetParam();
  qxtest::TempDir dir;
  const std::string net = dir.File("a%s.mat");
  if (c.matrix != nullptr) qxtest::WriteFile(net, c.matrix);
  std::vector<std::string> args;
  for (const auto& a : c.args) args.push_back(Substitute(a, net));
  const auto run = qxtest::RunProgram(kVarnost, args, dir.path());
  ASSERT_TRUE(run.exited) << run.err;
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.out, Substitute(c.out, net));
  EXPECT_EQ(qxtest::FileExists(net + ".ll_net"), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Runs,
    ::testing::Values(
        RunCase{"converts", {"-s", "NET"}, kSmallNet, 0, "", true},
        RunCase{"options_before_the_file", {"-s", "-t", "-m", "NET"}, kSmallNet, 0, "", true},
        RunCase{"too_many_arguments",
                {"-s", "-t", "-m", "-.", "NET"},
                kSmallNet,
                1,
                "usage:\tVarnost [-m] [-.] filename1\n\t-m by default\n",
                false},
        RunCase{"transition_format_refused", {"-s", "-m", "-t", "NET"}, kSmallNet, 1, "", false},
        RunCase{"no_file_argument",
                {"-s"},
                nullptr,
                1,
                "usage:\tVarnost [-m] [-.] filename1\n\t-m by default\n",
                false},
        RunCase{"missing_file", {"-s", "NET"}, nullptr, 1, "le fichier NET n'existe pas\n", false},
        RunCase{"malformed",
                {"-s", "NET"},
                "2 1 1 0 0 1",
                1,
                "erreur de format dans le marquage place 0\n",
                false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunsOutput, UnwritableOutputEndsOnErrorAndKeepsWhatWasThere) {
  qxtest::TempDir dir;
  const std::string net = dir.File("a.mat");
  qxtest::WriteFile(net, kSmallNet);
  // The output path is taken by a directory, with a file in it: the output
  // cannot be put there, and the directory stays as it was.
  ASSERT_EQ(mkdir((net + ".ll_net").c_str(), 0755), 0);
  const std::string inside = net + ".ll_net/kept";
  qxtest::WriteFile(inside, qxtest::PreviousOutput());
  const auto run = qxtest::RunProgram(kVarnost, {"-s", net}, dir.path());
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "erreur lors de la creation du fichier pep\n");
  EXPECT_EQ(qxtest::ListDir(net + ".ll_net"), std::vector<std::string>{"kept"});
  EXPECT_TRUE(qxtest::HoldsPreviousOutput(inside));
  EXPECT_EQ(qxtest::ListDir(dir.path()), (std::vector<std::string>{"a.mat", "a.mat.ll_net"}));
}

TEST(RunsOutput, FailedReadLeavesThePreviousOutput) {
  qxtest::TempDir dir;
  const std::string net = dir.File("a.mat");
  qxtest::WriteFile(net, kSmallNet);
  ASSERT_EQ(qxtest::RunProgram(kVarnost, {"-s", net}, dir.path()).status, 0);
  const std::string good = qxtest::ReadFile(net + ".ll_net");
  qxtest::WriteFile(net, "2 1 1 0 0");
  const auto run = qxtest::RunProgram(kVarnost, {"-s", net}, dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(qxtest::ReadFile(net + ".ll_net"), good);
}

// A net is refused for memory only when the machine cannot hold it, never
// for what the file holds after the counts: eleven million transitions and no
// place (a gigabyte of node records) convert from a file of eleven bytes.
TEST(RunsOutput, LargeNetFromATinyFileConverts) {
#if defined(__SANITIZE_ADDRESS__)
  // Twenty-two million instrumented allocations take minutes: the decision
  // under test is the same in the plain build.
  GTEST_SKIP() << "a gigabyte of node records under the sanitizers";
#endif
  constexpr long kTransitions = 11000000;
  qxtest::TempDir dir;
  const std::string net = dir.File("t.mat");
  qxtest::WriteFile(net, "0 " + std::to_string(kTransitions) + "\n");
  const auto run = qxtest::RunProgram(kVarnost, {"-s", net}, dir.path(), 120000);
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  // "PEP\nPetriBox\nFORMAT_N\nPL\nTR\n", a line <t>"T<t>"50@50 per
  // transition, "TP\nPT\n".
  long size = 28 + 6;
  for (long t = 1; t <= kTransitions; ++t) size += 2 * static_cast<long>(std::to_string(t).size()) + 9;
  struct stat info;
  ASSERT_EQ(stat((net + ".ll_net").c_str(), &info), 0);
  EXPECT_EQ(info.st_size, size);
}

// The nodes and arcs of a PEP file. Nodes are ranked by their identifier (the
// number before the name, or the position in the section when there is none).
struct PepNet {
  std::vector<std::string> places, transitions;
  std::set<int> marked;                       // place ranks
  std::set<std::pair<int, int>> tp, pt;       // (transition, place), (place, transition)
};

// Removes the quoted parts of a line's tail, so that texts in quotes are not
// taken for fields.
std::string WithoutQuoted(const std::string& s) {
  std::string out;
  char quote = 0;
  for (char c : s) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"') {
      quote = c;
    } else {
      out += c;
    }
  }
  return out;
}

bool IsSectionHeader(const std::string& line) {
  return !line.empty() &&
         std::all_of(line.begin(), line.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

PepNet ParsePep(const std::string& text) {
  struct Node {
    long id;
    std::string name;
    bool marked;
  };
  std::vector<Node> places, transitions;
  std::vector<std::pair<long, long>> tp, pt;
  std::istringstream in(text);
  std::string line, section;
  while (std::getline(in, line)) {
    if (IsSectionHeader(line)) {
      section = line;
      continue;
    }
    if (section == "PL" || section == "TR") {
      auto& nodes = section == "PL" ? places : transitions;
      const size_t open = line.find_first_of("\"'");
      if (open == std::string::npos) continue;
      const size_t close = line.find(line[open], open + 1);
      const long id = open > 0 ? std::stol(line.substr(0, open)) : static_cast<long>(nodes.size()) + 1;
      const std::string tail = WithoutQuoted(line.substr(close + 1));
      const size_t m = tail.find('M');
      const bool marked = m != std::string::npos && m + 1 < tail.size() && tail[m + 1] >= '1' &&
                          tail[m + 1] <= '9';
      nodes.push_back({id, line.substr(open + 1, close - open - 1), marked});
    } else if (section == "TP" || section == "PT") {
      long a = 0, b = 0;
      char sign = 0;
      std::istringstream arc(line);
      if (arc >> a >> sign >> b) (section == "TP" ? tp : pt).push_back({a, b});
    }
  }
  PepNet net;
  std::map<long, int> placeRank, transRank;
  for (auto* nodes : {&places, &transitions}) {
    std::sort(nodes->begin(), nodes->end(), [](const Node& x, const Node& y) { return x.id < y.id; });
  }
  for (size_t i = 0; i < places.size(); ++i) {
    placeRank[places[i].id] = static_cast<int>(i);
    net.places.push_back(places[i].name);
    if (places[i].marked) net.marked.insert(static_cast<int>(i));
  }
  for (size_t i = 0; i < transitions.size(); ++i) {
    transRank[transitions[i].id] = static_cast<int>(i);
    net.transitions.push_back(transitions[i].name);
  }
  for (auto [t, p] : tp) net.tp.insert({transRank.at(t), placeRank.at(p)});
  for (auto [p, t] : pt) net.pt.insert({placeRank.at(p), transRank.at(t)});
  return net;
}

std::vector<std::string> Underscored(std::vector<std::string> names) {
  for (auto& n : names) std::replace(n.begin(), n.end(), ' ', '_');
  return names;
}

class RealNets : public ::testing::TestWithParam<const char*> {};

TEST_P(RealNets, ConvertLikeTheOriginal) {
  const std::string name = GetParam();
  qxtest::TempDir dir;
  const std::string net = dir.File(name + ".mat");
  qxtest::WriteFile(net, qxtest::ReadFile(kExamples + "/" + name + ".mat"));
  qxtest::WriteFile(net + ".ref", qxtest::ReadFile(kExamples + "/" + name + ".mat.ref"));
  const auto run = qxtest::RunProgram(kVarnost, {"-s", net}, dir.path());
  ASSERT_TRUE(run.exited);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "");
  const PepNet ours = ParsePep(qxtest::ReadFile(net + ".ll_net"));
  const PepNet original = ParsePep(qxtest::ReadFile(kData + "/" + name + ".orig.ll_net"));
  EXPECT_FALSE(original.places.empty());
  EXPECT_EQ(ours.places, Underscored(original.places));
  EXPECT_EQ(ours.transitions, Underscored(original.transitions));
  EXPECT_EQ(ours.marked, original.marked);
  EXPECT_EQ(ours.tp, original.tp);
  EXPECT_EQ(ours.pt, original.pt);
}

INSTANTIATE_TEST_SUITE_P(Examples, RealNets,
                         ::testing::Values("dme2", "peterson", "elevator_2", "key_2", "mutual"));

}  // namespace
