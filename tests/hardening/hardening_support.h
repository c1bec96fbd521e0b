// SPDX-License-Identifier: MIT
// Shared pieces of the hardening tests: the programs under test, small nets,
// mounted file systems for disk faults, and runs of a program with a chosen
// standard output.
#ifndef QUARNEL_TESTS_HARDENING_HARDENING_SUPPORT_H
#define QUARNEL_TESTS_HARDENING_HARDENING_SUPPORT_H

#include <string>
#include <vector>

#include "common/qxtest.h"

namespace hardening {

// Paths of the programs built with the tests.
inline const std::string kVarnost = QX_VARNOST_BIN;
inline const std::string kHost = QX_HOST_BIN;
inline const std::string kLoadTool = QX_LOAD_TOOL_BIN;
inline const std::string kExamples = QX_EXAMPLES_DIR;

// The matrix file and reference file of the shipped example net "name".
std::string ExampleNet(const std::string& name);
std::string ExampleRef(const std::string& name);
// The .ll_net of that example net (with its reference file), converted by a
// standalone run where nothing fails.
std::string ConvertedExample(const std::string& name);

// The text of a random sparse net of the given size: every transition has one
// to three input and output places. Deterministic for a seed. *arcs receives
// the number of arcs (both directions).
std::string SparseNet(int places, int transitions, unsigned seed, long* arcs);

// Whether the load tests run at full size (QX_LOAD_FULL=1 in the environment).
bool FullLoad();

// A tmpfs of `bytes` bytes mounted on a fresh directory for the scope. Mounting
// needs privileges: ok() is false (and why() says why) where it is refused.
class ScopedTmpfs {
 public:
  explicit ScopedTmpfs(long bytes);
  ~ScopedTmpfs();
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

  bool ok() const { return mounted_; }
  const std::string& why() const { return why_; }
  const std::string& path() const { return dir_.path(); }
  std::string File(const std::string& name) const { return dir_.File(name); }
  // Makes the mounted file system read-only (even for root). False on failure.
  bool MakeReadOnly();

 private:
  qxtest::TempDir dir_;
  bool mounted_ = false;
  std::string why_;
};

// Fills the file system that holds dir until a write fails with ENOSPC
// (the filler file is left in place). False when it never filled.
bool FillFileSystem(const std::string& dir);

// Runs a program like qxtest::RunProgram, with its standard output on the file
// `stdout_path` opened for writing (for example "/dev/full"); standard error
// is captured.
qxtest::ChildResult RunWithStdout(const std::string& path, const std::vector<std::string>& args,
                                  const std::string& cwd, const std::string& stdout_path,
                                  int timeout_ms = 20000);

}  // namespace hardening

#endif
