// SPDX-License-Identifier: MIT
#include "common/previous_output.h"

#include <gtest/gtest.h>

#include "common/qxtest.h"

namespace qxtest {

const std::string& PreviousOutput() {
  static const std::string text = [] {
    std::string t;
    for (int line = 1; t.size() < (size_t{64} << 10); ++line) {
      t += "previous good output, line " + std::to_string(line) + "\n";
    }
    return t;
  }();
  return text;
}

::testing::AssertionResult HoldsPreviousOutput(const std::string& path) {
  if (!FileExists(path)) return ::testing::AssertionFailure() << path << " is gone";
  const std::string text = ReadFile(path);
  const std::string& previous = PreviousOutput();
  if (text == previous) return ::testing::AssertionSuccess();
  size_t same = 0;
  while (same < text.size() && same < previous.size() && text[same] == previous[same]) ++same;
  return ::testing::AssertionFailure() << path << " holds " << text.size() << " bytes, not the "
                                       << previous.size() << " of the previous output; they differ from byte "
                                       << same << " on";
}

void ExpectNoTemporaryFile(const std::string& dir) {
  for (const std::string& name : ListDir(dir)) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << "temporary file left: " << name;
  }
}

}  // namespace qxtest
