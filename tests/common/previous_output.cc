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

void ExpectNoTemporaryFile(const std::string& dir) {
  for (const std::string& name : ListDir(dir)) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << "temporary file left: " << name;
  }
}

}  // namespace qxtest
