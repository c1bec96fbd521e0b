// SPDX-License-Identifier: MIT
// Helpers of the converter's tests: reading a net in this process, releasing
// it again, and an independent model of a net with the files it must give.
#ifndef VARNOST_TESTS_NET_TESTING_H
#define VARNOST_TESTS_NET_TESTING_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "EnsI.h"
#include "common/qxtest.h"

namespace vtest {

// The tool's release of the net globals, and the trace flag reset too: tests
// read many nets in one process.
void ResetNet();

// A fresh net state and a temporary directory for each test.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetNet(); }
  void TearDown() override { ResetNet(); }
  qxtest::TempDir dir_;
};

struct ReadResult {
  int status = 0;   // InitialisationNet's result
  std::string out;  // what it printed on standard output
};

// Runs InitialisationNet on "" (the program name), the options, then path.
ReadResult ReadNet(const std::string& path, const std::vector<std::string>& options = {});

std::vector<int> Elements(t_EnsI set);

// Whether the page holding `address` is mapped in this process: storage
// mapped on its own is gone once released.
bool Mapped(const void* address);

// Whether two long texts (whole output files) are equal; the failure shows
// the first line where they differ, not the texts (a diff of two large texts
// takes gtest minutes).
::testing::AssertionResult SameText(const std::string& actual, const std::string& expected);

// The address space this process has mapped, in bytes.
uint64_t MappedBytes();
// Limits this process's address space to what it has mapped now and `room`
// bytes more (for a child that is to run out of memory). False on failure.
bool LimitAddressSpace(uint64_t room);

// A net as plain vectors, built by the tests without the tool's code.
struct NetModel {
  int places = 0;
  int transitions = 0;
  std::vector<std::vector<int>> pre;   // [place][transition]
  std::vector<std::vector<int>> post;  // [place][transition]
  std::vector<int> marking;            // tokens per place
  std::vector<std::string> names;      // places then transitions; empty: no references

  // The matrix file with one row per line and the marking on one line.
  std::string MatrixText() const;
  // The PEP file the converter must write for this net.
  std::string ExpectedPep() const;
};

}  // namespace vtest

#endif
