// SPDX-License-Identifier: MIT
// Whole runs of the pnconv program: exit statuses and messages, what is
// written and what is kept, and byte equality with varnost on the example
// nets.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "common/previous_output.h"
#include "common/qxtest.h"

namespace {

const std::string kPnconv = PNCONV_BIN;
const std::string kVarnost = VARNOST_BIN;
const std::string kExamples = PNCONV_EXAMPLES_DIR;
const std::string kReadme = PNCONV_README;
// peterson.ll_net: the net of examples/peterson.mat as the unfolders' example
// set holds it (default lines, FORMAT_N2, empty phantom sections).
const std::string kData = PNCONV_DATA_DIR;

const char kWeighted[] =
    "<?xml version=\"1.0\"?>\n<pnml>\n<net id=\"w\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">"
    "<page id=\"g\">\n<place id=\"p\"><initialMarking><text>3</text></initialMarking></place>\n"
    "<transition id=\"t\"/>\n<arc id=\"a\" source=\"p\" target=\"t\"><inscription><text>2</text></inscription></arc>\n"
    "</page></net></pnml>\n";

// A symmetric net: place q holds colours of E = a, b, c, which transition t
// puts there one at a time (3 places, 3 transitions, 3 arcs unfolded).
const char kColoured[] =
    "<?xml version=\"1.0\"?>\n<pnml><net id=\"c\" type=\"http://www.pnml.org/version-2009/grammar/symmetricnet\">"
    "<page id=\"g\"><place id=\"q\"><type><structure><usersort declaration=\"E\"/></structure></type></place>"
    "<transition id=\"t\"/><arc id=\"a\" source=\"t\" target=\"q\"><hlinscription><structure>"
    "<variable refvariable=\"x\"/></structure></hlinscription></arc></page>"
    "<declaration><structure><declarations><namedsort id=\"E\" name=\"E\"><cyclicenumeration>"
    "<feconstant id=\"a\"/><feconstant id=\"b\"/><feconstant id=\"c\"/></cyclicenumeration></namedsort>"
    "<variabledecl id=\"x\" name=\"x\"><usersort declaration=\"E\"/></variabledecl>"
    "</declarations></structure></declaration></net></pnml>\n";

// Two nets: the chosen one (b) has a named, marked place in a loop with a
// transition, the other (a) one place.
const char kTwoNets[] =
    "<pnml>\n<net id=\"a\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\"><page id=\"g\">"
    "<place id=\"pa\"/></page></net>\n<net id=\"b\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">"
    "<page id=\"g\"><place id=\"pb\"><name><text>bee</text></name><initialMarking><text>1</text>"
    "</initialMarking></place><transition id=\"tb\"/><arc id=\"x\" source=\"pb\" target=\"tb\"/>"
    "<arc id=\"y\" source=\"tb\" target=\"pb\"/></page></net>\n</pnml>\n";

// A PNML net of so many places and transitions, and no arc.
std::string Nodes(int places, int transitions) {
  std::string text = "<pnml><net id=\"n\" type=\"ptnet\"><page id=\"g\">";
  for (int i = 0; i < places; ++i) text += "<place id=\"p" + std::to_string(i) + "\"/>";
  for (int i = 0; i < transitions; ++i) text += "<transition id=\"t" + std::to_string(i) + "\"/>";
  return text + "</page></net></pnml>\n";
}

struct RunCase {
  const char* name;
  std::vector<std::string> args;  // "DIR/" stands for the run's directory
  int status;
  const char* err;                // standard error, whole
  const char* written = nullptr;  // a file that must exist afterwards
  const char* content = nullptr;  // a part of that file
  const char* absent = nullptr;   // a file that must not exist afterwards
  const char* out = "";           // standard output, whole
};

std::string Substitute(std::string text, const std::string& dir) {
  for (size_t at; (at = text.find("DIR/")) != std::string::npos;) text.replace(at, 4, dir + "/");
  return text;
}

class Runs : public ::testing::TestWithParam<RunCase> {};

TEST_P(Runs, StatusMessageAndFiles) {
  const RunCase& c = GetParam();
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("w.pnml"), kWeighted);
  qxtest::WriteFile(dir.File("-w.pnml"), kWeighted);
  ASSERT_EQ(::link(dir.File("w.pnml").c_str(), dir.File("same.pnml").c_str()), 0);
  qxtest::WriteFile(dir.File("q.mat.ref"), kWeighted);
  qxtest::WriteFile(dir.File("bad.pnml"), "<pnml>\n  <net id=\"n\" type=\"ptnet\">\n    <arc/>\n");
  qxtest::WriteFile(dir.File("c.pnml"), kColoured);
  qxtest::WriteFile(dir.File("two.pnml"), kTwoNets);
  // Names PNML, PROD and the reference file cannot hold: a control byte, and
  // two words.
  qxtest::WriteFile(dir.File("named.ll_net"), "PEP\nPetriBox\nFORMAT_N\nPL\n1\"a\x01" "b\"\nTR\n1\"go on\"\nTP\nPT\n");
  qxtest::WriteFile(dir.File("cr.pnml"), "<pnml><net id=\"n\" type=\"ptnet\"><page id=\"g\"><place id=\"p\">"
                                         "<name><text>a&#13;b</text></name></place></page></net></pnml>\n");
  qxtest::WriteFile(dir.File("p.mat"), qxtest::ReadFile(kExamples + "/peterson.mat"));
  qxtest::WriteFile(dir.File("p.mat.ref"), qxtest::ReadFile(kExamples + "/peterson.mat.ref"));
  qxtest::WriteFile(dir.File("p500.pnml"), Nodes(499, 1));
  qxtest::WriteFile(dir.File("p501.pnml"), Nodes(500, 1));
  // Large: written only for the row that reads it.
  if (std::find(c.args.begin(), c.args.end(), "huge.pnml") != c.args.end()) {
    qxtest::WriteFile(dir.File("huge.pnml"), Nodes(10001, 10000));
  }
  ASSERT_EQ(::mkdir(dir.File("d").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir(dir.File("m.mat").c_str(), 0777), 0);
  std::vector<std::string> args;
  for (const auto& a : c.args) args.push_back(Substitute(a, dir.path()));
  const auto run = qxtest::RunProgram(kPnconv, args, dir.path());
  ASSERT_TRUE(run.exited) << run.err;
  EXPECT_EQ(run.status, c.status) << run.err;
  EXPECT_EQ(run.err, Substitute(c.err, dir.path()));
  EXPECT_EQ(run.out, c.out);
  if (c.written != nullptr) {
    ASSERT_TRUE(qxtest::FileExists(dir.File(c.written))) << c.written;
    if (c.content != nullptr) {
      const std::string text = qxtest::ReadFile(dir.File(c.written));
      EXPECT_NE(text.find(c.content), std::string::npos) << text;
    }
  }
  if (c.absent != nullptr) {
    EXPECT_FALSE(qxtest::FileExists(dir.File(c.absent))) << c.absent;
  }
  qxtest::ExpectNoTemporaryFile(dir.path());
}

#define USAGE(text) "pnconv: " text "\nTry 'pnconv --help' for more information.\n"
const char kPrW[] = "PEP\nPetriBox\nFORMAT_N\nPL\n1\"p\"50@50M3\nTR\n1\"t\"50@50\nTP\nPT\n1>1w2\n";
const char kProdW[] = "#place P1 mk (<..>)\n#trans T1\nin {P1:<..>;}\n#endtr\n";
const char kProdLosses[] =
    "pnconv: w.net: 1 arcs of weight above 1 written as plain arcs (the PROD file holds no weights)\n"
    "pnconv: w.net: 1 places with more than one token written as marked (the PROD file holds no token counts)\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, Runs,
    ::testing::Values(
        // Each kind of loss, said once, and refused by --strict.
        RunCase{.name = "says_each_kind_of_loss_once", .args = {"w.pnml", "w.net"}, .status = 0,
                .err = kProdLosses, .written = "w.net", .content = kProdW},
        RunCase{.name = "quiet", .args = {"-q", "w.pnml", "w.net"}, .status = 0, .err = "", .written = "w.net"},
        RunCase{.name = "quiet_long", .args = {"--quiet", "w.pnml", "w.net"}, .status = 0, .err = "",
                .written = "w.net"},
        RunCase{.name = "strict_refuses_a_loss", .args = {"--strict", "w.pnml", "w.net"}, .status = 3,
                .err = "pnconv: w.net: refused (--strict): 1 arcs of weight above 1 written as plain arcs (the PROD "
                       "file holds no weights)\npnconv: w.net: refused (--strict): 1 places with more than one "
                       "token written as marked (the PROD file holds no token counts)\n",
                .absent = "w.net"},
        RunCase{.name = "strict_passes_an_exact_conversion", .args = {"--strict", "w.pnml", "w.mat"}, .status = 0,
                .err = "", .written = "w.mat", .content = "1\n1\n2\n0\n3\n"},
        RunCase{.name = "prod_names_lost", .args = {"named.ll_net", "n.net"}, .status = 0,
                .err = "pnconv: n.net: 2 node names left out (the PROD file has default names only)\n",
                .written = "n.net", .content = "#place P1\n#trans T1\n"},
        RunCase{.name = "prod_names_strict", .args = {"--strict", "named.ll_net", "n.net"}, .status = 3,
                .err = "pnconv: n.net: refused (--strict): 2 node names left out (the PROD file has default "
                       "names only)\n",
                .absent = "n.net"},
        RunCase{.name = "reference_file_words", .args = {"named.ll_net", "n.mat"}, .status = 0,
                .err = "pnconv: n.mat: 1 names that are not one word replaced by node ids in the reference file\n",
                .written = "n.mat.ref", .content = "3 a\x01" "b\n2 t1\n"},
        RunCase{.name = "reference_file_words_strict", .args = {"--strict", "named.ll_net", "n.mat"}, .status = 3,
                .err = "pnconv: n.mat: refused (--strict): 1 names that are not one word replaced by node ids in "
                       "the reference file\n",
                .absent = "n.mat.ref"},
        RunCase{.name = "matrix_to_standard_output", .args = {"--to", "mat", "named.ll_net", "-"}, .status = 0,
                .err = "pnconv: standard output: 2 node names left out (no reference file beside a stream)\n",
                .absent = "-.ref", .out = "1\n1\n0\n0\n0\n"},
        RunCase{.name = "matrix_to_standard_output_strict", .args = {"--strict", "--to", "mat", "named.ll_net", "-"},
                .status = 3,
                .err = "pnconv: standard output: refused (--strict): 2 node names left out (no reference file "
                       "beside a stream)\n",
                .absent = "-.ref"},
        RunCase{.name = "xml_characters", .args = {"named.ll_net", "n.pnml"}, .status = 0,
                .err = "pnconv: n.pnml: 1 names with characters XML cannot hold, written with U+FFFD\n",
                .written = "n.pnml", .content = "<text>a\xEF\xBF\xBD" "b</text>"},
        RunCase{.name = "xml_characters_strict", .args = {"--strict", "named.ll_net", "n.pnml"}, .status = 3,
                .err = "pnconv: n.pnml: refused (--strict): 1 names with characters XML cannot hold, written with "
                       "U+FFFD\n",
                .absent = "n.pnml"},
        // A carriage return is an XML character: written as a reference,
        // nothing lost.
        RunCase{.name = "carriage_return_kept", .args = {"--strict", "cr.pnml", "cr2.pnml"}, .status = 0, .err = "",
                .written = "cr2.pnml", .content = "<name><text>a&#13;b</text></name>"},
        RunCase{.name = "drawing_of_500_nodes", .args = {"p500.pnml", "p.dot"}, .status = 0, .err = "",
                .written = "p.dot"},
        RunCase{.name = "drawing_of_501_nodes", .args = {"--strict", "p501.pnml", "p.dot"}, .status = 0,
                .err = "pnconv: p.dot: a drawing of 501 nodes is rarely readable (written anyway)\n",
                .written = "p.dot"},
        RunCase{.name = "drawing_of_501_nodes_quiet", .args = {"-q", "p501.pnml", "p.dot"}, .status = 0, .err = "",
                .written = "p.dot"},
        RunCase{.name = "matrix_too_large", .args = {"huge.pnml", "h.mat"}, .status = 4,
                .err = "pnconv: h.mat: a matrix file of 10001 places x 10000 transitions passes the limit of "
                       "100000000 cells; nothing written\n",
                .absent = "h.mat.ref"},
        // --net chooses the net whatever the output format.
        RunCase{.name = "net_to_pnml", .args = {"--net", "b", "two.pnml", "o.pnml"}, .status = 0, .err = "",
                .written = "o.pnml", .content = "<place id=\"pb\"><name><text>bee</text>"},
        RunCase{.name = "net_to_pep", .args = {"--net=b", "two.pnml", "o.ll_net"}, .status = 0, .err = "",
                .written = "o.ll_net",
                .content = "PEP\nPetriBox\nFORMAT_N\nPL\n1\"bee\"50@50M1\nTR\n1\"tb\"50@50\nTP\n1<1\nPT\n1>1\n"},
        RunCase{.name = "net_to_matrix", .args = {"--net", "b", "two.pnml", "o.mat"}, .status = 0, .err = "",
                .written = "o.mat.ref", .content = "pnconv two.pnml\n1\n2\n3 bee\n2 tb\n"},
        RunCase{.name = "net_to_prod", .args = {"-q", "--net", "b", "two.pnml", "o.net"}, .status = 0, .err = "",
                .written = "o.net", .content = "#place P1 mk (<..>)\n#trans T1\nin {P1:<..>;}\nout {P1:<..>;}\n"},
        // A place of exactly one token shows its count, as one of two does.
        RunCase{.name = "net_to_dot", .args = {"--net", "b", "two.pnml", "o.dot"}, .status = 0, .err = "",
                .written = "o.dot", .content = "p0 [shape=circle, label=\"bee\\n1\"];\n"},
        RunCase{.name = "net_with_read_arcs", .args = {"--read-arcs", "--net", "b", "two.pnml", "o.ll_net"},
                .status = 0, .err = "", .written = "o.ll_net",
                .content = "PL\n1\"bee\"50@50M1\nTR\n1\"tb\"50@50\nTP\nPT\nRA\n1<1\n"},
        RunCase{.name = "net_of_a_pep_input", .args = {"--net", "b", "named.ll_net", "o.pnml"}, .status = 2,
                .err = USAGE("--net applies to PNML input only"), .absent = "o.pnml"},
        RunCase{.name = "net_of_a_matrix_input", .args = {"--net", "b", "p.mat", "o.pnml"}, .status = 2,
                .err = USAGE("--net applies to PNML input only"), .absent = "o.pnml"},
        RunCase{.name = "net_without_its_id", .args = {"--net=", "two.pnml", "o.pnml"}, .status = 2,
                .err = USAGE("--net needs the id of a net"), .absent = "o.pnml"},
        // Format names as users type them.
        RunCase{.name = "format_in_capitals", .args = {"--strict", "--to", "PEP", "w.pnml", "w.txt"}, .status = 0,
                .err = "", .written = "w.txt", .content = kPrW},
        RunCase{.name = "format_by_suffix", .args = {"-q", "--from=PNML", "--to", "ll_net", "w.pnml", "w.txt"},
                .status = 0, .err = "", .written = "w.txt", .content = kPrW},
        RunCase{.name = "format_by_dotted_suffix", .args = {"--to=.Mat", "w.pnml", "w.txt"}, .status = 0, .err = "",
                .written = "w.txt.ref"},
        RunCase{.name = "prod_by_its_suffix", .args = {"-q", "--to", "net", "w.pnml", "w.txt"}, .status = 0,
                .err = "", .written = "w.txt", .content = kProdW},
        RunCase{.name = "file_suffix_in_capitals", .args = {"-q", "w.pnml", "W.NET"}, .status = 0, .err = "",
                .written = "W.NET", .content = kProdW},
        RunCase{.name = "unknown_format", .args = {"--to", "svg", "w.pnml", "w.svg"}, .status = 2,
                .err = USAGE("unknown format \"svg\" (pnml, pep, mat, prod, dot)"), .absent = "w.svg"},
        RunCase{.name = "written_only_format", .args = {"--from", ".DOT", "w.pnml", "w.ll_net"}, .status = 2,
                .err = USAGE("format dot can be written, not read"), .absent = "w.ll_net"},
        RunCase{.name = "format_missing", .args = {"w.pnml", "w.ll_net", "--to"}, .status = 2,
                .err = USAGE("--to needs a format (pnml, pep, mat, prod, dot)"), .absent = "w.ll_net"},
        // After "--", a name that starts with "-" is a file.
        RunCase{.name = "dash_file_after_options_end", .args = {"-q", "--", "-w.pnml", "-w.net"}, .status = 0,
                .err = "", .written = "-w.net", .content = kProdW},
        RunCase{.name = "dash_file_before_options_end", .args = {"-w.pnml", "-w.net"}, .status = 2,
                .err = USAGE("unknown option -w.pnml"), .absent = "-w.net"},
        // The output is the input, however it is named: refused before
        // anything is read, the input as it was.
        RunCase{.name = "output_is_the_input", .args = {"w.pnml", "w.pnml"}, .status = 2,
                .err = "pnconv: w.pnml: the output is the input file w.pnml: nothing read or written\n",
                .written = "w.pnml", .content = kWeighted},
        RunCase{.name = "output_is_the_input_by_path", .args = {"--to", "pnml", "w.pnml", "DIR/d/../w.pnml"},
                .status = 2,
                .err = "pnconv: DIR/d/../w.pnml: the output is the input file w.pnml: nothing read or written\n",
                .written = "w.pnml", .content = kWeighted},
        RunCase{.name = "output_is_the_input_by_link", .args = {"w.pnml", "same.pnml"}, .status = 2,
                .err = "pnconv: same.pnml: the output is the input file w.pnml: nothing read or written\n",
                .written = "w.pnml", .content = kWeighted},
        RunCase{.name = "output_is_the_matrix_reference_file", .args = {"--to", "pnml", "p.mat", "p.mat.ref"},
                .status = 2,
                .err = "pnconv: p.mat.ref: the output is the input file p.mat.ref: nothing read or written\n",
                .written = "p.mat.ref", .content = "2 P1\n"},
        RunCase{.name = "output_reference_file_is_the_input", .args = {"--from", "pnml", "q.mat.ref", "q.mat"},
                .status = 2,
                .err = "pnconv: q.mat.ref: the output is the input file q.mat.ref: nothing read or written\n",
                .written = "q.mat.ref", .content = kWeighted, .absent = "q.mat"},
        // Input refusals.
        RunCase{.name = "bad_input_with_line_and_column", .args = {"bad.pnml", "b.ll_net"}, .status = 1,
                .err = "pnconv: bad.pnml:3:5: an arc without an id\n", .absent = "b.ll_net"},
        RunCase{.name = "missing_input", .args = {"none.pnml", "n.ll_net"}, .status = 1,
                .err = "pnconv: none.pnml: cannot open: No such file or directory\n", .absent = "n.ll_net"},
        RunCase{.name = "unreadable_pep_input", .args = {"--from", "pep", "DIR/", "n.pnml"}, .status = 1,
                .err = "pnconv: DIR/: cannot read: Is a directory\n", .absent = "n.pnml"},
        // An output that cannot be written says why.
        RunCase{.name = "output_in_a_missing_folder", .args = {"-q", "w.pnml", "no/such/dir/w.pnml"}, .status = 4,
                .err = "pnconv: no/such/dir/w.pnml: cannot be written: No such file or directory\n"},
        RunCase{.name = "output_is_a_directory", .args = {"--to", "pnml", "w.pnml", "d"}, .status = 4,
                .err = "pnconv: d: cannot be written: Is a directory\n"},
        RunCase{.name = "output_on_a_full_device", .args = {"--to", "pnml", "w.pnml", "/dev/full"}, .status = 4,
                .err = "pnconv: /dev/full: cannot be written: No space left on device\n"},
        // A matrix file whose name is a directory: its reference file is not
        // written either.
        RunCase{.name = "matrix_name_is_a_directory", .args = {"w.pnml", "m.mat"}, .status = 4,
                .err = "pnconv: m.mat: cannot be written: Is a directory\n", .absent = "m.mat.ref"},
        // Usage.
        RunCase{.name = "no_arguments", .args = {}, .status = 2, .err = USAGE("an input and an output file are needed")},
        RunCase{.name = "unknown_option", .args = {"--fast", "w.pnml", "w.ll_net"}, .status = 2,
                .err = USAGE("unknown option --fast"), .absent = "w.ll_net"},
        RunCase{.name = "option_takes_no_value", .args = {"--strict=yes", "w.pnml", "w.ll_net"}, .status = 2,
                .err = USAGE("option --strict takes no value"), .absent = "w.ll_net"},
        RunCase{.name = "help_with_a_file", .args = {"--help", "w.pnml"}, .status = 2,
                .err = USAGE("--help takes no other argument")},
        RunCase{.name = "name_tells_no_format", .args = {"w.pnml", "w.txt"}, .status = 2,
                .err = USAGE("the format of w.txt cannot be told from its name: give --to (pnml, pep, mat, prod or "
                             "dot)"),
                .absent = "w.txt"},
        RunCase{.name = "dash_needs_the_option", .args = {"-", "w.ll_net"}, .status = 2,
                .err = USAGE("the format of - cannot be told from its name: give --from (pnml, pep or mat)")},
        RunCase{.name = "read_arcs_only_for_pep", .args = {"--read-arcs", "w.pnml", "w.dot"}, .status = 2,
                .err = USAGE("--read-arcs applies to PEP output only"), .absent = "w.dot"},
        RunCase{.name = "too_many_arguments", .args = {"w.pnml", "a.pnml", "b.pnml"}, .status = 2,
                .err = USAGE("too many arguments")},
        // A symmetric net is unfolded, and says so.
        RunCase{.name = "unfolds_a_symmetric_net_and_says_so", .args = {"c.pnml", "c.ll_net"}, .status = 0,
                .err = "pnconv: c.pnml: a symmetric net of 1 place, 1 transition and 1 arc, unfolded into 3 "
                       "places, 3 transitions and 3 arcs\n",
                .written = "c.ll_net"},
        RunCase{.name = "quiet_unfolding", .args = {"-q", "c.pnml", "c.mat"}, .status = 0, .err = "",
                .written = "c.mat"},
        RunCase{.name = "unfolding_past_the_limit", .args = {"--max-nodes=5", "c.pnml", "c.ll_net"}, .status = 1,
                .err = "pnconv: c.pnml: the unfolding passes the limit of 5 places and transitions (--max-nodes): 3 "
                       "places and 3 transitions so far, at transition t\n",
                .absent = "c.ll_net"},
        RunCase{.name = "limit_is_a_number", .args = {"--max-nodes", "5k", "c.pnml", "c.ll_net"}, .status = 2,
                .err = USAGE("--max-nodes needs a whole number of places and transitions above 0"),
                .absent = "c.ll_net"}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

TEST(Program, HelpAndVersion) {
  for (const char* option : {"--help", "-h"}) {
    const auto help = qxtest::RunProgram(kPnconv, {option});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: pnconv [--from FORMAT]", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("  -h, --help    this text\n"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
  }
  const auto version = qxtest::RunProgram(kPnconv, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("pnconv ", 0), 0u) << version.out;
  // An output that cannot take them fails as every output does.
  for (const char* option : {"--help", "--version"}) {
    SCOPED_TRACE(option);
    const auto full = qxtest::RunProgram("/bin/sh", {"-c", "\"$0\" \"$1\" > /dev/full", kPnconv, option});
    EXPECT_EQ(full.status, 4);
    EXPECT_EQ(full.err, "pnconv: standard output: cannot be written: No space left on device\n");
  }
}

// The input as standard input and the output the same file, or the output as
// standard output appended to the input: refused before reading, the file as
// it was.
TEST(Program, OutputIsTheInputThroughStandardStreams) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("w.pnml"), kWeighted);
  const struct {
    const char* command;
    const char* err;
  } cases[] = {
      {"\"$0\" --from pnml - w.pnml < w.pnml",
       "pnconv: w.pnml: the output is the input file standard input: nothing read or written\n"},
      {"\"$0\" --to pep w.pnml - >> w.pnml",
       "pnconv: standard output: the output is the input file w.pnml: nothing read or written\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const auto run = qxtest::RunProgram("/bin/sh", {"-c", c.command, kPnconv}, dir.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(qxtest::ReadFile(dir.File("w.pnml")), kWeighted);
  }
}

TEST(Program, RefusalKeepsThePreviousOutput) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("w.pnml"), kWeighted);
  qxtest::WriteFile(dir.File("w.net"), qxtest::PreviousOutput());
  qxtest::WriteFile(dir.File("bad.pnml"), "<pnml><net id=\"n\" type=\"ptnet\"><place/>");
  for (const char* input : {"w.pnml", "bad.pnml"}) {
    const auto run = qxtest::RunProgram(kPnconv, {"--strict", input, "w.net"}, dir.path());
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(qxtest::HoldsPreviousOutput(dir.File("w.net")));
  }
  // A matrix file and its reference file go together: when the reference
  // file cannot be written (a directory holds its name), the previous matrix
  // file stays.
  qxtest::WriteFile(dir.File("w.mat"), qxtest::PreviousOutput());
  ASSERT_EQ(::mkdir(dir.File("w.mat.ref").c_str(), 0777), 0);
  const auto run = qxtest::RunProgram(kPnconv, {"w.pnml", "w.mat"}, dir.path());
  EXPECT_EQ(run.status, 4) << run.err;
  EXPECT_EQ(run.err, "pnconv: w.mat.ref: cannot be written: Is a directory\n");
  EXPECT_TRUE(qxtest::HoldsPreviousOutput(dir.File("w.mat")));
  qxtest::ExpectNoTemporaryFile(dir.path());
}

// A matrix file and its reference file are replaced together or not at all:
// under a file size limit that the reference file passes and the matrix file
// does not, both previous files stay; without it, both are new.
TEST(Program, MatrixAndReferenceFileReplacedTogether) {
  qxtest::TempDir dir;
  // 100 x 100 nodes: matrices of about 40 kB, a reference file of about 2 kB.
  qxtest::WriteFile(dir.File("n.pnml"), Nodes(100, 100));
  qxtest::WriteFile(dir.File("n.mat"), qxtest::PreviousOutput());
  qxtest::WriteFile(dir.File("n.mat.ref"), qxtest::PreviousOutput());
  const auto limited = qxtest::RunProgram(kPnconv, {"n.pnml", "n.mat"}, dir.path(), 20000, [] {
    const struct rlimit limit = {10000, 10000};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  });
  EXPECT_EQ(limited.status, 4);
  EXPECT_EQ(limited.err, "pnconv: n.mat: cannot be written: File too large\n");
  EXPECT_TRUE(qxtest::HoldsPreviousOutput(dir.File("n.mat")));
  EXPECT_TRUE(qxtest::HoldsPreviousOutput(dir.File("n.mat.ref")));
  qxtest::ExpectNoTemporaryFile(dir.path());

  const auto free = qxtest::RunProgram(kPnconv, {"n.pnml", "n.mat"}, dir.path());
  EXPECT_EQ(free.status, 0) << free.err;
  EXPECT_TRUE(qxtest::ReadFile(dir.File("n.mat")).starts_with("100\n100\n0 0 0"));
  EXPECT_TRUE(qxtest::ReadFile(dir.File("n.mat.ref")).starts_with("pnconv n.pnml\n1\n2\n"));
  qxtest::ExpectNoTemporaryFile(dir.path());
}

// Ended by SIGINT or SIGTERM while its temporary files exist, pnconv dies of
// that signal and leaves none: here the matrix file's temporary file exists
// while the reference file, a FIFO nobody reads, is being opened.
TEST(Program, EndingSignalsRemoveTheTemporaryFiles) {
  for (const int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(sig));
    qxtest::TempDir dir;
    qxtest::WriteFile(dir.File("w.pnml"), kWeighted);
    ASSERT_EQ(::mkfifo(dir.File("w.mat.ref").c_str(), 0600), 0);
    const pid_t pid = qxtest::StartChild([&] {
      if (::chdir(dir.path().c_str()) != 0) return 127;
      const char* argv[] = {kPnconv.c_str(), "w.pnml", "w.mat", nullptr};
      ::execv(argv[0], const_cast<char* const*>(argv));
      return 127;
    });
    bool temporary = false;
    for (int i = 0; i < 5000 && !temporary; ++i) {
      for (const std::string& name : qxtest::ListDir(dir.path())) temporary |= name.find(".tmp") != std::string::npos;
      if (!temporary) ::poll(nullptr, 0, 2);
    }
    ::kill(pid, sig);
    const qxtest::ChildResult ended = qxtest::WaitChild(pid, 10000);
    EXPECT_TRUE(temporary) << "the temporary file never appeared";
    EXPECT_TRUE(ended.signaled && ended.signal == sig) << "status " << ended.status << ", signal " << ended.signal;
    EXPECT_EQ(qxtest::ListDir(dir.path()), (std::vector<std::string>{"w.mat.ref", "w.pnml"}));
  }
}

// An output that is a FIFO (or a device) is written into, as by any writer:
// it is never replaced by a file.
TEST(Program, FifoOutputIsWrittenInto) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("w.pnml"), kWeighted);
  ASSERT_EQ(::mkfifo(dir.File("out.ll_net").c_str(), 0600), 0);
  const auto run = qxtest::RunProgram(
      "/bin/sh", {"-c", "timeout 10 cat out.ll_net > got & \"$0\" -q w.pnml out.ll_net; s=$?; wait; exit $s", kPnconv},
      dir.path(), 15000);
  ASSERT_TRUE(run.exited) << run.err;
  EXPECT_EQ(run.status, 0) << run.err;
  struct stat info;
  ASSERT_EQ(::stat(dir.File("out.ll_net").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(qxtest::ReadFile(dir.File("got")), "PEP\nPetriBox\nFORMAT_N\nPL\n1\"p\"50@50M3\nTR\n1\"t\"50@50\nTP\nPT\n1>1w2\n");
  // A matrix file into a FIFO has no reference file beside it, as on
  // standard output.
  ASSERT_EQ(::mkfifo(dir.File("out.mat").c_str(), 0600), 0);
  const auto mat = qxtest::RunProgram(
      "/bin/sh", {"-c", "timeout 10 cat out.mat > got & \"$0\" w.pnml out.mat; s=$?; wait; exit $s", kPnconv},
      dir.path(), 15000);
  EXPECT_EQ(mat.status, 0) << mat.err;
  EXPECT_EQ(qxtest::ReadFile(dir.File("got")), "1\n1\n2\n0\n3\n");
  EXPECT_FALSE(qxtest::FileExists(dir.File("out.mat.ref")));
}

TEST(Program, StandardInputToStandardOutput) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("w.pnml"), kWeighted);
  const auto run =
      qxtest::RunProgram("/bin/sh", {"-c", "\"$0\" -q --from pnml --to pep - - < w.pnml", kPnconv}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "PEP\nPetriBox\nFORMAT_N\nPL\n1\"p\"50@50M3\nTR\n1\"t\"50@50\nTP\nPT\n1>1w2\n");
}

// A PEP file as PEP and the unfolders write it is read whole: the matrices
// are those of the same net's matrix file.
TEST(Program, PepFileOfTheFieldGivesTheMatrixNet) {
  qxtest::TempDir dir;
  const auto run = qxtest::RunProgram(kPnconv, {"--strict", kData + "/peterson.ll_net", dir.File("p.mat")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(qxtest::ReadFile(dir.File("p.mat")) == qxtest::ReadFile(kExamples + "/peterson.mat"));
}

// For a matrix input, pnconv's PEP file is varnost's, byte for byte.
TEST(Program, MatrixToPepIsVarnostsFile) {
  for (const char* name : {"dme2", "elevator_2", "key_2", "mutual", "peterson"}) {
    SCOPED_TRACE(name);
    qxtest::TempDir dir;
    const std::string mat = dir.File(std::string(name) + ".mat");
    qxtest::WriteFile(mat, qxtest::ReadFile(kExamples + "/" + name + ".mat"));
    qxtest::WriteFile(mat + ".ref", qxtest::ReadFile(kExamples + "/" + name + ".mat.ref"));
    const auto varnost = qxtest::RunProgram(kVarnost, {"-s", mat}, dir.path());
    ASSERT_EQ(varnost.status, 0) << varnost.out;
    const auto pnconv = qxtest::RunProgram(kPnconv, {"--strict", mat, dir.File("p.ll_net")}, dir.path());
    ASSERT_EQ(pnconv.status, 0) << pnconv.err;
    EXPECT_TRUE(qxtest::ReadFile(mat + ".ll_net") == qxtest::ReadFile(dir.File("p.ll_net")));
    // And through PNML and back to the matrix format: the same matrices.
    ASSERT_EQ(qxtest::RunProgram(kPnconv, {mat, dir.File("n.pnml")}).status, 0);
    ASSERT_EQ(qxtest::RunProgram(kPnconv, {dir.File("n.pnml"), dir.File("back.mat")}).status, 0);
    const auto again = qxtest::RunProgram(kPnconv, {"--strict", dir.File("back.mat"), dir.File("q.ll_net")});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(qxtest::ReadFile(mat + ".ll_net") == qxtest::ReadFile(dir.File("q.ll_net")));
  }
}

// The README's "Converting nets" commands, as written, from a project root
// where make run has been: build/bin holds the programs, out/ exists.
TEST(Program, ReadmeCommandsWorkAsWritten) {
  const std::string readme = qxtest::ReadFile(kReadme);
  const size_t section = readme.find("## Converting nets");
  ASSERT_NE(section, std::string::npos);
  const size_t start = readme.find("```sh\n", section);
  const size_t end = readme.find("```\n", start + 6);
  ASSERT_NE(end, std::string::npos);
  std::istringstream lines(readme.substr(start + 6, end - start - 6));
  qxtest::TempDir root;
  ASSERT_EQ(::mkdir(root.File("build").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir(root.File("out").c_str(), 0777), 0);
  const std::string bin = kPnconv.substr(0, kPnconv.rfind('/'));
  ASSERT_EQ(::symlink(bin.c_str(), root.File("build/bin").c_str()), 0);
  ASSERT_EQ(::symlink(kExamples.c_str(), root.File("examples").c_str()), 0);
  int commands = 0;
  for (std::string line; std::getline(lines, line);) {
    SCOPED_TRACE(line);
    const auto run = qxtest::RunProgram("/bin/sh", {"-ec", line}, root.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ++commands;
  }
  EXPECT_EQ(commands, 5);
  EXPECT_NE(qxtest::ReadFile(root.File("out/philosophers.pnml")).find("<place id=\"Think_Id1\">"), std::string::npos);
  EXPECT_TRUE(qxtest::ReadFile(root.File("out/referendum.ll_net")).starts_with("PEP\n"));
  EXPECT_NE(qxtest::ReadFile(root.File("out/peterson.pnml")).find("grammar/ptnet"), std::string::npos);
  EXPECT_TRUE(qxtest::ReadFile(root.File("out/peterson.dot")).starts_with("digraph"));
}

}  // namespace
