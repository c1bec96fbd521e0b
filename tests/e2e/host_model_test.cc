// SPDX-License-Identifier: MIT
// The host stand-in's --model: the model a tool traces, rebuilt from its
// commands and written as JSON, DOT or SVG however the run ends; and the
// model checks, warnings by default and a protocol fault with --strict.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "json_reader.h"

namespace {

// The 600-byte one-line domain of the model tool's first place.
std::string LongDomain() {
  std::string name;
  for (int i = 0; i < 100; ++i) name += i % 2 ? "word, " : "place ";
  return name;
}

// The model tool's small net, as --model FILE.json must give it: objects in
// the order created, values whole (the 600-byte domain arrives as CM pieces),
// strings escaped (byte 0xE9 alone is not UTF-8; "\xc3\xa9" is).
std::string NetJson() {
  return "{\"nodes\":["
         "{\"id\":2,\"kind\":\"place\",\"attributes\":{\"name\":\"p1\",\"domain\":\"" +
         LongDomain() +
         "\"},\"position\":[40,40]},"
         "{\"id\":3,\"kind\":\"transition\",\"attributes\":{\"name\":\"t1\","
         "\"guard\":\"x > 0 and\\ny < 2\\n\"},\"position\":[-10,20]},"
         "{\"id\":4,\"kind\":\"place\",\"attributes\":{\"name\":\"p\\\"2\\\\ \\u00e9t\xc3\xa9\"}}"
         "],\"edges\":["
         "{\"id\":5,\"kind\":\"arc\",\"from\":2,\"to\":3,\"attributes\":{\"valuation\":\"1\"}},"
         "{\"id\":6,\"kind\":\"arc\",\"from\":3,\"to\":4,\"attributes\":{}}"
         "]}\n";
}

bool HasDot() { return !qxtest::RunProgram("/bin/sh", {"-c", "command -v dot"}).out.empty(); }

std::vector<std::string> DirectoryEntries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* entry = ::readdir(d)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
  }
  return names;
}

// Each format from the same run of the model tool, the JSON from both modes;
// the file is the only one left in its directory (the temporary file is
// renamed).
TEST(HostModel, WritesTheTracedNetInEachFormat) {
  struct Format {
    const char* extension;
    bool needs_dot;
    std::function<void(const std::string& path, const std::string& content)> check;
    bool std_out = false;
  };
  const auto json = [](const std::string&, const std::string& content) {
    EXPECT_EQ(content, NetJson());
  };
  const Format formats[] = {
      {".json", false, json},
      {".json", false, json, true},
      {".dot", true,
       [](const std::string& path, const std::string& content) {
         EXPECT_NE(content.find("n2 [shape=ellipse, pos=\"40,-40!\", label=\"place 2\\np1\"];"),
                   std::string::npos)
             << content;
         EXPECT_NE(content.find("n3 [shape=box, pos=\"-10,-20!\", label=\"transition 3\\nt1\"];"),
                   std::string::npos)
             << content;
         EXPECT_NE(content.find("n3 -> n4 [label=\"arc\"];"), std::string::npos) << content;
         const qxtest::ChildResult dot = qxtest::RunProgram("/bin/sh", {"-c", "dot -Tsvg \"$0\"", path});
         EXPECT_EQ(dot.status, 0) << dot.err;
         EXPECT_NE(dot.out.find("<svg"), std::string::npos);
       }},
      {".svg", true,
       [](const std::string&, const std::string& content) {
         EXPECT_NE(content.find("<svg"), std::string::npos) << content.substr(0, 500);
         EXPECT_NE(content.find("</svg>"), std::string::npos);
         EXPECT_NE(content.find("transition 3"), std::string::npos);
       }},
  };
  for (const Format& format : formats) {
    SCOPED_TRACE(std::string(format.extension) + (format.std_out ? ", standard output" : ""));
    if (format.needs_dot && !HasDot()) {
      std::printf("skipped %s: Graphviz's dot is not installed\n", format.extension);
      continue;
    }
    e2e::Workspace workspace;
    qxtest::TempDir out;
    const std::string path = out.File(std::string("model") + format.extension);
    std::vector<std::string> options{"--model", path};
    if (format.std_out) options.push_back("--std-out");
    const qxtest::ChildResult host = e2e::RunHost(workspace, options, QX_MODEL_TOOL_BIN, {"net"});
    EXPECT_EQ(host.status, 0) << host.err;
    EXPECT_EQ(host.err.find("qxhost: model:"), std::string::npos) << host.err;
    EXPECT_EQ(DirectoryEntries(out.path()), std::vector<std::string>{"model" + std::string(format.extension)});
    format.check(path, qxtest::ReadFile(path));
  }
}

// A tool killed mid-run leaves the model of what arrived until then.
TEST(HostModel, WrittenWhenTheToolIsKilled) {
  e2e::Workspace workspace;
  qxtest::TempDir out;
  const qxtest::ChildResult host =
      e2e::RunHost(workspace, {"--model", out.File("m.json")}, QX_MODEL_TOOL_BIN, {"then-die"});
  EXPECT_EQ(host.status, 4) << host.err;
  const std::string json = qxtest::ReadFile(out.File("m.json"));
  EXPECT_TRUE(json.starts_with("{\"nodes\":[{\"id\":2,\"kind\":\"place\"")) << json;
  EXPECT_NE(json.find("{\"id\":6,\"kind\":\"arc\",\"from\":3,\"to\":4,\"attributes\":{}}]}"),
            std::string::npos)
      << json;
  EXPECT_EQ(DirectoryEntries(out.path()), std::vector<std::string>{"m.json"});
}

// Values cut into CM pieces come back whole, whatever their line breaks and
// cut characters: each file's content is one value.
TEST(HostModel, PiecesJoinIntoTheValue) {
  const std::string words = "alpha beta, gamma-delta+epsilon.zeta;eta:theta ";
  std::string long_words;
  while (long_words.size() < 700) long_words += words;
  const std::vector<std::string> values = {
      "a\nb",
      "\n",
      "ends with a blank \nand a dot.\n\n",
      std::string(232, 'x') + "\n" + std::string(500, 'y'),
      long_words + "\n" + long_words.substr(0, 300) + "\n" + std::string(220, 'z') + " ",
      "short, line\n" + std::string(230, 'q') + ".\nlast",
  };
  e2e::Workspace workspace;
  std::vector<std::string> files;
  std::string expected = "{\"nodes\":[";
  for (size_t i = 0; i < values.size(); ++i) {
    files.push_back(workspace.File("value" + std::to_string(i)));
    qxtest::WriteFile(files.back(), values[i]);
    std::string escaped = values[i];
    for (size_t at = 0; (at = escaped.find('\n', at)) != std::string::npos; at += 2)
      escaped.replace(at, 1, "\\n");
    expected += std::string(i ? "," : "") + "{\"id\":" + std::to_string(i + 2) +
                ",\"kind\":\"place\",\"attributes\":{\"text\":\"" + escaped + "\"}}";
  }
  expected += "],\"edges\":[]}\n";
  std::vector<std::string> args{"values"};
  args.insert(args.end(), files.begin(), files.end());
  const qxtest::ChildResult host =
      e2e::RunHost(workspace, {"--model", workspace.File("m.json")}, QX_MODEL_TOOL_BIN, args);
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_EQ(qxtest::ReadFile(workspace.File("m.json")), expected);
}

// Every control byte, 0x01 to 0x1F and 0x7F, in a value is escaped in the JSON
// model: the file is valid JSON for each of them, holds none of them raw,
// and each value reads back as the bytes the tool sent. One place per byte.
TEST(HostModel, JsonEscapesEveryControlByte) {
  std::vector<int> bytes;
  for (int c = 0x01; c < 0x20; ++c) bytes.push_back(c);
  bytes.push_back(0x7F);
  e2e::Workspace workspace;
  std::vector<std::string> args{"values"};
  std::vector<std::string> values;
  for (int c : bytes) {
    values.push_back(std::string("a") + static_cast<char>(c) + "z");
    args.push_back(workspace.File("value" + std::to_string(c)));
    qxtest::WriteFile(args.back(), values.back());
  }
  const std::string path = workspace.File("m.json");
  const qxtest::ChildResult host =
      e2e::RunHost(workspace, {"--model", path}, QX_MODEL_TOOL_BIN, args);
  ASSERT_EQ(host.status, 0) << host.err;
  const std::string content = qxtest::ReadFile(path);
  e2e::JsonValue model;
  std::string error;
  ASSERT_TRUE(e2e::ReadJson(content, &model, &error)) << error << "\n" << content;
  const std::vector<e2e::JsonValue>& nodes = model["nodes"].items;
  ASSERT_EQ(nodes.size(), bytes.size()) << content;
  for (size_t i = 0; i < bytes.size(); ++i) {
    SCOPED_TRACE("byte " + std::to_string(bytes[i]));
    EXPECT_EQ(nodes[i]["attributes"]["text"].text, values[i]);
    // The only raw line feed is the one that ends the file.
    const size_t raw = content.find(static_cast<char>(bytes[i]));
    EXPECT_TRUE(raw == std::string::npos || (bytes[i] == '\n' && raw == content.size() - 1))
        << "raw at byte " << raw;
  }
}

// Names holding every control byte (0x01 to 0x1F) are drawn as a document
// an XML parser takes: each control byte but the line feed is shown as its
// control picture, while the JSON keeps every byte.
TEST(HostModel, DrawingOfNamesWithControlBytesIsWellFormedXml) {
  if (!HasDot()) GTEST_SKIP() << "Graphviz's dot is not installed";
  std::string all;
  for (int c = 1; c < 0x20; ++c) all.push_back(static_cast<char>(c));
  const std::vector<std::string> names = {"a\x01z", "tab\tand\rreturn", "esc\x1b[1m", all};
  e2e::Workspace workspace;
  std::vector<std::string> args{"names"};
  for (size_t i = 0; i < names.size(); ++i) {
    args.push_back(workspace.File("name" + std::to_string(i)));
    qxtest::WriteFile(args.back(), names[i]);
  }
  for (const char* extension : {".svg", ".json"}) {
    SCOPED_TRACE(extension);
    const std::string path = workspace.File(std::string("m") + extension);
    const qxtest::ChildResult host =
        e2e::RunHost(workspace, {"--model", path}, QX_MODEL_TOOL_BIN, args);
    ASSERT_EQ(host.status, 0) << host.err;
    const std::string content = qxtest::ReadFile(path);
    if (std::string(extension) == ".json") {
      EXPECT_NE(content.find("\"name\":\"a\\u0001z\""), std::string::npos) << content;
      EXPECT_NE(content.find("\"name\":\"tab\\tand\\rreturn\""), std::string::npos) << content;
      continue;
    }
    std::string error;
    EXPECT_TRUE(e2e::WellFormedXml(content, &error)) << error << "\n" << content;
    EXPECT_NE(content.find("a\u2401z"), std::string::npos) << content;
    EXPECT_NE(content.find("esc\u241b[1m"), std::string::npos) << content;
  }
}

// What cannot be written is found before the tool starts: nothing of the
// tool is printed.
TEST(HostModel, SetUpErrors) {
  e2e::Workspace workspace;
  ASSERT_EQ(::mkdir(workspace.File("dir.json").c_str(), 0777), 0);
  struct Case {
    std::string model;
    std::vector<std::string> env;  // before the stand-in, through env
    std::string message;
  };
  const Case cases[] = {
      {workspace.File("m.txt"), {}, "--model " + workspace.File("m.txt") +
                                        ": the name must end in .json, .dot or .svg"},
      {workspace.File("none/m.json"), {}, "cannot write the model file " +
                                              workspace.File("none/m.json") +
                                              ": No such file or directory"},
      {workspace.File("dir.json"), {}, "cannot write the model file " +
                                           workspace.File("dir.json") + ": Is a directory"},
      {workspace.File("m.svg"), {"PATH=/nowhere"},
       "--model " + workspace.File("m.svg") +
           " needs Graphviz's dot program (Debian package graphviz): not found in PATH"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    std::vector<std::string> args = c.env;
    for (const std::string& arg : {std::string(QX_HOST_BIN), std::string("--workspace"),
                                   workspace.path(), std::string("--model"), c.model,
                                   std::string(QX_MODEL_TOOL_BIN), std::string("net")})
      args.push_back(arg);
    const qxtest::ChildResult host = qxtest::RunProgram("/usr/bin/env", args, "", 30000);
    EXPECT_EQ(host.status, 1) << host.err;
    EXPECT_NE(host.err.find("qxhost: " + c.message), std::string::npos) << host.err;
    EXPECT_EQ(host.out, "");
  }
}

// One faulty model per row, from a tool that sends the commands as given:
// each fault is one "qxhost: model:" line naming the command; a warning by
// default, status 2 with --strict.
TEST(HostModelChecks, EachFaultNamedWithItsCommand) {
  struct Case {
    const char* what;
    std::vector<std::string> commands;
    const char* fault;  // after "qxhost: model: "; empty: none
    const char* formalism = "TAV-Net";
  };
  const Case cases[] = {
      {"edge end never created", {"CN(5:place,2)", "CA(3:arc,5,2,9)"},
       "CA(3:arc,5,2,9): end node 9 was never created"},
      {"edge end is an edge", {"CN(5:place,2)", "CA(3:arc,5,2,5)"},
       "CA(3:arc,5,2,5): end node 5 is an edge"},
      {"number used twice", {"CN(5:place,2)", "CA(3:arc,2,2,2)"},
       "CA(3:arc,2,2,2): object number 2 used twice"},
      {"attribute for an unknown object", {"CN(5:place,2)", "CT(4:name,7,1:x)"},
       "CT(4:name,7,1:x): attribute for object 7, which was never created"},
      {"position for an unknown object", {"pO(7,1,1)"},
       "pO(7,1,1): position for object 7, which was never created"},
      {"CM series with a gap",
       {"CN(5:place,2)", "CM(4:name,2,1,-3,1:a)", "CM(4:name,2,3,3,1:b)"},
       "CM(4:name,2,3,3,1:b): a gap: piece 3 where piece 2 was due"},
      {"CM series of a wrong total",
       {"CN(5:place,2)", "CM(4:name,2,1,-9,1:a)", "CM(4:name,2,2,3,1:b)"},
       "CM(4:name,2,2,3,1:b): the pieces do not make the total length the first piece gave"},
      {"CM series without its final piece",
       {"CN(5:place,2)", "CM(4:name,2,1,-5,1:a)", "CM(4:name,2,2,2,1:b)"},
       "CM(4:name,2,2,2,1:b): no final piece at the end of the run"},
      {"CM series cut by a new one",
       {"CN(5:place,2)", "CM(4:name,2,1,-5,1:a)", "CM(4:name,2,2,2,1:b)", "CM(4:name,2,1,-1,1:c)"},
       "CM(4:name,2,2,2,1:b): no final piece before a new series began"},
      {"position past a short", {"CN(5:place,2)", "pO(2,32768,0)"},
       "pO(2,32768,0): a position outside the signed 16-bit range"},
      {"position below a short", {"CN(5:place,2)", "pO(2,0,-32769)"},
       "pO(2,0,-32769): a position outside the signed 16-bit range"},
      {"position far outside", {"CN(5:place,2)", "pO(2,4294967296,0)"},
       "pO(2,4294967296,0): a position outside the signed 16-bit range"},
      {"kind the formalism does not define", {"CN(6:circle,2)"},
       "CN(6:circle,2): the formalism defines no kind \"circle\""},
      {"edge before its end node", {"CN(5:place,2)", "CA(3:arc,5,2,3)", "CN(10:transition,3)"},
       "CA(3:arc,5,2,3): end node 3 came after the edge"},
      {"well-formed model",
       {"CN(5:place,2)", "CT(4:name,2,2:p1)", "CN(10:transition,3)", "pO(3,1,-1)",
        "pO(2,32767,-32768)",
        "CA(3:arc,5,2,3)", "CM(9:valuation,5,1,-3,1:1)", "CM(9:valuation,5,2,3,1:2)"},
       ""},
      {"kinds of a formalism the table does not know", {"CN(6:circle,2)"}, "", "Other"},
  };
  for (const Case& c : cases) {
    for (const bool strict : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (strict ? ", --strict" : ""));
      e2e::Workspace workspace;
      qxtest::WriteFile(workspace.File("QX_MNGR/.formalism"), std::string(c.formalism) + "\n");
      std::vector<std::string> args{"send"};
      args.insert(args.end(), c.commands.begin(), c.commands.end());
      std::vector<std::string> options;
      if (strict) options.push_back("--strict");
      const qxtest::ChildResult host = e2e::RunHost(workspace, options, QX_FAKE_TOOL_BIN, args);
      const std::string fault = c.fault;
      if (fault.empty()) {
        EXPECT_EQ(host.status, 0) << host.err;
        EXPECT_EQ(host.err.find("qxhost: model:"), std::string::npos) << host.err;
        continue;
      }
      EXPECT_EQ(host.status, strict ? 2 : 0) << host.err;
      EXPECT_NE(host.err.find("qxhost: model: " + fault + "\n"), std::string::npos) << host.err;
      // One line per fault.
      const size_t first = host.err.find("qxhost: model:");
      EXPECT_EQ(host.err.find("qxhost: model:", first + 1), std::string::npos) << host.err;
      if (strict) {
        EXPECT_NE(host.err.find("qxhost: protocol fault: 1 model fault with --strict"),
                  std::string::npos)
            << host.err;
      }
    }
  }
}

// The JSON the stand-in writes for the commands a fake tool sends.
std::string JsonOf(const std::vector<std::string>& commands) {
  e2e::Workspace workspace;
  std::vector<std::string> args{"send"};
  args.insert(args.end(), commands.begin(), commands.end());
  const qxtest::ChildResult host =
      e2e::RunHost(workspace, {"--model", workspace.File("m.json")}, QX_FAKE_TOOL_BIN, args);
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_EQ(host.err.find("qxhost: model:"), std::string::npos) << host.err;
  return qxtest::ReadFile(workspace.File("m.json"));
}

std::string Ct(const std::string& name, int id, const std::string& value) {
  return "CT(" + std::to_string(name.size()) + ":" + name + "," + std::to_string(id) + "," +
         std::to_string(value.size()) + ":" + value + ")";
}

// An attribute given again replaces its value whole, shorter or longer, from
// CT or from CM pieces, and keeps its place among the others.
TEST(HostModel, AnAttributeGivenAgainReplacesItsValue) {
  const std::string json = JsonOf({
      "CN(5:place,2)",
      Ct("name", 2, "first"),
      Ct("comment", 2, "c"),
      Ct("name", 2, "hi"),
      "CN(5:place,3)",
      Ct("name", 3, "hi"),
      Ct("name", 3, "a longer text"),
      "CN(5:place,4)",
      Ct("name", 4, "abcdefgh"),
      "CM(4:name,4,1,-5,2:wx)",
      "CM(4:name,4,2,3,2:yz)",
      "CN(5:place,5)",
      "CM(4:name,5,1,-5,2:wx)",
      "CM(4:name,5,2,3,2:yz)",
      Ct("name", 5, "v"),
  });
  EXPECT_EQ(json,
            "{\"nodes\":["
            "{\"id\":2,\"kind\":\"place\",\"attributes\":{\"name\":\"hi\",\"comment\":\"c\"}},"
            "{\"id\":3,\"kind\":\"place\",\"attributes\":{\"name\":\"a longer text\"}},"
            "{\"id\":4,\"kind\":\"place\",\"attributes\":{\"name\":\"wx\\nyz\"}},"
            "{\"id\":5,\"kind\":\"place\",\"attributes\":{\"name\":\"v\"}}"
            "],\"edges\":[]}\n");
}

// Bytes that are not UTF-8 become \u00XX escapes of each byte, so the JSON
// stays valid UTF-8: surrogates, overlong forms, code points past U+10FFFF,
// sequences cut short. The valid sequences next to them are kept as they are.
TEST(HostModel, JsonOfBytesThatAreNotUtf8StaysValid) {
  struct Case {
    std::string value;
    std::string json;
  };
  const Case cases[] = {
      {"\xED\xA0\x80", "\\u00ed\\u00a0\\u0080"},  // U+D800
      {"\xED\xBF\xBF", "\\u00ed\\u00bf\\u00bf"},  // U+DFFF
      {"\xED\x9F\xBF", "\xED\x9F\xBF"},           // U+D7FF
      {"\xEE\x80\x80", "\xEE\x80\x80"},           // U+E000
      {"\xC0\xAF", "\\u00c0\\u00af"},             // '/' in two bytes
      {"\xC1\xBF", "\\u00c1\\u00bf"},
      {"\xE0\x80\xAF", "\\u00e0\\u0080\\u00af"},             // '/' in three
      {"\xE0\x9F\xBF", "\\u00e0\\u009f\\u00bf"},             // U+07FF in three
      {"\xE0\xA0\x80", "\xE0\xA0\x80"},                      // U+0800
      {"\xF0\x8F\xBF\xBF", "\\u00f0\\u008f\\u00bf\\u00bf"},  // U+FFFF in four
      {"\xF0\x90\x80\x80", "\xF0\x90\x80\x80"},              // U+10000
      {"\xF4\x90\x80\x80", "\\u00f4\\u0090\\u0080\\u0080"},  // past U+10FFFF
      {"\xF5\x80\x80\x80", "\\u00f5\\u0080\\u0080\\u0080"},
      {"a\xE2\x82", "a\\u00e2\\u0082"},  // cut at the end
      {"\xE2\x82\xAC\xE2\x82", "\xE2\x82\xAC\\u00e2\\u0082"},
  };
  std::vector<std::string> commands;
  std::string expected = "{\"nodes\":[";
  int id = 2;
  for (const Case& c : cases) {
    commands.push_back("CN(5:place," + std::to_string(id) + ")");
    commands.push_back(Ct("name", id, c.value));
    expected += std::string(id > 2 ? "," : "") + "{\"id\":" + std::to_string(id) +
                ",\"kind\":\"place\",\"attributes\":{\"name\":\"" + c.json + "\"}}";
    ++id;
  }
  EXPECT_EQ(JsonOf(commands), expected + "],\"edges\":[]}\n");
}

// Backslashes in a name keep the DOT syntax and reach the drawing as they
// are: within the text, before a quote, before a letter that would be one of
// Graphviz's escapes, and at the very end of the label.
TEST(HostModel, DotKeepsBackslashesInLabels) {
  const std::vector<std::string> names = {"a\\b", "q\\\"z", "\\N\\n", "ends\\"};
  e2e::Workspace workspace;
  std::vector<std::string> args{"send"};
  for (size_t i = 0; i < names.size(); ++i) {
    args.push_back("CN(5:place," + std::to_string(i + 2) + ")");
    args.push_back(Ct("name", static_cast<int>(i + 2), names[i]));
  }
  const qxtest::ChildResult host =
      e2e::RunHost(workspace, {"--model", workspace.File("m.dot")}, QX_FAKE_TOOL_BIN, args);
  ASSERT_EQ(host.status, 0) << host.err;
  const std::string dot = qxtest::ReadFile(workspace.File("m.dot"));
  EXPECT_NE(dot.find("n5 [shape=ellipse, label=\"place 5\\nends\\\\\"];\n"), std::string::npos)
      << dot;
  if (!HasDot()) GTEST_SKIP() << "Graphviz's dot is not installed";
  const qxtest::ChildResult svg =
      qxtest::RunProgram("/bin/sh", {"-c", "dot -Tsvg \"$0\"", workspace.File("m.dot")});
  ASSERT_EQ(svg.status, 0) << svg.err;
  for (const std::string text : {">a\\b<", ">q\\&quot;z<", ">\\N\\n<", ">ends\\<"})
    EXPECT_NE(svg.out.find(text), std::string::npos) << text << "\n" << svg.out;
}

// The stand-in ended by SIGINT or SIGTERM dies of that signal and leaves
// neither its temporary model file nor a model file. The signal is sent once
// the temporary file exists; the stand-in runs in a process group of its own,
// so that its tool is ended with it afterwards.
TEST(HostModel, EndingSignalsRemoveTheTemporaryFile) {
  for (const int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(sig));
    e2e::Workspace workspace;
    qxtest::TempDir out;
    const std::string model = out.File("m.json");
    const pid_t host = ::fork();
    ASSERT_GE(host, 0);
    if (host == 0) {
      ::setpgid(0, 0);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      const char* argv[] = {QX_HOST_BIN, "--workspace", workspace.path().c_str(), "--timeout",
                            "20", "--model", model.c_str(), QX_FAKE_TOOL_BIN, "hang", nullptr};
      ::execv(argv[0], const_cast<char* const*>(argv));
      ::_exit(127);
    }
    bool temporary = false;
    for (int i = 0; i < 5000 && !temporary; ++i) {
      temporary = !DirectoryEntries(out.path()).empty();
      if (!temporary) ::poll(nullptr, 0, 2);
    }
    ::kill(host, sig);
    const qxtest::ChildResult ended = qxtest::WaitChild(host, 10000);
    ::kill(-host, SIGKILL);  // the tool, left behind in the group
    EXPECT_TRUE(temporary) << "the temporary file never appeared";
    EXPECT_TRUE(ended.signaled && ended.signal == sig)
        << "status " << ended.status << ", signal " << ended.signal;
    EXPECT_EQ(DirectoryEntries(out.path()), std::vector<std::string>{});
  }
}

// The model file gets the mode the umask gives a new file (or keeps that of
// the file it replaces), and no temporary
// file is left beside it: not when the tool cannot start, nor when the run is
// cut by the time limit, by the stand-in leaving or by a script wait.
TEST(HostModel, FileModeAndNoTemporaryFile) {
  for (const char* mask : {"022", "077", "002"}) {
    SCOPED_TRACE(std::string("umask ") + mask);
    e2e::Workspace workspace;
    qxtest::TempDir out;
    const qxtest::ChildResult host =
        qxtest::RunProgram("/bin/sh",
                           {"-c", std::string("umask ") + mask + "; exec \"$@\"", "sh", QX_HOST_BIN,
                            "--workspace", workspace.path(), "--timeout", "20", "--model",
                            out.File("m.json"), QX_MODEL_TOOL_BIN, "net"},
                           "", 30000);
    EXPECT_EQ(host.status, 0) << host.err;
    struct stat st;
    ASSERT_EQ(::stat(out.File("m.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666 & ~std::stoi(mask, nullptr, 8));
    // A model file that replaces an earlier one keeps that file's mode.
    ASSERT_EQ(::chmod(out.File("m.json").c_str(), 0640), 0);
    const std::string first = qxtest::ReadFile(out.File("m.json"));
    qxtest::WriteFile(out.File("m.json"), "earlier");
    const qxtest::ChildResult again =
        e2e::RunHost(workspace, {"--model", out.File("m.json")}, QX_MODEL_TOOL_BIN, {"net"});
    EXPECT_EQ(again.status, 0) << again.err;
    ASSERT_EQ(::stat(out.File("m.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(qxtest::ReadFile(out.File("m.json")), first);
    EXPECT_EQ(DirectoryEntries(out.path()), std::vector<std::string>{"m.json"});
  }
  e2e::Workspace workspace;
  qxtest::WriteFile(workspace.File("not-a-program"), "not a program\n");
  qxtest::WriteFile(workspace.File("wait.script"), "< TR(9:never sent)\n");
  struct Case {
    const char* what;
    std::vector<std::string> options;
    std::string tool;
    std::vector<std::string> args;
    int status;    // -1: whatever the tool makes of a host that left
    bool written;  // whether the model file is there at the end
  };
  const Case cases[] = {
      {"missing tool", {}, workspace.File("no-such-tool"), {}, 1, false},
      {"tool not found in PATH", {}, "no-such-tool", {}, 1, false},
      {"tool that is not a program", {}, workspace.File("not-a-program"), {}, 1, false},
      {"time limit", {"--timeout", "1"}, QX_FAKE_TOOL_BIN, {"hang"}, 4, true},
      {"stand-in leaves", {"--close-after", "2"}, QX_MODEL_TOOL_BIN, {"net"}, -1, true},
      {"script wait runs out",
       {"--script", workspace.File("wait.script"), "--expect-timeout", "0.3"},
       QX_FAKE_TOOL_BIN,
       {"hang"},
       5,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qxtest::TempDir out;
    std::vector<std::string> options = c.options;
    options.push_back("--model");
    options.push_back(out.File("m.json"));
    const qxtest::ChildResult host = e2e::RunHost(workspace, options, c.tool, c.args);
    if (c.status >= 0) {
      EXPECT_EQ(host.status, c.status) << host.err;
    }
    EXPECT_EQ(DirectoryEntries(out.path()),
              c.written ? std::vector<std::string>{"m.json"} : std::vector<std::string>{});
  }
}

}  // namespace

namespace {

// A model with faults, from a tool that sends the commands as given: a number
// given twice (the commands after it still go to the first object, each
// listed there), an edge to a node never created, an attribute for no object.
const std::vector<std::string> kFaultyModel = {
    "CN(5:place,2)",         "CN(10:transition,2)",   "CT(4:name,2,1:t)", "pO(2,5,6)",
    "CN(5:place,3)",         "CA(3:arc,4,2,9)",       "CT(9:valuation,4,1:1)",
    "CT(4:name,7,1:x)"};

std::string WriteModel(const std::string& extension, std::vector<std::string> options,
                       const std::vector<std::string>& commands) {
  e2e::Workspace workspace;
  const std::string path = workspace.File("model" + extension);
  options.insert(options.begin(), {"--model", path});
  std::vector<std::string> args{"send"};
  args.insert(args.end(), commands.begin(), commands.end());
  const qxtest::ChildResult host = e2e::RunHost(workspace, options, QX_FAKE_TOOL_BIN, args);
  EXPECT_EQ(host.status, 0) << host.err;
  return qxtest::ReadFile(path);
}

TEST(HostModelView, FaultsGoWithTheirObjects) {
  const std::string reused = ": taken by the place 2, though CN(10:transition,2) gave its number again";
  EXPECT_EQ(WriteModel(".json", {}, kFaultyModel),
            "{\"nodes\":[{\"id\":2,\"kind\":\"place\",\"attributes\":{\"name\":\"t\"},"
            "\"position\":[5,6],\"faults\":[\"CN(10:transition,2): object number 2 used twice\","
            "\"CT(4:name,2,1:t)" + reused + "\",\"pO(2,5,6)" + reused + "\"]},"
            "{\"id\":3,\"kind\":\"place\",\"attributes\":{}}],"
            "\"edges\":[{\"id\":4,\"kind\":\"arc\",\"from\":2,\"to\":9,"
            "\"attributes\":{\"valuation\":\"1\"},\"faults\":["
            "\"CA(3:arc,4,2,9): end node 2 is the first object of that number, though "
            "CN(10:transition,2) gave it again\","
            "\"CA(3:arc,4,2,9): end node 9 was never created\"]}],"
            "\"faults\":[\"CT(4:name,7,1:x): attribute for object 7, which was never created\"]}\n");

  // In the drawing: red with the fault lines, the missing end red and dashed.
  const std::string dot = WriteModel(".dot", {}, kFaultyModel);
  for (const std::string& part :
       {"  n2 [shape=ellipse, color=red, fontcolor=red, pos=\"5,-6!\", label=\"place 2\\nt\\n"
        "fault: CN(10:transition,2): object number 2 used twice\\nfault: CT(4:name,2,1:t)" +
            reused + "\\nfault: pO(2,5,6)" + reused + "\"];\n",
        std::string("  n3 [shape=ellipse, label=\"place 3\"];\n"),
        std::string("  n9 [shape=ellipse, style=dashed, color=red, fontcolor=red, "
                    "label=\"missing node 9\"];\n"),
        std::string("  n2 -> n9 [color=red, fontcolor=red, label=\"arc\\nfault: CA(3:arc,4,2,9): "
                    "end node 2 is the first")}) {
    EXPECT_NE(dot.find(part), std::string::npos) << part << "\n---\n" << dot;
  }
  EXPECT_EQ(dot.find("n9 [shape=ellipse, label"), std::string::npos) << dot;
}

// --label adds ATTR=value to each object that has the attribute, line breaks
// of the value kept as centred lines.
TEST(HostModelView, LabelsShowTheAttributesAsked) {
  e2e::Workspace workspace;
  const std::string path = workspace.File("m.dot");
  const qxtest::ChildResult host =
      e2e::RunHost(workspace, {"--model", path, "--label", "valuation", "--label", "guard"},
                   QX_MODEL_TOOL_BIN, {"net"});
  ASSERT_EQ(host.status, 0) << host.err;
  const std::string dot = qxtest::ReadFile(path);
  for (const char* part : {"  n3 [shape=box, pos=\"-10,-20!\", label=\"transition 3\\nt1\\n"
                           "guard=x > 0 and\\ny < 2\\n\"];\n",
                           "  n2 -> n3 [label=\"arc\\nvaluation=1\"];\n",
                           "  n3 -> n4 [label=\"arc\"];\n", "  n4 [shape=ellipse, label=\"place 4\\n"}) {
    EXPECT_NE(dot.find(part), std::string::npos) << part << "\n---\n" << dot;
  }
}

// The centre of node name in an SVG drawn by Graphviz.
std::pair<double, double> Centre(const std::string& svg, const std::string& name) {
  const size_t title = svg.find("<title>" + name + "</title>");
  const size_t cx = svg.find("cx=\"", title);
  const size_t cy = svg.find("cy=\"", title);
  if (title == std::string::npos || cx == std::string::npos || cy == std::string::npos) return {0, 0};
  return {std::stod(svg.substr(cx + 4)), std::stod(svg.substr(cy + 4))};
}

// With a position for every node the drawing keeps them (the host's vertical
// axis points down, as SVG's does); without, Graphviz lays the graph out.
TEST(HostModelView, DrawingKeepsThePositions) {
  if (!HasDot()) GTEST_SKIP() << "Graphviz's dot is not installed";
  const std::vector<std::string> placed = {"CN(5:place,2)", "pO(2,0,0)", "CN(5:place,3)",
                                           "pO(3,300,200)", "CA(3:arc,4,2,3)"};
  const std::string svg = WriteModel(".svg", {}, placed);
  const auto [x2, y2] = Centre(svg, "n2");
  const auto [x3, y3] = Centre(svg, "n3");
  EXPECT_NEAR(x3 - x2, 300, 1) << svg;
  EXPECT_NEAR(y3 - y2, 200, 1) << svg;

  // One node without a position: the automatic layout, which puts the arc's
  // head under its tail.
  std::vector<std::string> unplaced = placed;
  unplaced.erase(unplaced.begin() + 3);
  const std::string laid_out = WriteModel(".svg", {}, unplaced);
  const auto [lx2, ly2] = Centre(laid_out, "n2");
  const auto [lx3, ly3] = Centre(laid_out, "n3");
  EXPECT_NEAR(lx3, lx2, 1) << laid_out;
  EXPECT_GT(ly3, ly2) << laid_out;
}

}  // namespace
