// SPDX-License-Identifier: MIT
// The matrix file and the reference file misbehave: missing, a dangling link,
// a directory, a FIFO whose writer stops midway or comes late, a reference
// file that never ends its first line. The converter never hangs on a file,
// waits in a FIFO's open for its writer as every reader does, says what went
// wrong, ends with the right status and leaves the previous .ll_net as it was.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/previous_output.h"
#include "hardening/hardening_support.h"

namespace {

using hardening::kVarnost;

const std::string& kPrevious = qxtest::PreviousOutput();

// A writer of a FIFO, in a child process: once the FIFO's reader has come it
// opens it, writes `content` and closes it. Collected
// when the object goes.
class FifoWriter {
 public:
  FifoWriter(const std::string& path, const std::string& content) {
    pid_ = qxtest::FeedFifoLater(path, content);
  }
  ~FifoWriter() { Wait(); }
  // True when the writer wrote everything; waits for it at most 5 s.
  bool Wait() {
    if (pid_ > 0) {
      const qxtest::ChildResult r = qxtest::WaitChild(pid_, 5000);
      ok_ = r.exited && r.status == 0;
      pid_ = -1;
    }
    return ok_;
  }

 private:
  pid_t pid_ = -1;
  bool ok_ = false;
};

struct InputCase {
  const char* name;
  // Prepares dir/net.mat (and net.mat.ref); the returned object lives for the
  // run.
  std::function<std::shared_ptr<void>(const qxtest::TempDir&)> prepare;
  int status;
  std::string out;  // standard output, "%p" standing for the matrix path
};

std::string WithPath(std::string text, const std::string& path) {
  const size_t at = text.find("%p");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

class InputFaultTest : public ::testing::TestWithParam<InputCase> {};

TEST_P(InputFaultTest, NeverHangsSaysWhyAndKeepsThePreviousOutput) {
  const InputCase& c = GetParam();
  qxtest::TempDir dir;
  const std::string net = dir.File("net.mat");
  qxtest::WriteFile(net + ".ll_net", kPrevious);
  auto keep = c.prepare(dir);

  const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-s", net}, dir.path(), 10000);
  ASSERT_FALSE(run.timed_out) << "the converter hung";
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.out, WithPath(c.out, net));
  EXPECT_TRUE(qxtest::HoldsPreviousOutput(net + ".ll_net"));
  qxtest::ExpectNoTemporaryFile(dir.path());
}

const std::string kPartialNet = "2\n2\n1 0\n0 1\n0 1\n";  // ends inside the Post matrix

INSTANTIATE_TEST_SUITE_P(
    MatrixFile, InputFaultTest,
    ::testing::Values(
        InputCase{"Missing", [](const qxtest::TempDir&) { return std::shared_ptr<void>(); }, 1,
                  "le fichier %p n'existe pas\n"},
        InputCase{"DanglingLink",
                  [](const qxtest::TempDir& d) {
                    EXPECT_EQ(symlink(d.File("gone.mat").c_str(), d.File("net.mat").c_str()), 0);
                    return std::shared_ptr<void>();
                  },
                  1, "le fichier %p n'existe pas\n"},
        InputCase{"Directory",
                  [](const qxtest::TempDir& d) {
                    EXPECT_EQ(mkdir(d.File("net.mat").c_str(), 0755), 0);
                    return std::shared_ptr<void>();
                  },
                  1, "erreur de format NbPlaces/NbTrans\n"},
        InputCase{"FifoWriterStopsMidway",
                  [](const qxtest::TempDir& d) {
                    EXPECT_EQ(mkfifo(d.File("net.mat").c_str(), 0644), 0);
                    return std::static_pointer_cast<void>(
                        std::make_shared<FifoWriter>(d.File("net.mat"), kPartialNet));
                  },
                  1, "erreur de format la matrice Post ligne 3\n"}),
    [](const ::testing::TestParamInfo<InputCase>& info) { return std::string(info.param.name); });

const char kSmallNet[] = "2 1 1 0 0 1 1 0";
const char kSmallPep[] =
    "PEP\nPetriBox\nFORMAT_N\nPL\n1\"P1\"50@50M1\n2\"P2\"50@50\nTR\n1\"T1\"50@50\n"
    "TP\n1<2\nPT\n1>1\n";

// A FIFO as the matrix file or the reference file, whose writer comes only
// after the converter has started: the converter waits in the open, as any
// reader of a FIFO does, and reads what the writer gives.
TEST(FifoInput, LateWriterIsWaitedForAndRead) {
  struct Case {
    const char* name;
    const char* fifo;     // which input is the FIFO
    const char* matrix;   // the regular matrix file, when the FIFO is the .ref
    const char* written;  // what the writer writes into the FIFO
    std::string pep;
  } cases[] = {
      {"matrix file", "net.mat", nullptr, kSmallNet, kSmallPep},
      {"reference file", "net.mat.ref", kSmallNet, "refs\n7 8 9\n4 idle 0 5 fire\n",
       "PEP\nPetriBox\nFORMAT_N\nPL\n1\"idle\"50@50M1\n2\"P#8\"50@50\nTR\n1\"fire\"50@50\n"
       "TP\n1<2\nPT\n1>1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::TempDir dir;
    const std::string net = dir.File("net.mat");
    if (c.matrix != nullptr) qxtest::WriteFile(net, c.matrix);
    const std::string fifo = dir.File(c.fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    FifoWriter writer(fifo, c.written);
    const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-s", net}, dir.path(), 10000);
    EXPECT_TRUE(writer.Wait());
    ASSERT_FALSE(run.timed_out);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(qxtest::ReadFile(net + ".ll_net"), c.pep);
  }
}

// A reference file whose first line holds a NUL byte or never ends (a link to
// /dev/zero, a binary file) is unusable: the net is written at once with the
// default names.
TEST(ReferenceFileFault, FirstLineWithoutEndGivesDefaultNames) {
  struct Case {
    const char* name;
    std::function<void(const std::string& ref)> make;
  } cases[] = {
      {"link to /dev/zero", [](const std::string& ref) { ASSERT_EQ(symlink("/dev/zero", ref.c_str()), 0); }},
      {"NUL in the first line",
       [](const std::string& ref) { qxtest::WriteFile(ref, std::string("ti\0tle\n1 2 3\n0 0 0\n", 18)); }},
      {"first line of 2 MiB",
       [](const std::string& ref) { qxtest::WriteFile(ref, std::string(2 << 20, 'x') + "\n1 2 3\n0 0 0\n"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::TempDir dir;
    const std::string net = dir.File("net.mat");
    qxtest::WriteFile(net, kSmallNet);
    c.make(net + ".ref");
    const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-s", net}, dir.path(), 10000);
    ASSERT_FALSE(run.timed_out) << "the converter hung on the reference file";
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(qxtest::ReadFile(net + ".ll_net"), kSmallPep);
  }
}

// A matrix file given through a pipe with a live writer (as a shell's process
// substitution gives it) is read as it arrives, however slowly.
TEST(MatrixFileFault, PipeWithLiveWriterIsRead) {
  qxtest::TempDir dir;
  const std::string net = dir.File("net.mat");
  ASSERT_EQ(mkfifo(net.c_str(), 0644), 0);
  // A reading end held here lets the writer open at once; the writer says so
  // before the converter starts, so the converter always finds it there.
  const int keep = open(net.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(keep, 0);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t writer = qxtest::StartChild([&] {
    close(ready[0]);
    const int w = open(net.c_str(), O_WRONLY);
    if (w < 0 || write(ready[1], "o", 1) != 1) return 10;
    close(ready[1]);
    usleep(100000);
    for (char c : std::string("2 1 1 0 0 1 1 0")) {
      if (write(w, &c, 1) != 1) return 11;
      usleep(5000);
    }
    return 0;
  });
  close(ready[1]);
  char byte = 0;
  pollfd p{ready[0], POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);

  const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-s", net}, dir.path(), 10000);
  const qxtest::ChildResult w = qxtest::WaitChild(writer, 5000);
  close(keep);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(w.exited && w.status == 0);
  EXPECT_EQ(qxtest::ReadFile(net + ".ll_net").substr(0, 26), "PEP\nPetriBox\nFORMAT_N\nPL\n1");
}

// The library's readers of the workspace files and of the "-obj_file" table
// treat a FIFO as every reader does: the run waits in the open for the writer,
// however late it comes, and reads what it sends (a table given through a FIFO
// is read, not lost).
TEST(LibraryInputFault, FifosAreReadFromLateWriters) {
  struct Case {
    const char* name;
    const char* fifo;
    std::string content;
    std::vector<std::string> options;
  } const cases[] = {
      {"basic information", "qx_basic_info", "linux\n/q/adm\n/q/ws\n/q/bin\n/tmp\n/q/tools\n", {}},
      {"formalism", "QX_MNGR/.formalism", "PN\n", {}},
      {"object table", "objects", "2\n1 17\n3 42\n", {"-obj_file", "objects"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::TempDir ws;
    ASSERT_EQ(mkdir(ws.File("QX_MNGR").c_str(), 0755), 0);
    qxtest::WriteFile(ws.File("qx_basic_info"), "linux\n/q/adm\n/q/ws\n/q/bin\n/tmp\n/q/tools\n");
    qxtest::WriteFile(ws.File("QX_MNGR/.formalism"), "PN\n");
    qxtest::WriteFile(ws.File("net.mat"), "2 1 1 0 0 1 1 0");
    unlink(ws.File(c.fifo).c_str());
    const pid_t writer = qxtest::FeedFifoLater(ws.File(c.fifo), c.content);
    std::vector<std::string> args = {"-std_out"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {"-end_env_p", "net.mat"});
    const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, args, ws.path(), 10000);
    const qxtest::ChildResult fed = qxtest::WaitChild(writer, 5000);
    ASSERT_FALSE(run.timed_out);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(fed.exited && fed.status == 0) << "the writer never met a reader";
    // Nothing was missing from the files: no trace, START_TOOL then END_TOOL.
    EXPECT_EQ(run.out.find("TR("), std::string::npos) << run.out;
    EXPECT_GE(run.out.size(), 12u);
    EXPECT_EQ(run.out.substr(run.out.size() - 12), "END_TOOL(0)\n");
    EXPECT_FALSE(qxtest::FileExists(ws.File("objects")));
    EXPECT_TRUE(qxtest::FileExists(ws.File("net.mat.ll_net")));
  }
}

}  // namespace
