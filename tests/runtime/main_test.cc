// SPDX-License-Identifier: MIT
// The library's main around a service that lets an exception out: whatever
// was thrown, the run ends through the end routine as a failure the host
// hears of, never by std::terminate.
#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "common/qxtest.h"

namespace {

std::string Tr(const std::string& text) {
  return "TR(" + std::to_string(text.size()) + ":" + text + ")\n";
}

TEST(LibraryMain, ExceptionEscapingTheServiceEndsTheRunAsAFailure) {
  struct Case {
    const char* thrown;  // the service's argument
    const char* text;    // the trace that follows the first one
  } const cases[] = {
      {"std", "boom"},
      {"other", "Qx Main: not a std::exception"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.thrown);
    qxtest::TempDir workspace;
    ASSERT_EQ(::mkdir(workspace.File("QX_MNGR").c_str(), 0777), 0);
    const qxtest::ChildResult run = qxtest::RunProgram(
        QX_THROWING_SERVICE_BIN, {"-std_out", "-end_env_p", c.thrown}, workspace.path());
    EXPECT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 1);
    const std::string ending =
        Tr("Qx Main: uncaught exception in the service") + Tr(c.text) + "END_TOOL(2)\n";
    EXPECT_TRUE(run.out.ends_with(ending)) << run.out;
    EXPECT_TRUE(qxtest::FileExists(workspace.File("QX_MNGR/QX_exec_finished.lock")));
  }
}

}  // namespace
