// The matrix file and the reference file misbehave: missing, a dangling link,
// a directory, a FIFO with no writer, a FIFO whose writer stops midway. The
// converter never hangs, says what went wrong, ends with the right status and
// leaves the previous .ll_net as it was.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hardening/hardening_support.h"
#include "quarnel/QXCLSend.h"
#include "runtime/basic_info.h"

namespace {

using hardening::kVarnost;

constexpr char kPrevious[] = "previous good output\n";

// A FIFO holding `content` whose writing end is already closed: the pipe
// stays alive through a reading end that this object keeps, so the converter
// reads the content and then the end of the stream, whatever the timing.
class FilledFifo {
 public:
  FilledFifo(const std::string& path, const std::string& content) {
    EXPECT_EQ(mkfifo(path.c_str(), 0644), 0);
    keep_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int w = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    EXPECT_GE(keep_, 0);
    EXPECT_GE(w, 0);
    EXPECT_EQ(write(w, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(w);
  }
  ~FilledFifo() { close(keep_); }

 private:
  int keep_ = -1;
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
  EXPECT_EQ(qxtest::ReadFile(net + ".ll_net"), kPrevious);
  for (const std::string& name : hardening::ListDir(dir.path())) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << "temporary file left: " << name;
  }
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
                  1, "le fichier %p n'existe pas\n"},
        InputCase{"FifoWithoutWriter",
                  [](const qxtest::TempDir& d) {
                    EXPECT_EQ(mkfifo(d.File("net.mat").c_str(), 0644), 0);
                    return std::shared_ptr<void>();
                  },
                  1, "erreur de format NbPlaces/NbTrans\n"},
        InputCase{"FifoWriterStopsMidway",
                  [](const qxtest::TempDir& d) {
                    return std::static_pointer_cast<void>(
                        std::make_shared<FilledFifo>(d.File("net.mat"), kPartialNet));
                  },
                  1, "erreur de format la matrice Post ligne 3\n"}),
    [](const ::testing::TestParamInfo<InputCase>& info) { return std::string(info.param.name); });

// A reference file that is a FIFO without a writer is a faulty reference
// file: the net is written with the default names, at once.
TEST(ReferenceFileFault, FifoWithoutWriterGivesDefaultNames) {
  qxtest::TempDir dir;
  const std::string net = dir.File("net.mat");
  qxtest::WriteFile(net, "2 1 1 0 0 1 1 0");
  ASSERT_EQ(mkfifo((net + ".ref").c_str(), 0644), 0);
  const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-s", net}, dir.path(), 10000);
  ASSERT_FALSE(run.timed_out) << "the converter hung on the reference FIFO";
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(qxtest::ReadFile(net + ".ll_net"),
            "PEP\nPetriBox\nFORMAT_N\nPL\n1\"P1\"50@50M1\n2\"P2\"50@50\nTR\n1\"T1\"50@50\n"
            "TP\n1<2\nPT\n1>1\n");
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

// The library's readers of the workspace files, of the "-obj_file" table and
// of the error-message files never hang on a FIFO without a writer either: the
// run goes on as with an empty file.
TEST(LibraryInputFault, FifosWithoutWriterNeverHangTheRun) {
  struct Case {
    const char* name;
    const char* fifo;
    std::vector<std::string> options;
  } cases[] = {
      {"basic information", "qx_basic_info", {}},
      {"formalism", "QX_MNGR/.formalism", {}},
      {"object table", "objects", {"-obj_file", "objects"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::TempDir ws;
    ASSERT_EQ(mkdir(ws.File("QX_MNGR").c_str(), 0755), 0);
    qxtest::WriteFile(ws.File("qx_basic_info"), "linux\n/q/adm\n/q/ws\n/q/bin\n/tmp\n/q/tools\n");
    qxtest::WriteFile(ws.File("QX_MNGR/.formalism"), "PN\n");
    qxtest::WriteFile(ws.File("net.mat"), "2 1 1 0 0 1 1 0");
    unlink(ws.File(c.fifo).c_str());
    ASSERT_EQ(mkfifo(ws.File(c.fifo).c_str(), 0644), 0);
    std::vector<std::string> args = {"-std_out"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {"-end_env_p", "net.mat"});
    const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, args, ws.path(), 10000);
    ASSERT_FALSE(run.timed_out) << "the run hung on the FIFO";
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_GE(run.out.size(), 12u);
    EXPECT_EQ(run.out.substr(run.out.size() - 12), "END_TOOL(0)\n");
    EXPECT_TRUE(qxtest::FileExists(ws.File("net.mat.ll_net")));
  }
  qxtest::TempDir main;
  ASSERT_EQ(mkdir(main.File("GWS_MIRLAN").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(main.File("GWS_MIRLAN/erreur.0").c_str(), 0644), 0);
  const qxtest::ChildResult lookup = qxtest::RunInChild(
      [&] {
        g_qxMainWorkSpace = strdup((main.path() + "/").c_str());
        static char message[kQx_ErrorMessageCapacity];
        if (QxOldGetMessErreur(3, message) != 0) return 1;
        return std::string(message).rfind("Qx OldGetMessErreur:Message 3 is empty", 0) == 0 ? 0 : 2;
      },
      10000);
  EXPECT_FALSE(lookup.timed_out) << "the message lookup hung on the FIFO";
  EXPECT_TRUE(lookup.exited && lookup.status == 0) << lookup.status;
}

}  // namespace
