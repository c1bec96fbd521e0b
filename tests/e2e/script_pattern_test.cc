// SPDX-License-Identifier: MIT
// Script patterns: stars and escapes, counted strings written by their text,
// told apart from a quote inside a counted string by following the counts;
// and the pattern a recorded command gets, which matches it and nothing else.
#include "pattern.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using qxhost::CompilePattern;
using qxhost::MatchesPattern;
using qxhost::Pattern;
using qxhost::PatternFor;

bool Matches(const std::string& pattern, const std::string& command) {
  Pattern compiled;
  std::string error;
  EXPECT_TRUE(CompilePattern(pattern, &compiled, &error)) << pattern << ": " << error;
  return MatchesPattern(compiled, command);
}

TEST(ScriptPattern, MatchesWholeCommands) {
  struct Case {
    const char* pattern;
    const char* command;
    bool matches;
  };
  const Case cases[] = {
      {"TR(5:hello)", "TR(5:hello)", true},
      {"TR(5:hello)", "TR(5:hello) ", false},
      {"TR(*)", "TR(5:hello)", true},
      {"*", "", true},
      {"ab*ba", "aba", false},
      {"ab*ba", "abba", true},
      {"TR(3:a\\*b)", "TR(3:a*b)", true},
      {"TR(3:a\\*b)", "TR(3:axb)", false},
      {"TR(2:\\\\x)", "TR(2:\\x)", true},
      {"TR(2:\\x)", "TR(2:\\x)", true},  // a backslash before another byte is itself
      // The text form: "text" stands for N:text.
      {"RT(\"place idle holds 1 tokens\")", "RT(25:place idle holds 1 tokens)", true},
      {"RT(\"\")", "RT(0:)", true},
      {"TR(\"say \\\"hi\\\" \\\\ *\")", "TR(12:say \"hi\" \\ *)", true},
      {"TR(\"say \\\"hi\\\" \\\\ *\")", "TR(12:say \"hi\" \\ x)", false},  // a star inside is a star
      {"CT(4:name,2,\"p1\")", "CT(4:name,2,2:p1)", true},
      {"CE(5,\"a\",,\"bc\")", "CE(5,1:a,,2:bc)", true},
      {"START_TOOL(\"C\",2,*)", "START_TOOL(1:C,2,1,2)", true},
      // A quote inside a counted string is a byte of it: the counts are followed.
      {"TR(5:a,\"b\")", "TR(5:a,\"b\")", true},
      {"TR(3:\"x\",\"y\")", "TR(3:\"x\",1:y)", true},  // the count ends at ',': "y" is a text
      {"TR(3:\"x\",\"y\")", "TR(3:\"x\",\"y\")", false},
      {"X(12,\"a\")", "X(12,1:a)", true},  // a number is no count without its ':'
      // After a star the place is lost: a quote right after "(" or "," is a text.
      {"CT(4:name,*,\"p1\")", "CT(4:name,17,2:p1)", true},
      {"X(*\"a\")", "X(3:\"a\")", true},  // not after "(" or ",": a quote
      {"X(*(\"a\")", "X(1:((1:a)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + c.command);
    EXPECT_EQ(Matches(c.pattern, c.command), c.matches);
  }
}

TEST(ScriptPattern, TextWithoutItsClosingQuoteIsRefused) {
  for (const char* text : {"TR(\"abc)", "TR(\"ab\\\")", "X(1:a,\"\\"}) {
    SCOPED_TRACE(text);
    Pattern pattern;
    std::string error;
    EXPECT_FALSE(CompilePattern(text, &pattern, &error));
    EXPECT_NE(error.find("has no closing quote"), std::string::npos) << error;
  }
}

// The recorded pattern of a command: counted strings by their text where
// printable, stars and backslashes escaped; it matches the command and no
// other. What a line cannot hold is matched by a star, and said.
TEST(ScriptPattern, RecordedPatternMatchesTheCommandAlone) {
  struct Case {
    std::string command;
    const char* pattern;
    bool exact;
  };
  const std::vector<Case> cases = {
      {"START_TOOL(1:C,2,1,2,6,2,3,6:HelloC,3:1.0,23:(c) the Varnost authors)",
       "START_TOOL(\"C\",2,1,2,6,2,3,\"HelloC\",\"1.0\",\"(c) the Varnost authors\")", true},
      {"TR(9:a*b \"c\" \\)", "TR(\"a*b \\\"c\\\" \\\\\")", true},
      {"CE(5,1:a,,0:,-3)", "CE(5,\"a\",,\"\",-3)", true},
      {"FE()", "FE()", true},
      {std::string("TR(3:a\tb)"), "TR(3:a\tb)", true},  // a control byte: the count stays
      {"CM(4:text,2,1,-3,3:a\nb)", "CM(\"text\",2,1,-3,3:a*b)", false},
      {"TR(3:a*b", "TR(3:a\\*b", true},         // malformed: as it is
      {"X(\"a\")", "X(*a*)", false},            // malformed, a quote where a text would start
      {"TR(2:ab) ", "TR(2:ab)*", false},      // a blank at the end
      {"garbage \\ here", "garbage \\\\ here", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    bool exact = false;
    const std::string pattern = PatternFor(c.command, &exact);
    EXPECT_EQ(pattern, c.pattern);
    EXPECT_EQ(exact, c.exact);
    EXPECT_TRUE(Matches(pattern, c.command));
    if (c.exact) {
      EXPECT_FALSE(Matches(pattern, c.command + "x"));
    }
  }
}

}  // namespace
