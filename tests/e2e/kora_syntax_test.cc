// SPDX-License-Identifier: MIT
// The host stand-in's command syntax check: the library's reader seen through
// a vector of arguments, and each break explained in words.
#include "kora_syntax.h"

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using qxhost::KoraArgument;
using qxhost::KoraCommand;
using qxhost::KoraSyntaxError;
using qxhost::ParseKora;
using Kind = KoraArgument::Kind;

TEST(KoraSyntax, WellFormedCommandsParse) {
  struct Case {
    std::string text;
    const char* name;
    size_t arguments;
  };
  const std::vector<Case> cases = {
      {"FE()", "FE", 0},
      {"FE()\n", "FE", 0},
      {"TR(5:hello)", "TR", 1},
      {"START_TOOL(1:C,2,1,2,6,2,3,7:Varnost,3:1.1,23:(c) the Varnost authors)", "START_TOOL",
       10},
      {"MT(1,4:name,,)", "MT", 4},
      {"SO(,5:place)", "SO", 2},
      {"CE(5,1,2,8:win, (1),0:,3:t:x,0,1,)", "CE", 9},
      {"pO(12,-30,40)", "pO", 3},
      {"RT(0:)", "RT", 1},
      {"X(0)", "X", 1},
      {"TR(3:a)b)", "TR", 1},                  // a parenthesis inside the count
      {std::string("TR(3:\n\0\x7f)", 9), "TR", 1},  // any byte inside the count
      {"SEND_KORA_FILE(6:f.kora,1)", "SEND_KORA_FILE", 2},
      {"CM(4:name,7,1,-5,2:ab)", "CM", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    KoraCommand command;
    KoraSyntaxError error;
    ASSERT_TRUE(ParseKora(c.text, &command, &error)) << error.offset << ": " << error.reason;
    EXPECT_EQ(command.name, c.name);
    EXPECT_EQ(command.arguments.size(), c.arguments);
  }
}

TEST(KoraSyntax, MalformedCommandsBreakWhereExpected) {
  struct Case {
    std::string text;
    size_t offset;       // bytes before the break
    const char* reason;  // part of the reason
  };
  const std::vector<Case> cases = {
      {"", 0, "a command name"},
      {"(1)", 0, "a command name"},
      {"1X(1)", 0, "a command name"},
      {"_X(1)", 0, "a command name"},
      {"TR", 2, "'(' expected after the command name, found the end of the command"},
      {"TR 5:a)", 2, "'(' expected after the command name, found ' '"},
      {"TR(", 3, "the command ends before its closing ')'"},
      {"MT(1,,2", 7, "',' or ')' expected after an argument, found the end"},
      {"MT(1,,", 6, "the command ends before its closing ')'"},
      {"TR(5:abc)", 9, "the counted string of 5 bytes runs past the end of the command (4 bytes left)"},
      // A counted string whole, then the end: cut short after the argument.
      {"TR(3:abc", 8, "',' or ')' expected after an argument, found the end of the command"},
      {"X(0:", 4, "',' or ')' expected after an argument, found the end of the command"},
      {"X(0:,", 5, "the command ends before its closing ')'"},
      {"TR(3:abcd)", 8, "',' or ')' expected after an argument, found 'd'"},
      {"TR(99999999999999999999999:a)", 29, "runs past the end"},
      {"TR(5:hello)x", 11, "text after the closing ')': 'x'"},
      {"FE())", 4, "text after the closing ')'"},
      {"RO(07)", 4, "a number with a leading zero"},
      {"TR(03:abc)", 4, "a number with a leading zero"},
      {"RO(-0)", 4, "a negative zero"},
      {"RO(-)", 4, "a digit expected after '-', found ')'"},
      {"RO(+1)", 3, "an argument expected (empty, an integer or a counted string N:...), found '+'"},
      {"RO(1 )", 4, "',' or ')' expected after an argument, found ' '"},
      {"RO(1.5)", 4, "found '.'"},
      {"TR(-3:abc)", 5, "a counted string with a negative length"},
      {"RO(1,-9223372036854775809)", 5, "an integer outside the range of a long"},
      {"X(" + std::string(128, ',') + ")", 129, "more than 128 arguments"},
      {"FE()\n\n", 5, "text after the closing ')': byte 0x0a"},
      {"TR(abc)", 3, "an argument expected"},
      {"TR(\x01)", 3, "found byte 0x01"},
      {"TR(2:ab\n)", 7, "found byte 0x0a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    KoraCommand command;
    KoraSyntaxError error;
    ASSERT_FALSE(ParseKora(c.text, &command, &error));
    EXPECT_EQ(error.offset, c.offset) << error.reason;
    EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.reason;
  }
}

// The arguments as the stand-in uses them (SEND_KORA_FILE, for one).
TEST(KoraSyntax, ArgumentsKeepTheirKindAndValue) {
  KoraCommand command;
  KoraSyntaxError error;
  const std::string text = "CE(5,-12,0:,3:a,b,,9223372036854775807,-9223372036854775808)";
  ASSERT_TRUE(ParseKora(text, &command, &error)) << error.reason;
  ASSERT_EQ(command.arguments.size(), 7u);
  const std::vector<KoraArgument>& a = command.arguments;
  EXPECT_EQ(a[0].kind, Kind::kInteger);
  EXPECT_EQ(a[0].integer, 5);
  EXPECT_EQ(a[1].integer, -12);
  EXPECT_EQ(a[1].text, "-12");
  EXPECT_EQ(a[2].kind, Kind::kString);
  EXPECT_EQ(a[2].text, "");
  EXPECT_EQ(a[3].kind, Kind::kString);
  EXPECT_EQ(a[3].text, "a,b");
  EXPECT_EQ(a[4].kind, Kind::kEmpty);
  EXPECT_EQ(a[5].integer, LONG_MAX);
  EXPECT_EQ(a[6].integer, LONG_MIN);
  EXPECT_EQ(a[6].text, "-9223372036854775808");
}

TEST(KoraSyntax, WhatBeginsLikeACommand) {
  struct Case {
    const char* line;
    bool command;
  };
  const Case cases[] = {
      {"TR(", true},         {"pO(1,2", true},  {"END_TOOL(0)", true},
      {"X(no end", true},    {"TR", false},     {"", false},
      {"(x)", false},        {"_X(1)", false},  {"Erreur (ligne 3)", false},
      {"erreur de format NbPlaces/NbTrans", false},
  };
  for (const Case& c : cases) EXPECT_EQ(qxhost::BeginsLikeKora(c.line), c.command) << c.line;
}

}  // namespace
