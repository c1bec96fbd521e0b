// SPDX-License-Identifier: MIT
// Basic information and workspace paths, read from real files in a temporary
// model workspace.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "common/qxtest.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "runtime/basic_info.h"

namespace {

// The full contents of a complete qx_basic_info.
constexpr char kBasicInfo[] = "linux\n/q/adm\n/q/ws\n/q/bin\n/tmp\n/q/tools\n";

std::string RealPath(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) != nullptr ? buf : path;
}

// Runs each case with fresh basic information and standalone traces (standard
// error only), restoring the process-wide state afterwards.
class BasicInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_standalone_ = g_qxStandalone;
    saved_started_ = g_qxStartedByQuarnel;
    qx::ResetBasicInfoForTesting();
    g_qxStandalone = kQx_True;
    g_qxStartedByQuarnel = kQx_False;
    g_qxErrno = kQx_NoErr;
  }
  void TearDown() override {
    qx::ResetBasicInfoForTesting();
    g_qxStandalone = saved_standalone_;
    g_qxStartedByQuarnel = saved_started_;
    g_qxErrno = kQx_NoErr;
  }

  void Write(const std::string& name, const std::string& content) {
    qxtest::WriteFile(dir_.File(name), content);
  }
  void WriteFormalism(const std::string& content) {
    mkdir(dir_.File("QX_MNGR").c_str(), 0755);
    Write("QX_MNGR/.formalism", content);
  }

  // Reads the basic information in the temporary workspace; returns what was
  // written on standard error.
  std::string Read() {
    qxtest::ScopedChdir in(dir_.path());
    return qxtest::CaptureFd(2, [] { QxEnvReadBasicInfo(); });
  }

  // The path an operation composes, and what it wrote on standard error.
  struct Composed {
    std::string path;
    std::string err;
  };
  static Composed Compose(void (*op)(char*)) {
    Composed c;
    char path[kQx_PathCapacity];
    path[0] = 'x';
    path[1] = '\0';
    c.err = qxtest::CaptureFd(2, [&] { op(path); });
    c.path = path;
    return c;
  }

  qxtest::TempDir dir_;

 private:
  QxBoolean saved_standalone_ = kQx_False;
  QxBoolean saved_started_ = kQx_False;
};

std::string TraceLine(const std::string& text) { return "#(Varnost):" + text + "\n"; }

TEST_F(BasicInfoTest, CompleteWorkspaceGivesTheThreePaths) {
  Write("qx_basic_info", kBasicInfo);
  WriteFormalism("PN\nignored\n");
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(QxErrno(), kQx_NoErr);

  EXPECT_EQ(Compose(QxEnvGetModelWorkSpacePath).path, RealPath(dir_.path()) + "/");
  EXPECT_EQ(Compose(QxEnvGetMainWorkSpacePath).path, "/q/ws/GWS_MIRLAN/");
  EXPECT_EQ(Compose(QxEnvGetToolPath).path, "/q/tools/PN/linux/MIRLAN/");
  EXPECT_EQ(QxErrno(), kQx_NoErr);
  EXPECT_STREQ(g_qxOSDirectoryName, "linux");
  EXPECT_STREQ(g_qxGlobalAdminData, "/q/adm/");
  EXPECT_STREQ(g_qxExecutables, "/q/bin/");
  EXPECT_STREQ(g_qxTmpData, "/tmp/");
  EXPECT_STREQ(g_qxFormalismName, "PN");
}

TEST_F(BasicInfoTest, LastLinesWithoutNewlineKeepAllTheirCharacters) {
  Write("qx_basic_info", "linux\n/q/adm\n/q/ws\n/q/bin\n/tmp\n/q/tools");
  WriteFormalism("PN");
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(Compose(QxEnvGetToolPath).path, "/q/tools/PN/linux/MIRLAN/");
}

TEST_F(BasicInfoTest, ShortFileSetsTheLinesReadAndStopsThere) {
  Write("qx_basic_info", "linux\n/q/adm\n/q/ws\n");
  WriteFormalism("PN\n");
  EXPECT_EQ(Read(), TraceLine("Qx EnvReadBasicInfo: Could not read line Executables of qx_basic_info"));
  EXPECT_STREQ(g_qxOSDirectoryName, "linux");
  EXPECT_STREQ(g_qxGlobalAdminData, "/q/adm/");
  EXPECT_STREQ(g_qxMainWorkSpace, "/q/ws/");
  EXPECT_EQ(g_qxExecutables, nullptr);
  EXPECT_EQ(g_qxTools, nullptr);
  EXPECT_EQ(g_qxFormalismName, nullptr);  // the formalism file is not read

  const Composed tool = Compose(QxEnvGetToolPath);
  EXPECT_EQ(tool.path, "");
  EXPECT_EQ(tool.err, TraceLine("Qx EnvGetToolPath:g_qxTools==NULL"));
  EXPECT_EQ(QxErrno(), kQx_InternalErr);
  EXPECT_EQ(Compose(QxEnvGetMainWorkSpacePath).path, "/q/ws/GWS_MIRLAN/");
}

TEST_F(BasicInfoTest, MissingBasicInfoSetsPlaceholdersAndTracesOnlyForTheHost) {
  for (QxBoolean started : {kQx_False, kQx_True}) {
    SCOPED_TRACE(started ? "started by the host" : "run by hand");
    qx::ResetBasicInfoForTesting();
    g_qxStartedByQuarnel = started;
    WriteFormalism("PN\n");  // present, yet not read without qx_basic_info
    EXPECT_EQ(Read(), started ? TraceLine("Qx EnvReadBasicInfo: Could not fopen file 'qx_basic_info'")
                              : "");
    EXPECT_STREQ(g_qxOSDirectoryName, "OSDirectoryName a faire/");
    EXPECT_STREQ(g_qxGlobalAdminData, "GlobalAdminData a faire/");
    EXPECT_STREQ(g_qxExecutables, "Executables a faire/");
    EXPECT_STREQ(g_qxTmpData, "TmpData a faire/");
    EXPECT_STREQ(g_qxTools, "Tools a faire/");
    EXPECT_EQ(g_qxFormalismName, nullptr);
    EXPECT_EQ(Compose(QxEnvGetMainWorkSpacePath).path, "MainWorkSpace a faire/GWS_MIRLAN/");
    EXPECT_EQ(Compose(QxEnvGetToolPath).err, TraceLine("Qx EnvGetToolPath:g_qxFormalismName==NULL"));
    EXPECT_EQ(QxErrno(), kQx_InternalErr);
    g_qxErrno = kQx_NoErr;
  }
}

TEST_F(BasicInfoTest, FormalismFileFailures) {
  struct Case {
    const char* name;
    bool present;
    QxBoolean started;
    const char* trace;
  } const cases[] = {
      {"missing, run by hand", false, kQx_False, ""},
      {"missing, started by the host", false, kQx_True,
       "#(Varnost):Qx EnvReadBasicInfo: Could not fopen file 'QX_MNGR/.formalism'\n"},
      {"empty, run by hand", true, kQx_False,
       "#(Varnost):Qx EnvReadBasicInfo: Could not read line FormalismName of QX_MNGR/.formalism\n"},
  };
  Write("qx_basic_info", kBasicInfo);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qx::ResetBasicInfoForTesting();
    g_qxStartedByQuarnel = c.started;
    if (c.present) WriteFormalism("");
    EXPECT_EQ(Read(), c.trace);
    EXPECT_EQ(g_qxFormalismName, nullptr);
    EXPECT_STREQ(g_qxTools, "/q/tools/");
    EXPECT_EQ(Compose(QxEnvGetToolPath).path, "");
  }
}

TEST_F(BasicInfoTest, RootDirectoryGivesDoubleSlash) {
  {
    qxtest::ScopedChdir in("/");
    qxtest::CaptureFd(2, [] { QxEnvReadBasicInfo(); });
  }
  EXPECT_EQ(Compose(QxEnvGetModelWorkSpacePath).path, "//");
}

TEST_F(BasicInfoTest, VanishedWorkingDirectorySetsNothing) {
  const std::string gone = dir_.File("gone");
  ASSERT_EQ(mkdir(gone.c_str(), 0755), 0);
  std::string err;
  {
    qxtest::ScopedChdir in(gone);
    ASSERT_EQ(rmdir(gone.c_str()), 0);
    err = qxtest::CaptureFd(2, [] { QxEnvReadBasicInfo(); });
  }
  EXPECT_EQ(err, TraceLine("Qx EnvReadBasicInfo: getcwd error"));
  EXPECT_EQ(g_qxModelWorkSpace, nullptr);
  EXPECT_EQ(g_qxOSDirectoryName, nullptr);
  const Composed model = Compose(QxEnvGetModelWorkSpacePath);
  EXPECT_EQ(model.path, "");
  EXPECT_EQ(model.err, "");
  EXPECT_EQ(QxErrno(), kQx_InternalErr);
}

TEST_F(BasicInfoTest, PathOperationsBeforeReadingAndWithNullBuffers) {
  struct Case {
    void (*op)(char*);
    const char* unsetTrace;  // before reading ("" when silent)
    const char* nullTrace;
  } const cases[] = {
      {QxEnvGetModelWorkSpacePath, "", "Qx EnvGetModelWorkSpacePath:path==NULL"},
      {QxEnvGetMainWorkSpacePath, "Qx EnvGetMainWorkspacePath:g_qxMainWorkSpace==NULL",
       "Qx EnvGetMainWorkspacePath:path==NULL"},
      {QxEnvGetToolPath, "Qx EnvGetToolPath:g_qxTools==NULL", "Qx EnvGetToolPath:path==NULL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nullTrace);
    g_qxErrno = kQx_NoErr;
    const Composed unset = Compose(c.op);
    EXPECT_EQ(unset.path, "");
    EXPECT_EQ(unset.err, *c.unsetTrace ? TraceLine(c.unsetTrace) : "");
    EXPECT_EQ(QxErrno(), kQx_InternalErr);

    g_qxErrno = kQx_NoErr;
    EXPECT_EQ(qxtest::CaptureFd(2, [&] { c.op(nullptr); }), TraceLine(c.nullTrace));
    EXPECT_EQ(QxErrno(), kQx_ParamErr);
  }
}

TEST_F(BasicInfoTest, PathsThatWouldNotFitAreRefusedNotCut) {
  // main workspace + "/" + "GWS_MIRLAN/" is 12 bytes longer than its line.
  struct Case {
    size_t mainLength;
    bool fits;
  } const cases[] = {{4083, true}, {4084, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mainLength);
    qx::ResetBasicInfoForTesting();
    g_qxErrno = kQx_NoErr;
    const std::string mainDir = "/" + std::string(c.mainLength - 1, 'm');
    Write("qx_basic_info", "linux\n/q/adm\n" + mainDir + "\n/q/bin\n/tmp\n/q/tools\n");
    EXPECT_EQ(Read(), "");
    const Composed composed = Compose(QxEnvGetMainWorkSpacePath);
    if (c.fits) {
      EXPECT_EQ(composed.path, mainDir + "/GWS_MIRLAN/");
      EXPECT_EQ(composed.err, "");
      EXPECT_EQ(QxErrno(), kQx_NoErr);
    } else {
      EXPECT_EQ(composed.path, "");
      EXPECT_EQ(composed.err, TraceLine("Qx EnvGetMainWorkspacePath:path of 4096 bytes longer than 4095"));
      EXPECT_EQ(QxErrno(), kQx_ParamErr);
    }
  }
}

TEST_F(BasicInfoTest, LineLongerThanTheLineBufferIsNotTakenInPart) {
  // A line of 4094 characters and its newline fill the line buffer exactly;
  // one character more would leave a head and shift every later line. A last
  // line has no newline to hold, so it may have 4095 characters.
  struct Case {
    const char* what;
    size_t length;  // of the main workspace line, or of the tools line
    bool last;      // the tools line, last of the file, without a newline
    bool whole;
  } const cases[] = {
      {"4094 characters and a newline", 4094, false, true},
      {"4095 characters and a newline", 4095, false, false},
      {"last line of 4095 characters", 4095, true, true},
      {"last line of 4096 characters", 4096, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qx::ResetBasicInfoForTesting();
    const std::string value = "/" + std::string(c.length - 1, 'w');
    Write("qx_basic_info", c.last ? "linux\n/q/adm\n/q/ws\n/q/bin\n/tmp\n" + value
                                  : "linux\n/q/adm\n" + value + "\n/q/bin\n/tmp\n/q/tools\n");
    const std::string err = Read();
    const char* read = c.last ? g_qxTools : g_qxMainWorkSpace;
    if (c.whole) {
      EXPECT_EQ(err, "");
      ASSERT_NE(read, nullptr);
      EXPECT_EQ(std::string(read), value + "/");
      EXPECT_STREQ(g_qxTools, c.last ? (value + "/").c_str() : "/q/tools/");
    } else {
      EXPECT_EQ(err, TraceLine(std::string("Qx EnvReadBasicInfo: Could not read line ") +
                               (c.last ? "Tools" : "MainWorkSpace") + " of qx_basic_info"));
      EXPECT_EQ(read, nullptr);
      EXPECT_EQ(g_qxTools, nullptr);
    }
  }
}

// Both files may be FIFOs whose writers come late: each open waits for its
// writer and the run reads what it sends.
TEST_F(BasicInfoTest, FifosAreReadFromTheirWriters) {
  mkdir(dir_.File("QX_MNGR").c_str(), 0755);
  const pid_t info = qxtest::FeedFifoLater(dir_.File("qx_basic_info"), kBasicInfo);
  const pid_t formalism = qxtest::FeedFifoLater(dir_.File("QX_MNGR/.formalism"), "PN\n");
  std::string err;
  {
    qxtest::Watchdog watchdog(10);
    err = Read();
  }
  for (pid_t writer : {info, formalism}) {
    const qxtest::ChildResult fed = qxtest::WaitChild(writer, 5000);
    EXPECT_TRUE(fed.exited && fed.status == 0) << "a writer never met its reader";
  }
  EXPECT_EQ(err, "");
  EXPECT_EQ(Compose(QxEnvGetToolPath).path, "/q/tools/PN/linux/MIRLAN/");
  EXPECT_EQ(Compose(QxEnvGetMainWorkSpacePath).path, "/q/ws/GWS_MIRLAN/");
}

}  // namespace
