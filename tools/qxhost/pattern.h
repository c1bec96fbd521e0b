// SPDX-License-Identifier: MIT
// Patterns of script lines, matched against whole commands. In a pattern "*"
// matches any run of bytes, "\*" is a star and "\\" a backslash; every other
// byte matches itself. A counted string may be written by its text, "text"
// standing for N:text with N its byte count ("\"" a quote and "\\" a
// backslash inside): a quote is read so where an argument starts. The reader
// follows the command's syntax to know where that is, counts of counted
// strings included; after a "*" it no longer knows, and there a quote is read
// so only when it directly follows "(" or ",".
#ifndef QUARNEL_TOOLS_QXHOST_PATTERN_H
#define QUARNEL_TOOLS_QXHOST_PATTERN_H

#include <string>
#include <string_view>
#include <vector>

namespace qxhost {

// A pattern cut at its stars: the literal pieces between them.
struct Pattern {
  std::vector<std::string> pieces;  // pieces.size() == stars + 1
};

// Reads text as a pattern. False with a message for a text form without its
// closing quote.
bool CompilePattern(std::string_view text, Pattern* pattern, std::string* error);

// True when command matches pattern as a whole.
bool MatchesPattern(const Pattern& pattern, std::string_view command);

// A pattern that matches command and nothing else, counted strings written
// by their text where it is printable. A command that a script line cannot
// hold exactly (a line break, a blank at the end) gets a pattern with a "*"
// for those bytes; exact is then false.
std::string PatternFor(std::string_view command, bool* exact);

}  // namespace qxhost

#endif
