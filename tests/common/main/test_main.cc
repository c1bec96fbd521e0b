// SPDX-License-Identifier: MIT
// The test programs' own main. It is compiled into each test executable as an
// object (not taken from an archive), so the library's main is never linked in.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Death tests fork; "threadsafe" re-executes the binary so that the child
  // starts from a clean process.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  return RUN_ALL_TESTS();
}
