// SPDX-License-Identifier: MIT
// The PNML reader: what it takes from a document, and every refusal once.
#include <gtest/gtest.h>

#include <string>

#include "net_check.h"

namespace {

using pnconvtest::Dump;
using pnconvtest::Pnml;

std::string Document(const std::string& nets) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<pnml xmlns=\"http://www.pnml.org/version-2009/grammar/pnml\">\n" +
         nets + "</pnml>\n";
}

std::string PtNet(const std::string& body, const std::string& id = "n") {
  return "<net id=\"" + id + "\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">\n" + body + "</net>\n";
}

TEST(PnmlReader, NestedPagesReferencesWeightsMarkingsAndNames) {
  const std::string text = Document(PtNet(
      "<name><text>the net</text></name>\n"
      "<page id=\"top\">\n"
      "  <place id=\"a\"><name><graphics><offset x=\"1\" y=\"2\"/></graphics>"
      "<text>  say \"hi\" &amp; go  </text></name>"
      "<initialMarking><text> 3 </text></initialMarking></place>\n"
      "  <transition id=\"t\"><name><text>caf\xC3\xA9</text></name>"
      "<toolspecific tool=\"x\" version=\"1\"><place id=\"ignored\"/></toolspecific></transition>\n"
      "  <page id=\"inner\">\n"
      "    <place id=\"b\"/>\n"
      "    <referencePlace id=\"rb\" ref=\"b\"/>\n"
      "    <referencePlace id=\"rrb\" ref=\"rb\"/>\n"
      "    <referenceTransition id=\"rt\" ref=\"t\"/>\n"
      "    <arc id=\"x1\" source=\"a\" target=\"rt\"><inscription><text>2</text></inscription></arc>\n"
      "    <arc id=\"x2\" source=\"t\" target=\"rrb\"><type value=\"normal\"/></arc>\n"
      "  </page>\n"
      "</page>\n"
      "<arc id=\"x3\" source=\"t\" target=\"b\"><graphics/><type><text> normal </text></type></arc>\n"));
  netfmt::Problem problem;
  const auto net = Pnml(text, &problem);
  ASSERT_TRUE(net) << problem.message;
  // Repeated arcs between the same nodes add up.
  EXPECT_EQ(Dump(*net, true),
            "place [a say \"hi\" & go] 3\n"
            "place [b ] 0\n"
            "transition [t caf\xC3\xA9] in 0*2 out 1*2\n");
}

TEST(PnmlReader, ChoosesTheNetNamedByNetAndSkipsTheOthers) {
  const std::string text = Document("<net id=\"c\" type=\"http://www.pnml.org/version-2009/grammar/symmetricnet\">"
                                    "<page id=\"p\"><place id=\"x\"/></page></net>\n" +
                                    PtNet("<page id=\"q\"><place id=\"x\"/></page>", "wanted"));
  netfmt::Problem problem;
  const auto net = Pnml(text, &problem, "wanted");
  ASSERT_TRUE(net) << problem.message;
  EXPECT_EQ(net->places(), 1);
}

// A net large enough to be built on the reader's second thread, in many
// batches: the net is the one described, and a repeat near the end is
// reported where it is, whatever else the document holds after it.
TEST(PnmlReader, LargeNetsAreBuiltWholeAndTheirFirstRepeatIsFound) {
  constexpr int kArcs = 40000;
  auto document = [&](int repeatAt) {
    std::string body = "<place id=\"p\"><initialMarking><text>2</text></initialMarking></place>\n";
    for (int i = 0; i < kArcs; ++i) {
      const std::string t = "t" + std::to_string(i);
      // Arcs before and after the transition they name.
      if (i % 2 == 0) body += "<transition id=\"" + t + "\"/>\n";
      body += "<arc id=\"a" + std::to_string(i == repeatAt ? 7 : i) + "\" source=\"p\" target=\"" + t + "\"/>\n";
      if (i % 2 == 1) body += "<transition id=\"" + t + "\"/>\n";
    }
    body += "<place id=\"p\"/>\n";  // a repeat after every other
    return Document(PtNet(body));
  };
  netfmt::Problem problem;
  const std::string whole = document(-1);
  EXPECT_FALSE(Pnml(whole, &problem));
  EXPECT_EQ(problem.message, "duplicate id \"p\"");
  EXPECT_EQ(problem.where.line, 5u + 2u * kArcs);

  const std::string fine = whole.substr(0, whole.rfind("<place id=\"p\"/>")) + "</net>\n</pnml>\n";
  const auto net = Pnml(fine, &problem);
  ASSERT_TRUE(net) << problem.message;
  EXPECT_EQ(net->places(), 1);
  EXPECT_EQ(net->transitions(), kArcs);
  EXPECT_EQ(net->arcs(), static_cast<size_t>(kArcs));
  EXPECT_EQ(net->tokens(0), 2);
  for (int t = 0; t < kArcs; ++t) {
    ASSERT_EQ(net->id(net->places() + t), "t" + std::to_string(t));
    ASSERT_EQ(net->inputs(t).size(), 1u);
  }

  // Arc 39000 repeats the id of arc 7.
  EXPECT_FALSE(Pnml(document(39000), &problem));
  EXPECT_EQ(problem.message, "duplicate id \"a7\"");
  EXPECT_EQ(problem.where.line, 6u + 2u * 39000);
}

struct Refusal {
  const char* name;
  std::string document;
  const char* netId;
  const char* message;  // a part of the message
  uint64_t line;        // 0: no line
};

class PnmlRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(PnmlRefusals, SaysWhatAndWhere) {
  const Refusal& r = GetParam();
  netfmt::Problem problem;
  EXPECT_FALSE(Pnml(r.document, &problem, r.netId));
  EXPECT_NE(problem.message.find(r.message), std::string::npos) << problem.message;
  EXPECT_EQ(problem.where.line, r.line) << problem.message;
}

const std::string kTwoNodes = "<place id=\"p\"/><transition id=\"t\"/>";

INSTANTIATE_TEST_SUITE_P(
    Cases, PnmlRefusals,
    ::testing::Values(
        Refusal{"high_level_net",
                Document("<net id=\"s\" type=\"http://www.pnml.org/version-2009/grammar/highlevelnet\"/>\n"),
                "", "net \"s\" is of type \"http://www.pnml.org/version-2009/grammar/highlevelnet\"", 3},
        Refusal{"inhibitor_arc_attribute",
                Document(PtNet(kTwoNodes + "\n<arc id=\"i\" source=\"p\" target=\"t\" type=\"inhibitor\"/>")), "",
                "arc i is of kind \"inhibitor\"", 5},
        Refusal{"reset_arc_element",
                Document(PtNet(kTwoNodes + "\n<arc id=\"r\" source=\"p\" target=\"t\"><type value=\"reset\"/></arc>")),
                "", "arc r is of kind \"reset\"", 5},
        Refusal{"inhibitor_arc_text_label",
                Document(PtNet(kTwoNodes + "\n<arc id=\"i\" source=\"p\" target=\"t\">"
                                           "<type><text> inhibitor </text></type></arc>")),
                "", "arc i is of kind \"inhibitor\", which a place/transition net cannot hold", 5},
        Refusal{"reset_arc_text_label_after_normal_value",
                Document(PtNet(kTwoNodes + "\n<arc id=\"r\" source=\"p\" target=\"t\">"
                                           "<type value=\"normal\"><text>reset</text></type></arc>")),
                "", "arc r is of kind \"reset\"", 5},
        Refusal{"duplicate_id", Document(PtNet("<place id=\"p\"/>\n<transition id=\"p\"/>")), "",
                "duplicate id \"p\"", 5},
        // A page's id is an id of the document as a node's or an arc's is.
        Refusal{"node_id_of_its_page", Document(PtNet("<page id=\"g\">\n<place id=\"g\"/></page>")), "",
                "duplicate id \"g\"", 5},
        Refusal{"page_id_of_an_earlier_node", Document(PtNet("<place id=\"g\"/>\n<page id=\"g\"/>")), "",
                "duplicate id \"g\"", 5},
        Refusal{"arc_id_of_its_page",
                Document(PtNet("<page id=\"g\">" + kTwoNodes + "\n<arc id=\"g\" source=\"p\" target=\"t\"/></page>")),
                "", "duplicate id \"g\"", 5},
        Refusal{"page_id_of_an_earlier_arc",
                Document(PtNet(kTwoNodes + "<arc id=\"g\" source=\"p\" target=\"t\"/>\n<page id=\"g\"/>")), "",
                "duplicate id \"g\"", 5},
        Refusal{"arc_id_of_an_earlier_node",
                Document(PtNet(kTwoNodes + "\n<arc id=\"t\" source=\"p\" target=\"t\"/>")), "",
                "duplicate id \"t\"", 5},
        Refusal{"duplicate_arc_id",
                Document(PtNet(kTwoNodes + "<arc id=\"a\" source=\"p\" target=\"t\"/>\n"
                                           "<arc id=\"a\" source=\"t\" target=\"p\"/>")),
                "", "duplicate id \"a\"", 5},
        // The later of two nodes or arcs with one id is the repeat, and the
        // first repeat in the document is the one reported.
        Refusal{"arc_id_of_a_later_node",
                Document(PtNet(kTwoNodes + "<arc id=\"q\" source=\"p\" target=\"t\"/>\n<place id=\"q\"/>")), "",
                "duplicate id \"q\"", 5},
        Refusal{"first_of_several_repeats",
                Document(PtNet(kTwoNodes + "<arc id=\"a\" source=\"p\" target=\"t\"/>\n"
                                           "<arc id=\"b\" source=\"t\" target=\"p\"/>\n<transition id=\"b\"/>\n"
                                           "<arc id=\"a\" source=\"t\" target=\"p\"/>")),
                "", "duplicate id \"b\"", 6},
        Refusal{"arc_between_places",
                Document(PtNet("<place id=\"p\"/><place id=\"q\"/>\n<arc id=\"a\" source=\"p\" target=\"q\"/>")), "",
                "arc a: source and target are both places", 5},
        Refusal{"arc_to_nothing", Document(PtNet(kTwoNodes + "\n<arc id=\"a7\" source=\"p\" target=\"t9\"/>")), "",
                "arc a7: target t9 is neither a place nor a transition of the net", 5},
        Refusal{"marking_not_a_number",
                Document(PtNet("<place id=\"p\">\n<initialMarking><text>two</text></initialMarking></place>")), "",
                "place p: initial marking \"two\" is not a number of tokens", 5},
        Refusal{"marking_negative",
                Document(PtNet("<place id=\"p\"><initialMarking><text>-1</text></initialMarking></place>")), "",
                "initial marking \"-1\"", 4},
        Refusal{"marking_beyond_64_bits",
                Document(PtNet("<place id=\"p\"><initialMarking><text>9223372036854775808</text></initialMarking>"
                               "</place>")),
                "", "initial marking \"9223372036854775808\" is not a number of tokens (a decimal integer from 0 to "
                "9223372036854775807)", 4},
        Refusal{"weight_zero",
                Document(PtNet(kTwoNodes + "<arc id=\"a\" source=\"p\" target=\"t\"><inscription><text>0</text>"
                                           "</inscription></arc>")),
                "", "arc a: weight \"0\" is not a decimal integer from 1", 4},
        Refusal{"reference_cycle",
                Document(PtNet("<referencePlace id=\"r1\" ref=\"r2\"/>\n<referencePlace id=\"r2\" ref=\"r1\"/>")), "",
                "is part of a cycle of references", 4},
        Refusal{"reference_of_the_wrong_kind", Document(PtNet(kTwoNodes + "\n<referencePlace id=\"r\" ref=\"t\"/>")),
                "", "reference place \"r\" names the transition \"t\"", 5},
        Refusal{"several_nets", Document(PtNet("", "one") + PtNet("", "two")), "",
                "holds 2 nets (one, two): choose one with --net ID", 0},
        Refusal{"net_not_found", Document(PtNet("", "one")), "zero", "no net with the id \"zero\" (its nets: one)", 0},
        Refusal{"no_net", Document(""), "", "the document holds no net", 0},
        Refusal{"not_pnml", "<svg/>", "", "its root element is \"svg\"", 1},
        Refusal{"not_well_formed", Document(PtNet("<place id=\"p\">")), "", "not well-formed XML", 4},
        Refusal{"billion_laughs",
                "<?xml version=\"1.0\"?>\n<!DOCTYPE pnml [\n<!ENTITY a \"aaaaaaaaaa\">\n"
                "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
                "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">\n<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">\n"
                "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">\n<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">\n"
                "<!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\">\n<!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">\n]>\n"
                "<pnml><net id=\"n\" type=\"ptnet\"><page id=\"p\"><place id=\"x\"><name><text>&i;</text></name>"
                "</place></page></net></pnml>\n",
                "", "declares the entity \"a\"", 3},
        Refusal{"undeclared_entity_under_an_external_dtd",
                "<?xml version=\"1.0\"?>\n<!DOCTYPE pnml SYSTEM \"pnml.dtd\">\n<pnml>" +
                    PtNet("<place id=\"p\"><initialMarking><text>1&x;2</text></initialMarking></place>") +
                    "</pnml>\n",
                "", "refers to the entity \"x\", which it does not declare", 4},
        Refusal{"external_entity",
                "<?xml version=\"1.0\"?>\n<!DOCTYPE pnml [\n<!ENTITY x SYSTEM \"/etc/passwd\">\n]>\n<pnml>&x;</pnml>\n",
                "", "declares the entity \"x\"", 3}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
