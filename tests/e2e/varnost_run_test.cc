// SPDX-License-Identifier: MIT
// The real varnost binary as the environment runs it, in a real temporary
// model workspace: standalone, over standard output, over a FIFO pair through
// the host stand-in, and the runs that stop at the command line.
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

const std::string kVarnost = QX_VARNOST_BIN;
const char kStartPrefix[] = "START_TOOL(1:C,2,1,2,6,2,3,7:Varnost,3:1.1,";

class VarnostRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kVarnost.empty()) GTEST_SKIP() << "varnost is not part of this build";
    for (const char* name : {"peterson.mat", "peterson.mat.ref"}) {
      qxtest::WriteFile(workspace_.File(name),
                        qxtest::ReadFile(std::string(QX_EXAMPLES_DIR) + "/" + name));
    }
  }

  qxtest::ChildResult Run(const std::vector<std::string>& args) {
    return qxtest::RunProgram(kVarnost, args, workspace_.path());
  }

  // The text of the PEP file written for the example net, or "" when none.
  std::string PepFile() const {
    const std::string path = workspace_.File("peterson.mat.ll_net");
    return qxtest::FileExists(path) ? qxtest::ReadFile(path) : "";
  }

  e2e::Workspace workspace_;
};

// Lines of a text, without their newlines.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

TEST_F(VarnostRun, Standalone) {
  const qxtest::ChildResult run = Run({"-s", "peterson.mat"});
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find("START_TOOL"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("END_TOOL"), std::string::npos) << run.out;
  EXPECT_TRUE(PepFile().starts_with("PEP\nPetriBox\nFORMAT_N\n"));
  EXPECT_TRUE(qxtest::FileExists(workspace_.LockFile()));
}

// Commands are lines of standard output, START_TOOL first and END_TOOL last;
// the empty end lock file follows the flush (the host stand-in checks the
// order: the file must not exist before END_TOOL is on standard output).
TEST_F(VarnostRun, StandardOutputMode) {
  const qxtest::ChildResult run = Run({"-std_out", "-end_env_p", "-m", "peterson.mat"});
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_GE(lines.size(), 2u) << run.out;
  EXPECT_TRUE(lines.front().starts_with(kStartPrefix)) << run.out;
  EXPECT_EQ(lines.back(), "END_TOOL(0)");
  EXPECT_EQ(qxtest::ReadFile(workspace_.LockFile()), "");
  EXPECT_TRUE(PepFile().starts_with("PEP\nPetriBox\nFORMAT_N\n"));

  ::unlink(workspace_.LockFile().c_str());
  const qxtest::ChildResult host =
      e2e::RunHost(workspace_, {"--std-out"}, kVarnost, {"peterson.mat"});
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_TRUE(host.out.ends_with("END_TOOL(0)\n")) << host.out;
}

// Over a FIFO pair: each command one frame, the handshake around the run.
TEST_F(VarnostRun, FifoModeThroughTheHost) {
  const qxtest::ChildResult host = e2e::RunHost(workspace_, {}, kVarnost, {"peterson.mat"});
  ASSERT_TRUE(host.exited);
  EXPECT_EQ(host.status, 0) << host.err;
  const std::vector<std::string> lines = Lines(host.out);
  ASSERT_EQ(lines.size(), 2u) << host.out;
  EXPECT_TRUE(lines[0].starts_with(kStartPrefix)) << host.out;
  EXPECT_EQ(lines[1], "END_TOOL(0)");
  EXPECT_TRUE(PepFile().starts_with("PEP\nPetriBox\nFORMAT_N\n"));
  // No lock file outside standard-output mode.
  EXPECT_FALSE(qxtest::FileExists(workspace_.LockFile()));
}

TEST_F(VarnostRun, NetThatCannotBeRead) {
  const qxtest::ChildResult host = e2e::RunHost(workspace_, {}, kVarnost, {"missing.mat"});
  EXPECT_EQ(host.status, 3) << host.err;
  EXPECT_TRUE(host.out.ends_with("\nEND_TOOL(2)\n")) << host.out;
  EXPECT_NE(host.err.find("tool exited with status 1"), std::string::npos) << host.err;

  const qxtest::ChildResult run = Run({"-std_out", "-end_env_p", "missing.mat"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.ends_with("END_TOOL(2)\n")) << run.out;
  EXPECT_TRUE(qxtest::FileExists(workspace_.LockFile()));
}

TEST_F(VarnostRun, VersionAndKitName) {
  const qxtest::ChildResult version = Run({"-version", "-s", "peterson.mat"});
  EXPECT_EQ(version.status, 0);
  const std::vector<std::string> lines = Lines(version.out);
  ASSERT_EQ(lines.size(), 2u) << version.out;
  EXPECT_TRUE(lines[0].starts_with("Varnost 1.1 [") && lines[0].ends_with("]")) << lines[0];
  EXPECT_EQ(lines[1], "DataMngr 2.1 EnvCom 2.6 UsrInterf 2.3 Tools 3.5");
  EXPECT_EQ(version.err, "");

  const qxtest::ChildResult kit = Run({"-kit_name"});
  EXPECT_EQ(kit.status, 0);
  EXPECT_EQ(kit.out, "MIRLAN\n");
  // Neither runs the service nor ends a run.
  EXPECT_EQ(PepFile(), "");
  EXPECT_FALSE(qxtest::FileExists(workspace_.LockFile()));
}

// Runs that stop at the command line: the reason, then every argument listed
// on standard error, status 1, and nothing of a run (no service, no lock file).
TEST_F(VarnostRun, CommandLineErrors) {
  const qxtest::ChildResult bare = Run({});
  EXPECT_EQ(bare.status, 1);
  EXPECT_EQ(bare.err, "standalone usage " + kVarnost +
                          " -version | -kit_name | -s [your parameters]\nargv[0] = " + kVarnost +
                          "\n");

  const qxtest::ChildResult language = Run({"-language", "x", "-s", "peterson.mat"});
  EXPECT_EQ(language.status, 1);
  EXPECT_EQ(language.err, "Waiting for 'ENGLISH' or 'FRENCH' found 'x'\nargv[0] = " + kVarnost +
                              "\nargv[1] = -language\nargv[2] = x\nargv[3] = -s\n"
                              "argv[4] = peterson.mat\n");
  EXPECT_EQ(PepFile(), "");
  EXPECT_FALSE(qxtest::FileExists(workspace_.LockFile()));
}

// "-s" alone: the service gets only its empty program name, prints its usage
// and ends on error.
TEST_F(VarnostRun, MarkerAlone) {
  const qxtest::ChildResult run = Run({"-s"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("usage"), std::string::npos) << run.out;
  EXPECT_TRUE(qxtest::FileExists(workspace_.LockFile()));
}

}  // namespace
