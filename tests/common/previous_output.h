// SPDX-License-Identifier: MIT
// What the converter's output tests put where an output goes before a run,
// and the check that a run left no temporary file behind.
#ifndef QUARNEL_TESTS_COMMON_PREVIOUS_OUTPUT_H
#define QUARNEL_TESTS_COMMON_PREVIOUS_OUTPUT_H

#include <gtest/gtest.h>

#include <string>

namespace qxtest {

// The content of a previous output: longer than every output the tests write
// over it, so that an output written into it without truncation, or cut
// short, cannot pass for it nor for a new output.
const std::string& PreviousOutput();

// Whether the file at path holds PreviousOutput(); the failure says how it
// differs, without printing either text.
::testing::AssertionResult HoldsPreviousOutput(const std::string& path);

// Fails the test for each entry of dir that is an output's temporary file.
void ExpectNoTemporaryFile(const std::string& dir);

}  // namespace qxtest

#endif
