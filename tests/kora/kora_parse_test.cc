// SPDX-License-Identifier: MIT
// QxParseKora: well-formed commands and their arguments, each kind of break
// at its offset, the limits, and what the caller's record holds after a break.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarnel/QXErrors.h"
#include "quarnel/QXKoraParse.h"

namespace {

// An argument as a test expects it.
struct Arg {
  QxKoraArgKind kind;
  long integer;
  std::string text;
};
Arg E() { return {kQx_KoraEmpty, 0, ""}; }
Arg I(long value, std::string digits) { return {kQx_KoraInteger, value, std::move(digits)}; }
Arg S(std::string text) { return {kQx_KoraString, 0, std::move(text)}; }

size_t Parse(const std::string& text, QxKoraCommand* command) {
  return QxParseKora(text.data(), text.size(), command);
}

TEST(KoraParse, WellFormedCommandsGiveTheirNameAndArguments) {
  struct Case {
    std::string text;
    std::string name;
    std::vector<Arg> args;
  };
  const std::vector<Case> cases = {
      {"FE()", "FE", {}},
      {"FE()\n", "FE", {}},
      {"X(,)", "X", {E(), E()}},
      {"MT(7,4:name,,)", "MT", {I(7, "7"), S("name"), E(), E()}},
      {"SO(,5:place)", "SO", {E(), S("place")}},
      {"pO(12,-30,40)", "pO", {I(12, "12"), I(-30, "-30"), I(40, "40")}},
      {"RT(0:)", "RT", {S("")}},
      {"MARKING(0)", "MARKING", {I(0, "0")}},
      {"TR(3:a)b)", "TR", {S("a)b")}},
      {std::string("TR(5:\n\0,):)", 11), "TR", {S(std::string("\n\0,):", 5))}},
      {"TR(1:\n)\n", "TR", {S("\n")}},
      {"CM(4:name,7,1,-5,2:ab)", "CM", {S("name"), I(7, "7"), I(1, "1"), I(-5, "-5"), S("ab")}},
      {"a_1(1:x)", "a_1", {S("x")}},
      {"X(9223372036854775807,-9223372036854775808)",
       "X",
       {I(LONG_MAX, "9223372036854775807"), I(LONG_MIN, "-9223372036854775808")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    QxKoraCommand command;
    ASSERT_EQ(Parse(c.text, &command), 0u);
    EXPECT_EQ(std::string(command.name, command.nameLength), c.name);
    EXPECT_EQ(command.name, c.text.data());
    ASSERT_EQ(command.argCount, static_cast<int>(c.args.size()));
    for (size_t i = 0; i < c.args.size(); ++i) {
      SCOPED_TRACE(i);
      const QxKoraArg& arg = command.args[i];
      EXPECT_EQ(arg.kind, c.args[i].kind);
      EXPECT_EQ(arg.integer, c.args[i].integer);
      if (arg.kind == kQx_KoraEmpty) {
        EXPECT_EQ(arg.text, nullptr);
        EXPECT_EQ(arg.length, 0u);
      } else {
        // Points into the caller's text.
        EXPECT_GE(arg.text, c.text.data());
        EXPECT_LE(arg.text + arg.length, c.text.data() + c.text.size());
        EXPECT_EQ(std::string(arg.text, arg.length), c.args[i].text);
      }
    }
  }
}

TEST(KoraParse, AFaultGivesOneMoreThanTheOffsetWhereItBreaks) {
  struct Case {
    std::string text;
    size_t result;  // 1 + offset; length + 1 when cut short
  };
  const std::vector<Case> cases = {
      // the name and its parenthesis
      {"", 1},
      {"(1)", 1},
      {"1X(1)", 1},
      {"_X()", 1},
      {"TR", 3},
      {"TR 5:a)", 3},
      // cut short
      {"TR(", 4},
      {"MT(1,,", 7},
      {"MT(1,,2", 8},
      {"RO(12", 6},
      {"RO(-", 5},
      {"TR(5:abc)", 10},
      {"TR(5:", 6},
      {"TR(99999999999999999999999:a)", 30},
      // arguments
      {"RO(+1)", 4},
      {"TR(abc)", 4},
      {"RO(-)", 5},
      {"RO(07)", 5},
      {"TR(03:abc)", 5},
      {"RO(-0)", 5},
      {"RO(-05)", 5},
      {"TR(-3:abc)", 6},
      {"RO(9223372036854775808)", 4},
      {"RO(-9223372036854775809)", 4},
      {"RO(1,99999999999999999999)", 6},
      // separators and the end
      {"RO(1 )", 5},
      {"RO(1.5)", 5},
      {"TR(3:abcd)", 9},
      {"TR(2:ab\n)", 8},
      {"TR(5:hello)x", 12},
      {"FE())", 5},
      {"FE()\n\n", 6},
      {"FE()\nFE()", 6},
      {"FE()\r\n", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    QxKoraCommand command;
    EXPECT_EQ(Parse(c.text, &command), c.result);
    EXPECT_EQ(Parse(c.text, nullptr), c.result) << "without a command record";
  }
}

// Arguments QX_KORA_MAX_ARGS and over, and texts far over the send limit.
TEST(KoraParse, Limits) {
  std::string empties = "X(" + std::string(QX_KORA_MAX_ARGS - 1, ',') + ")";
  QxKoraCommand command;
  ASSERT_EQ(Parse(empties, &command), 0u);
  EXPECT_EQ(command.argCount, QX_KORA_MAX_ARGS);

  std::string numbers = "X(1";
  for (int i = 1; i < QX_KORA_MAX_ARGS; ++i) numbers += "," + std::to_string(i + 1);
  ASSERT_EQ(Parse(numbers + ")", &command), 0u);
  EXPECT_EQ(command.args[QX_KORA_MAX_ARGS - 1].integer, QX_KORA_MAX_ARGS);

  // The comma that would open one argument more is the break.
  const std::string over = numbers + ",1)";
  EXPECT_EQ(Parse(over, &command), numbers.size() + 1);
  EXPECT_EQ(command.argCount, QX_KORA_MAX_ARGS);
  EXPECT_EQ(Parse("X(" + std::string(QX_KORA_MAX_ARGS, ',') + ")", nullptr),
            2u + QX_KORA_MAX_ARGS);

  // The reader has no size limit of its own.
  const std::string body(100000, 'x');
  ASSERT_EQ(Parse("RT(100000:" + body + ")", &command), 0u);
  EXPECT_EQ(command.args[0].length, body.size());
}

TEST(KoraParse, AfterABreakTheRecordHoldsWhatWasReadWhole) {
  struct Case {
    std::string text;
    std::string name;  // empty: no name
    int argCount;
  };
  const std::vector<Case> cases = {
      {"TR", "", 0},       {"TR 5", "", 0},      {"1X()", "", 0},        {"TR(", "TR", 0},
      {"MT(7,4:na", "MT", 1}, {"MT(7,4:name,x", "MT", 2}, {"FE()x", "FE", 0}, {"X(1,2,3", "X", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    QxKoraCommand command;
    command.argCount = 99;
    ASSERT_NE(Parse(c.text, &command), 0u);
    if (c.name.empty()) {
      EXPECT_EQ(command.name, nullptr);
      EXPECT_EQ(command.nameLength, 0u);
    } else {
      EXPECT_EQ(std::string(command.name, command.nameLength), c.name);
    }
    EXPECT_EQ(command.argCount, c.argCount);
  }
}

TEST(KoraParse, NeitherTracesNorTouchesTheErrorCode) {
  g_qxErrno = kQx_TimeOut;
  QxKoraCommand command;
  testing::internal::CaptureStderr();
  EXPECT_EQ(QxParseKora("TR(", 3, &command), 4u);
  EXPECT_EQ(QxParseKora("TR()", 4, &command), 0u);
  EXPECT_EQ(QxParseKora(nullptr, 0, &command), 1u);
  EXPECT_EQ(QxParseKora(nullptr, 10, &command), 1u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(QxErrno(), kQx_TimeOut);
  g_qxErrno = kQx_NoErr;
}

// Only the bytes given are read: a command inside a larger buffer.
TEST(KoraParse, ReadsOnlyTheLengthGiven) {
  const char buffer[] = "QUIT()QUIT()";
  QxKoraCommand command;
  EXPECT_EQ(QxParseKora(buffer, 6, &command), 0u);
  EXPECT_EQ(QxParseKora(buffer, 5, &command), 6u);
  EXPECT_EQ(QxParseKora(buffer, std::strlen(buffer), &command), 7u);
}

}  // namespace
