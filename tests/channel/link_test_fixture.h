// SPDX-License-Identifier: MIT
// Shared pieces of the link tests (launchers, primitives, connections).
#ifndef QUARNEL_TESTS_CHANNEL_LINK_TEST_FIXTURE_H
#define QUARNEL_TESTS_CHANNEL_LINK_TEST_FIXTURE_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "common/qxtest.h"
#include "quarnel/QXEnv.h"

namespace qxtest {

// A temporary directory for the test, and the library in standalone mode so
// that its traces go to standard error only and a test sees exactly its lines.
class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedStandalone_ = g_qxStandalone;
    g_qxStandalone = kQx_True;
  }
  void TearDown() override { g_qxStandalone = savedStandalone_; }

  TempDir dir_;

 private:
  QxBoolean savedStandalone_ = kQx_False;
};

// This host's name as gethostname gives it.
inline std::string LocalHostName() {
  char name[64] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

// The library's functions take char* for texts they do not change.
inline char* Arg(const char* text) { return const_cast<char*>(text); }
inline char* Arg(const std::string& text) { return const_cast<char*>(text.c_str()); }

}  // namespace qxtest

#endif
