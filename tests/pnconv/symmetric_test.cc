// SPDX-License-Identifier: MIT
// Symmetric nets: each construct of the reader unfolded on a small net, the
// exact unfoldings of a few nets, and every refusal once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net_check.h"
#include "pnml_reader.h"

namespace {

// The declarations every fixture shares: an enumeration E = a, b, c (cyclic),
// a finite one F = f, g, an integer range R = 1..3, the product P = E x R,
// bool, dot, a partition H of E (h1 = a, b; h2 = c), and variables x, z of E,
// y of R, u of F, w of P.
const char kDeclarations[] =
    "<declaration><structure><declarations>\n"
    "<namedsort id=\"E\" name=\"E\"><cyclicenumeration><feconstant id=\"a\" name=\"a\"/>"
    "<feconstant id=\"b\" name=\"b\"/><feconstant id=\"c\" name=\"c\"/></cyclicenumeration></namedsort>\n"
    "<namedsort id=\"F\" name=\"F\"><finiteenumeration><feconstant id=\"f\" name=\"f\"/>"
    "<feconstant id=\"g\" name=\"g\"/></finiteenumeration></namedsort>\n"
    "<namedsort id=\"R\" name=\"R\"><finiteintrange start=\"1\" end=\"3\"/></namedsort>\n"
    "<namedsort id=\"P\" name=\"P\"><productsort><usersort declaration=\"E\"/><usersort declaration=\"R\"/>"
    "</productsort></namedsort>\n"
    "<namedsort id=\"B\" name=\"B\"><bool/></namedsort>\n"
    "<namedsort id=\"D\" name=\"D\"><dot/></namedsort>\n"
    "<partition id=\"H\" name=\"H\"><usersort declaration=\"E\"/>"
    "<partitionelement id=\"h1\" name=\"h1\"><useroperator declaration=\"a\"/><useroperator declaration=\"b\"/>"
    "</partitionelement><partitionelement id=\"h2\" name=\"h2\"><useroperator declaration=\"c\"/>"
    "</partitionelement></partition>\n"
    "<variabledecl id=\"x\" name=\"x\"><usersort declaration=\"E\"/></variabledecl>\n"
    "<variabledecl id=\"z\" name=\"z\"><usersort declaration=\"E\"/></variabledecl>\n"
    "<variabledecl id=\"y\" name=\"y\"><usersort declaration=\"R\"/></variabledecl>\n"
    "<variabledecl id=\"u\" name=\"u\"><usersort declaration=\"F\"/></variabledecl>\n"
    "<variabledecl id=\"w\" name=\"w\"><usersort declaration=\"P\"/></variabledecl>\n"
    "</declarations></structure></declaration>\n";

// Terms, as the contest's files write them.
std::string Sub(const std::string& term) { return "<subterm>" + term + "</subterm>"; }
std::string Op(const std::string& op, const std::string& a, const std::string& b = "") {
  return "<" + op + ">" + Sub(a) + (b.empty() ? "" : Sub(b)) + "</" + op + ">";
}
std::string V(const std::string& id) { return "<variable refvariable=\"" + id + "\"/>"; }
std::string C(const std::string& id) { return "<useroperator declaration=\"" + id + "\"/>"; }
std::string N(int count, const std::string& term) {
  return "<numberof><subterm><numberconstant value=\"" + std::to_string(count) +
         "\"><positive/></numberconstant></subterm>" + Sub(term) + "</numberof>";
}
std::string Int(int value) {
  return "<finiteintrangeconstant value=\"" + std::to_string(value) + "\"><finiteintrange start=\"1\" end=\"3\"/>"
         "</finiteintrangeconstant>";
}
std::string All(const std::string& sort) { return "<all><usersort declaration=\"" + sort + "\"/></all>"; }
const std::string kDot = "<dotconstant/>";

std::string Label(const char* name, const std::string& term) {
  return term.empty() ? "" : "<" + std::string(name) + "><text>.</text><structure>" + term + "</structure></" + name + ">";
}

std::string Document(const std::string& body, const std::string& type = "symmetricnet") {
  return "<?xml version=\"1.0\"?>\n<pnml xmlns=\"http://www.pnml.org/version-2009/grammar/pnml\">\n"
         "<net id=\"n\" type=\"http://www.pnml.org/version-2009/grammar/" + type + "\">\n<page id=\"pg\">\n" +
         body + "</page>\n" + kDeclarations + "</net>\n</pnml>\n";
}

// A place of a declared sort, a transition, an arc; empty labels are left out.
std::string Place(const std::string& id, const std::string& sort, const std::string& marking = "") {
  return "<place id=\"" + id + "\"><type><text>" + sort + "</text><structure><usersort declaration=\"" + sort +
         "\"/></structure></type>" + Label("hlinitialMarking", marking) + "</place>\n";
}
std::string Transition(const std::string& id, const std::string& guard = "") {
  return "<transition id=\"" + id + "\">" + Label("condition", guard) + "</transition>\n";
}
int arcCount = 0;
std::string Arc(const std::string& from, const std::string& to, const std::string& term) {
  return "<arc id=\"arc" + std::to_string(++arcCount) + "\" source=\"" + from + "\" target=\"" + to + "\">" +
         Label("hlinscription", term) + "</arc>\n";
}

// The unfolded net, one line per node: "id tokens" for a place,
// "id: in place*weight... out place*weight..." for a transition.
std::string Unfolded(const std::string& document, netfmt::Problem* problem = nullptr) {
  netfmt::Problem own;
  const std::optional<netfmt::Net> net = pnconvtest::Pnml(document, problem != nullptr ? problem : &own);
  if (!net) return "refused: " + (problem != nullptr ? problem : &own)->message;
  std::string text;
  for (int p = 0; p < net->places(); ++p) text += std::string(net->id(p)) + " " + std::to_string(net->tokens(p)) + "\n";
  for (int t = 0; t < net->transitions(); ++t) {
    text += std::string(net->id(net->places() + t)) + ": in";
    for (const auto& a : net->inputs(t)) text += " " + std::string(net->id(a.place)) + "*" + std::to_string(a.weight);
    text += " out";
    for (const auto& a : net->outputs(t)) text += " " + std::string(net->id(a.place)) + "*" + std::to_string(a.weight);
    text += "\n";
  }
  return text;
}

struct Construct {
  const char* name;
  std::string body;
  const char* unfolded;
};

class Constructs : public ::testing::TestWithParam<Construct> {};

TEST_P(Constructs, UnfoldExactly) { EXPECT_EQ(Unfolded(Document(GetParam().body)), GetParam().unfolded); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Constructs,
    ::testing::Values(
        // A variable bound by its input arc: one transition per colour held.
        Construct{"variable_and_numberof",
                  Place("p", "E", Op("add", N(1, C("a")), N(2, C("c")))) + Place("q", "E") + Transition("t") +
                      Arc("p", "t", N(1, V("x"))) + Arc("t", "q", N(3, V("x"))),
                  "p_a 1\np_c 2\nq_a 0\nq_c 0\n"
                  "t_a: in p_a*1 out q_a*3\nt_c: in p_c*1 out q_c*3\n"},
        // all: each colour; dot places keep their id.
        Construct{"all_and_dot",
                  Place("d", "D", N(1, kDot)) + Place("q", "E") + Transition("t") + Arc("d", "t", N(1, kDot)) +
                      Arc("t", "q", N(1, All("E"))),
                  "d 1\nq_a 0\nq_b 0\nq_c 0\nt: in d*1 out q_a*1 q_b*1 q_c*1\n"},
        // successor and predecessor wrap around a cyclic enumeration.
        Construct{"successor_predecessor",
                  Place("p", "E", N(1, "<feconstant declaration=\"c\"/>")) + Place("q", "E") + Transition("t") + Arc("p", "t", N(1, V("x"))) +
                      Arc("t", "q", Op("add", N(1, Op("successor", V("x"))), N(1, Op("predecessor", V("x"))))),
                  "p_c 1\nq_a 0\nq_b 0\nt_c: in p_c*1 out q_a*1 q_b*1\n"},
        // Tuples, integer ranges, and a product's colours by component.
        Construct{"tuple_range_product",
                  Place("p", "P", Op("add", N(1, Op("tuple", C("a"), Int(2))), N(1, Op("tuple", C("b"), Int(3))))) +
                      Place("q", "R") + Transition("t") + Arc("p", "t", N(1, Op("tuple", V("x"), V("y")))) +
                      Arc("t", "q", N(1, V("y"))),
                  "p_a_2 1\np_b_3 1\nq_2 0\nq_3 0\nt_a_2: in p_a_2*1 out q_2*1\nt_b_3: in p_b_3*1 out q_3*1\n"},
        // A variable of a product sort.
        Construct{"product_variable",
                  Place("p", "P", N(1, Op("tuple", C("c"), Int(1)))) + Place("q", "P") + Transition("t") +
                      Arc("p", "t", N(1, V("w"))) + Arc("t", "q", N(2, V("w"))),
                  "p_c_1 1\nq_c_1 0\nt_c_1: in p_c_1*1 out q_c_1*2\n"},
        // Guards: comparisons by the order of declaration, and, or, not, imply.
        Construct{"guard_order_and_logic",
                  Place("p", "E", N(1, All("E"))) + Place("q", "E") +
                      Transition("t", Op("and", Op("greaterthanorequal", V("x"), C("b")),
                                         Op("or", Op("not", Op("equality", V("x"), C("b"))),
                                            Op("imply", "<booleanconstant value=\"true\"/>",
                                               "<booleanconstant value=\"false\"/>")))) +
                      Arc("p", "t", N(1, V("x"))) + Arc("t", "q", N(1, V("x"))),
                  "p_a 1\np_b 1\np_c 1\nq_c 0\nt_c: in p_c*1 out q_c*1\n"},
        // A variable no input arc binds ranges over its sort, under the guard.
        Construct{"free_variable_with_lessthan",
                  Place("q", "R") + Transition("t", Op("lessthan", V("y"), Int(3))) + Arc("t", "q", N(1, V("y"))),
                  "q_1 0\nq_2 0\nt_1: in out q_1*1\nt_2: in out q_2*1\n"},
        // A variable an equality gives from one bound already: succ(z) = x.
        Construct{"variable_given_by_an_equality",
                  Place("p", "E", N(1, C("a"))) + Place("q", "E") +
                      Transition("t", Op("equality", Op("successor", V("z")), V("x"))) +
                      Arc("p", "t", N(1, V("x"))) + Arc("t", "q", N(1, V("z"))),
                  "p_a 1\nq_c 0\nt_a_c: in p_a*1 out q_c*1\n"},
        // add, subtract: the counts of each colour.
        Construct{"add_subtract",
                  Place("p", "E", N(2, All("E"))) + Place("q", "E") + Transition("t") +
                      Arc("p", "t", Op("subtract", N(2, All("E")), N(1, V("x")))) + Arc("t", "q", N(1, V("x"))),
                  "p_a 2\np_b 2\np_c 2\nq_a 0\nq_b 0\nq_c 0\n"
                  "t_a: in p_a*1 p_b*2 p_c*2 out q_a*1\nt_b: in p_a*2 p_b*1 p_c*2 out q_b*1\n"
                  "t_c: in p_a*2 p_b*2 p_c*1 out q_c*1\n"},
        // A difference subtracted in turn: all - (all - a) is a, not a
        // difference below zero.
        Construct{"subtract_of_a_difference",
                  Place("p", "E", Op("subtract", N(1, All("E")), Op("subtract", N(1, All("E")), N(1, C("a"))))),
                  "p_a 1\n"},
        // A partition element stands for its colours; partitionelementof and
        // ltp compare elements.
        Construct{"partition",
                  Place("p", "E", N(1, C("h1"))) + Place("q", "E") +
                      Transition("t", "<ltp>" + Sub("<partitionelementof refpartition=\"H\">" + Sub(V("x")) +
                                                    "</partitionelementof>") +
                                          Sub(C("h2")) + "</ltp>") +
                      Arc("p", "t", N(1, V("x"))) + Arc("t", "q", N(1, V("x"))),
                  "p_a 1\np_b 1\nq_a 0\nq_b 0\nt_a: in p_a*1 out q_a*1\nt_b: in p_b*1 out q_b*1\n"},
        // Colours no marking can hold give no place, bindings that cannot
        // fire no transition: q_b is never marked, so u = g never fires s.
        Construct{"reachable_colours_only",
                  Place("p", "F", N(1, C("f"))) + Place("q", "F") + Place("r", "F") + Transition("t") +
                      Transition("s") + Arc("p", "t", N(1, V("u"))) + Arc("t", "q", N(1, V("u"))) +
                      Arc("q", "s", N(1, V("u"))) + Arc("s", "r", N(1, V("u"))),
                  "p_f 1\nq_f 0\nr_f 0\nt_f: in p_f*1 out q_f*1\ns_f: in q_f*1 out r_f*1\n"},
        // Two variables bound by one tuple, a third checked against it; a
        // numberof of 0 takes nothing.
        Construct{"tuple_binds_two_checks_a_third",
                  Place("p", "P", Op("add", N(1, Op("tuple", C("a"), Int(1))), N(1, Op("tuple", C("b"), Int(1))))) +
                      Place("e", "E", N(1, C("b"))) + Transition("t") +
                      Arc("p", "t", N(1, Op("tuple", V("x"), V("y")))) +
                      Arc("e", "t", Op("add", N(1, V("x")), N(0, V("z")))),
                  "p_a_1 1\np_b_1 1\ne_b 1\nt_b_a_1: in p_b_1*1 e_b*1 out\n"
                  "t_b_b_1: in p_b_1*1 e_b*1 out\nt_b_c_1: in p_b_1*1 e_b*1 out\n"}),
    [](const ::testing::TestParamInfo<Construct>& info) { return std::string(info.param.name); });

TEST(SymmetricNets, PlaceTransitionLabelsUnderAPtNetTypeAreReadAsASymmetricNet) {
  // A net typed ptnet whose places have sorts: its hlinscription is kept (a
  // P/T reading would drop it and lose the colours).
  const std::string document = Document(Place("p", "E", N(1, C("a"))) + Place("q", "E") + Transition("t") +
                                            Arc("p", "t", N(1, V("x"))) + Arc("t", "q", N(1, Op("successor", V("x")))),
                                        "ptnet");
  EXPECT_EQ(Unfolded(document), "p_a 1\nq_b 0\nt_a: in p_a*1 out q_b*1\n");
}

TEST(SymmetricNets, ASymmetricLabelFarIntoAPtNetIsRefusedNamedNotDropped) {
  // The start of a net typed ptnet is kept in case it is a symmetric one; a
  // symmetric label met after that start is refused, never dropped.
  std::string places;
  for (int i = 0; i < 20000; ++i) places += "<place id=\"q" + std::to_string(i) + "\"/>\n";
  netfmt::Problem problem;
  const std::string result =
      Unfolded(Document(places + Place("p", "E", N(1, C("a"))), "ptnet"), &problem);
  EXPECT_EQ(result.rfind("refused: ", 0), 0u);
  EXPECT_EQ(problem.message,
            "the net is typed ptnet but carries <type>, a symmetric net's label, after its first 16384 elements: "
            "give it the type symmetricnet");
  EXPECT_EQ(problem.where.line, 20005u);
}

TEST(SymmetricNets, PlacesWithoutSortHoldDotsCountedByTheirPlaceTransitionLabels) {
  const std::string document =
      Document("<place id=\"p\"><initialMarking><text>3</text></initialMarking></place>\n" + Place("q", "E") +
               Transition("t") + "<arc id=\"i\" source=\"p\" target=\"t\"><inscription><text>2</text></inscription></arc>\n" +
               Arc("t", "q", N(1, All("E"))));
  EXPECT_EQ(Unfolded(document), "p 3\nq_a 0\nq_b 0\nq_c 0\nt: in p*2 out q_a*1 q_b*1 q_c*1\n");
}

TEST(SymmetricNets, AnIdTakenAlreadyGetsANumber) {
  // Place "p_a" is there before place p's colour a.
  const std::string document =
      Document(Place("p_a", "D", N(1, kDot)) + Place("p", "E", N(1, C("a"))) + Transition("t") +
               Arc("p", "t", N(1, V("x"))));
  EXPECT_EQ(Unfolded(document), "p_a 1\np_a_2 1\nt_a: in p_a_2*1 out\n");
}

TEST(SymmetricNets, ABoundOnTheUnfoldingIsReportedWithItsFigures) {
  const std::string document = Document(Place("q", "R") + Transition("t") + Arc("t", "q", N(1, V("y"))));
  netfmt::Problem problem;
  netfmt::PnmlOptions options;
  options.maxNodes = 4;
  EXPECT_FALSE(netfmt::ReadPnml(netfmt::FromText(document), options, &problem));
  EXPECT_EQ(problem.message,
            "the unfolding passes the limit of 4 places and transitions (--max-nodes): 3 places and 2 transitions "
            "so far, at transition t");
  // 9 places and 9 transitions (x and z range over E), each transition with
  // an arc to every place: 81 arcs, more than 4 x 18.
  const std::string dense = Document(
      Place("q", "P") + Transition("t", Op("and", Op("equality", V("x"), V("x")), Op("equality", V("z"), V("z")))) +
      Arc("t", "q", N(1, All("P"))));
  options.maxNodes = 18;
  EXPECT_FALSE(netfmt::ReadPnml(netfmt::FromText(dense), options, &problem));
  EXPECT_EQ(problem.message,
            "the unfolding passes the limit of 72 arcs (4 x --max-nodes): 9 places and 9 transitions so far, at "
            "transition t");
  options.maxNodes = 21;
  EXPECT_TRUE(netfmt::ReadPnml(netfmt::FromText(dense), options, &problem)) << problem.message;
  options.maxNodes = 6;
  netfmt::symmetric::UnfoldFigures figures;
  const auto net = netfmt::ReadPnml(netfmt::FromText(document), options, &problem, &figures);
  ASSERT_TRUE(net) << problem.message;
  EXPECT_TRUE(figures.unfolded);
  EXPECT_EQ(figures.places + figures.transitions + figures.arcs, 3u);
  EXPECT_EQ(net->nodes(), 6);
}

struct Refusal {
  const char* name;
  std::string body;  // in the page (declarations of its own close the page and open another)
  const char* message;
};

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, SayWhatAndWhere) {
  netfmt::Problem problem;
  const std::string result = Unfolded(Document(GetParam().body), &problem);
  EXPECT_EQ(result.rfind("refused: ", 0), 0u) << result;
  EXPECT_NE(problem.message.find(GetParam().message), std::string::npos) << problem.message;
  EXPECT_GT(problem.where.line, 0u) << problem.message;
}

const std::string kDeclare = "</page><declaration><structure><declarations>";
const std::string kDeclared = "</declarations></structure></declaration><page id=\"pg2\">";

INSTANTIATE_TEST_SUITE_P(
    Cases, Refusals,
    ::testing::Values(
        Refusal{"unknown_sort", Place("p", "Nope"), "<usersort>: unknown sort \"Nope\""},
        Refusal{"unknown_operator", Place("p", "E", N(1, "<mult/>")), "<mult>: not a term this reader knows"},
        Refusal{"unknown_variable", Place("p", "E") + Transition("t") + Arc("p", "t", N(1, V("v"))),
                "<variable>: unknown variable \"v\""},
        Refusal{"unknown_constant", Place("p", "E", N(1, C("zz"))), "<useroperator>: unknown constant \"zz\""},
        Refusal{"wrong_sort", Place("p", "E") + Transition("t") + Arc("p", "t", N(1, V("y"))),
                "a term of sort R where E is needed"},
        Refusal{"variable_in_a_marking", Place("p", "E", N(1, V("x"))), "variable \"x\" in a marking"},
        Refusal{"successor_on_a_finite_enumeration", Place("p", "F", N(1, Op("successor", C("f")))),
                "which is not a cyclic enumeration"},
        Refusal{"negative_count", Place("p", "E", "<numberof><subterm><numberconstant value=\"-1\"/></subterm>" +
                                                      Sub(C("a")) + "</numberof>"),
                "count \"-1\" is not a whole number"},
        Refusal{"oversized_count", Place("p", "E", "<numberof><subterm><numberconstant value=\"99999999999999999999\"/>"
                                                   "</subterm>" + Sub(C("a")) + "</numberof>"),
                "count \"99999999999999999999\" is not a whole number"},
        Refusal{"sort_cycle",
                kDeclare + "<namedsort id=\"S\"><usersort declaration=\"T\"/></namedsort>"
                           "<namedsort id=\"T\"><productsort><usersort declaration=\"S\"/><usersort declaration=\"E\"/>"
                           "</productsort></namedsort>" + kDeclared,
                "is declared in terms of itself"},
        Refusal{"empty_range", kDeclare + "<namedsort id=\"S\"><finiteintrange start=\"3\" end=\"1\"/></namedsort>" + kDeclared,
                "an empty sort"},
        Refusal{"empty_enumeration", kDeclare + "<namedsort id=\"S\"><finiteenumeration/></namedsort>" + kDeclared,
                "an empty sort"},
        Refusal{"ordering_a_product", Place("p", "P") + Transition("t", Op("lessthan", V("w"), V("w"))) +
                                          Arc("p", "t", N(1, V("w"))),
                "colours of P have no order"},
        Refusal{"difference_below_zero", Place("p", "E", Op("subtract", N(1, C("a")), N(2, C("a")))),
                "a difference of multisets below zero"},
        Refusal{"unknown_declaration", kDeclare + "<namedoperator id=\"o\"/>" + kDeclared,
                "<namedoperator>: a declaration this reader does not know"},
        Refusal{"inhibitor_arc", Place("p", "E") + Transition("t") +
                                     "<arc id=\"i\" source=\"p\" target=\"t\" type=\"inhibitor\"/>",
                "arc i is of kind \"inhibitor\""},
        Refusal{"arc_without_inscription_on_colours", Place("p", "E") + Transition("t") +
                                                          "<arc id=\"i\" source=\"p\" target=\"t\"/>",
                "arc i has no hlinscription"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
