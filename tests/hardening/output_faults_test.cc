// SPDX-License-Identifier: MIT
// The output cannot be written: the disk is full (from the start, or partway
// through the file), the file system is read-only, the file or its directory
// is closed to the user, standard output is /dev/full.
// The converter says so, ends with status 1, and the previous .ll_net is
// neither lost nor truncated; no temporary file is left behind.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/previous_output.h"
#include "hardening/hardening_support.h"

namespace {

using hardening::kVarnost;

const std::string& kPrevious = qxtest::PreviousOutput();
constexpr char kCreateFailed[] = "erreur lors de la creation du fichier pep\n";

using qxtest::ExpectNoTemporaryFile;

// Free space left on the full file system, in bytes: none, and less than the
// output needs so that the file fills the disk midway.
class FullDiskTest : public ::testing::TestWithParam<long> {};

TEST_P(FullDiskTest, WriteFailureIsReportedAndThePreviousOutputSurvives) {
  const std::string good = hardening::ConvertedExample("elevator_2");
  ASSERT_GT(static_cast<long>(good.size()), GetParam() + 4096);
  hardening::ScopedTmpfs fs(1 << 20);
  if (!fs.ok()) GTEST_SKIP() << fs.why();
  const std::string net = fs.File("net.mat");
  qxtest::WriteFile(net, hardening::ExampleNet("elevator_2"));
  qxtest::WriteFile(net + ".ref", hardening::ExampleRef("elevator_2"));
  qxtest::WriteFile(net + ".ll_net", kPrevious);
  ASSERT_TRUE(hardening::FillFileSystem(fs.path()));
  if (GetParam() > 0) {
    const std::string filler = fs.File("filler");
    struct stat info;
    ASSERT_EQ(stat(filler.c_str(), &info), 0);
    ASSERT_EQ(truncate(filler.c_str(), info.st_size - GetParam()), 0);
  }

  const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-s", net}, fs.path(), 20000);
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kCreateFailed);
  EXPECT_TRUE(qxtest::HoldsPreviousOutput(net + ".ll_net"));
  ExpectNoTemporaryFile(fs.path());

  // Once there is room again, the same run succeeds and replaces the file.
  ASSERT_EQ(unlink(fs.File("filler").c_str()), 0);
  const qxtest::ChildResult again = qxtest::RunProgram(kVarnost, {"-s", net}, fs.path(), 20000);
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(qxtest::ReadFile(net + ".ll_net"), good);
  ExpectNoTemporaryFile(fs.path());
}

INSTANTIATE_TEST_SUITE_P(FreeBytes, FullDiskTest, ::testing::Values(0L, 8192L));

TEST(UnwritableOutput, ReadOnlyFileSystemIsReportedAndThePreviousOutputSurvives) {
  hardening::ScopedTmpfs fs(1 << 20);
  if (!fs.ok()) GTEST_SKIP() << fs.why();
  const std::string net = fs.File("net.mat");
  qxtest::WriteFile(net, hardening::ExampleNet("peterson"));
  qxtest::WriteFile(net + ".ll_net", kPrevious);
  ASSERT_TRUE(fs.MakeReadOnly());

  const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-s", net}, fs.path(), 20000);
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kCreateFailed);
  EXPECT_TRUE(qxtest::HoldsPreviousOutput(net + ".ll_net"));
  EXPECT_EQ(qxtest::ListDir(fs.path()), (std::vector<std::string>{"net.mat", "net.mat.ll_net"}));
}

// Runs the converter as a user without privileges, for whom permission bits
// bind: the current user when the tests do not run as root, else the user
// 65534 through setpriv. Empty when neither is possible.
// `setup` runs in the child before the program starts, as RunProgram's does.
std::optional<qxtest::ChildResult> RunUnprivileged(const std::vector<std::string>& args,
                                                    const std::string& cwd,
                                                    const std::function<bool()>& setup = nullptr) {
  if (geteuid() != 0) return qxtest::RunProgram(kVarnost, args, cwd, 20000, setup);
  for (const char* setpriv : {"/usr/bin/setpriv", "/bin/setpriv"}) {
    if (access(setpriv, X_OK) != 0) continue;
    std::vector<std::string> all = {"--reuid=65534", "--regid=65534", "--clear-groups", kVarnost};
    all.insert(all.end(), args.begin(), args.end());
    return qxtest::RunProgram(setpriv, all, cwd, 20000, setup);
  }
  return std::nullopt;
}

// The .ll_net is written with the rights of a writer that opens it itself: an
// existing file the user may not write is refused and kept as it is, even in
// a directory where the user could put a new one; an existing file the user
// may write is updated in place even when the directory refuses new files.
TEST(OutputPermissions, AProtectedFileStaysAndAWritableOneIsUpdated) {
  struct Case {
    const char* name;
    mode_t dirMode;
    int fileMode;  // mode of the previous .ll_net; -1: there is none
    int status;
  } cases[] = {
      {"protected file, open directory", 0777, 0444, 1},
      {"protected file, closed directory", 0555, 0444, 1},
      {"writable file, closed directory", 0555, 0666, 0},
      {"no file, closed directory", 0555, -1, 1},
  };
  const std::string good = hardening::ConvertedExample("peterson");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::TempDir dir;
    const std::string net = dir.File("n.mat");
    const std::string out = net + ".ll_net";
    qxtest::WriteFile(net, hardening::ExampleNet("peterson"));
    qxtest::WriteFile(net + ".ref", hardening::ExampleRef("peterson"));
    struct stat before {};
    if (c.fileMode >= 0) {
      qxtest::WriteFile(out, kPrevious);
      ASSERT_EQ(chmod(out.c_str(), static_cast<mode_t>(c.fileMode)), 0);
      ASSERT_EQ(stat(out.c_str(), &before), 0);
    }
    ASSERT_EQ(chmod(dir.path().c_str(), c.dirMode), 0);

    const auto run = RunUnprivileged({"-s", net}, dir.path());
    chmod(dir.path().c_str(), 0755);
    if (!run) GTEST_SKIP() << "running as root without setpriv: no unprivileged user";
    ASSERT_FALSE(run->timed_out);
    ASSERT_TRUE(run->exited) << "signal " << run->signal;
    EXPECT_EQ(run->status, c.status) << run->err;
    EXPECT_EQ(run->out, c.status == 0 ? "" : kCreateFailed);
    if (c.fileMode < 0) {
      EXPECT_FALSE(qxtest::FileExists(out));
    } else {
      EXPECT_EQ(qxtest::ReadFile(out), c.status == 0 ? good : kPrevious);
      struct stat after {};
      ASSERT_EQ(stat(out.c_str(), &after), 0);
      EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced, not written";
      EXPECT_EQ(after.st_mode, before.st_mode);
    }
    ExpectNoTemporaryFile(dir.path());
  }
}

// A write that fails while the .ll_net is rewritten in place (its directory
// closed to new files) fails the run, as it does when the file is replaced
// through a temporary file; a replaced file is then kept as it was. Every
// write past the first 4 KiB of a file fails here (a file size limit).
TEST(OutputPermissions, AFailedWriteFailsTheRunInPlaceAsWhenReplaced) {
  const std::string good = hardening::ConvertedExample("elevator_2");
  ASSERT_GT(good.size(), 3 * 4096u);
  const auto smallFiles = [] {
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
    const struct rlimit limit = {4096, 4096};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
  };
  struct Case {
    const char* name;
    mode_t dirMode;
    bool inPlace;
  } cases[] = {
      {"replaced, open directory", 0777, false},
      {"rewritten in place, closed directory", 0555, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::TempDir dir;
    const std::string net = dir.File("n.mat");
    const std::string out = net + ".ll_net";
    qxtest::WriteFile(net, hardening::ExampleNet("elevator_2"));
    qxtest::WriteFile(net + ".ref", hardening::ExampleRef("elevator_2"));
    qxtest::WriteFile(out, kPrevious);
    ASSERT_EQ(chmod(out.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), c.dirMode), 0);

    const auto run = RunUnprivileged({"-s", net}, dir.path(), smallFiles);
    chmod(dir.path().c_str(), 0755);
    if (!run) GTEST_SKIP() << "running as root without setpriv: no unprivileged user";
    ASSERT_TRUE(run->exited) << "signal " << run->signal;
    EXPECT_EQ(run->status, 1) << run->err;
    EXPECT_EQ(run->out, kCreateFailed);
    if (!c.inPlace) {
      EXPECT_TRUE(qxtest::HoldsPreviousOutput(out));
    }
    ExpectNoTemporaryFile(dir.path());
  }
}

// Standard output on /dev/full: the converter's own output does not depend on
// it. The run converts and ends with 0, and the end lock file is created; in
// standard-output mode the commands for the host are lost with the stream,
// but the conversion, the end status and the lock file are not.
TEST(FullStandardOutput, ConversionAndEndStatusDoNotDependOnIt) {
  const std::vector<std::string> modes[] = {{"-s"}, {"-std_out", "-end_env_p"}};
  const std::string good = hardening::ConvertedExample("peterson");
  for (const auto& framework : modes) {
    SCOPED_TRACE(framework[0]);
    qxtest::TempDir dir;
    ASSERT_EQ(mkdir(dir.File("QX_MNGR").c_str(), 0755), 0);
    qxtest::WriteFile(dir.File("n.mat"), hardening::ExampleNet("peterson"));
    qxtest::WriteFile(dir.File("n.mat.ref"), hardening::ExampleRef("peterson"));
    std::vector<std::string> args = framework;
    args.push_back("n.mat");
    const qxtest::ChildResult run = hardening::RunWithStdout(kVarnost, args, dir.path(), "/dev/full");
    ASSERT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(qxtest::ReadFile(dir.File("n.mat.ll_net")), good);
    EXPECT_TRUE(qxtest::FileExists(dir.File("QX_MNGR/QX_exec_finished.lock")));
  }
  // A net that cannot be read still ends with status 1 when its message
  // cannot be printed.
  qxtest::TempDir dir;
  const qxtest::ChildResult run =
      hardening::RunWithStdout(kVarnost, {"-s", "missing.mat"}, dir.path(), "/dev/full");
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 1);
}

// Something other than a regular file stands where the .ll_net goes. A
// directory is never replaced (the run fails); a FIFO is replaced without
// ever being opened (so nothing blocks); a symbolic link is replaced by the
// file, and the file it pointed to is left as it was.
TEST(OutputPathTaken, NonRegularTargetsNeverBlockNorWriteElsewhere) {
  struct Case {
    const char* name;
    int (*make)(const char* target, const char* elsewhere);
    int status;
  } cases[] = {
      {"directory", [](const char* t, const char*) { return mkdir(t, 0755); }, 1},
      {"FIFO", [](const char* t, const char*) { return mkfifo(t, 0644); }, 0},
      {"symbolic link", [](const char* t, const char* e) { return symlink(e, t); }, 0},
  };
  const std::string good = hardening::ConvertedExample("peterson");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::TempDir dir;
    const std::string net = dir.File("n.mat");
    const std::string elsewhere = dir.File("elsewhere");
    qxtest::WriteFile(net, hardening::ExampleNet("peterson"));
    qxtest::WriteFile(net + ".ref", hardening::ExampleRef("peterson"));
    qxtest::WriteFile(elsewhere, kPrevious);
    ASSERT_EQ(c.make((net + ".ll_net").c_str(), elsewhere.c_str()), 0);

    const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-s", net}, dir.path(), 10000);
    ASSERT_FALSE(run.timed_out);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, c.status);
    struct stat info;
    ASSERT_EQ(lstat((net + ".ll_net").c_str(), &info), 0);
    if (c.status == 0) {
      EXPECT_EQ(run.out, "");
      EXPECT_TRUE(S_ISREG(info.st_mode));
      EXPECT_EQ(qxtest::ReadFile(net + ".ll_net"), good);
    } else {
      EXPECT_EQ(run.out, kCreateFailed);
      EXPECT_TRUE(S_ISDIR(info.st_mode));
    }
    EXPECT_TRUE(qxtest::HoldsPreviousOutput(elsewhere));
    ExpectNoTemporaryFile(dir.path());
  }
}

}  // namespace
