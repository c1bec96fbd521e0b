// SPDX-License-Identifier: MIT
// The PEP and PROD writers and the listings: exact bytes, names, and output
// files that never end up truncated.
#include <errno.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TypePN.h"
#include "common/failing_call.h"
#include "common/previous_output.h"
#include "common/qxtest.h"
#include "net_testing.h"

namespace {

const std::string kGolden = std::string(VARNOST_DATA_DIR) + "/golden/";
const char kPepFailure[] = "erreur lors de la creation du fichier pep\n";

class Writers : public vtest::NetTest {
 protected:
  // Copies a golden net (and its reference file, if any) into a directory
  // whose name holds format directives, and reads it.
  std::string ReadGolden(const std::string& name) {
    const std::string sub = dir_.File("n%s%d");
    mkdir(sub.c_str(), 0755);
    const std::string path = sub + "/" + name;
    qxtest::WriteFile(path, qxtest::ReadFile(kGolden + name));
    if (qxtest::FileExists(kGolden + name + ".ref")) {
      qxtest::WriteFile(path + ".ref", qxtest::ReadFile(kGolden + name + ".ref"));
    }
    const auto r = vtest::ReadNet(path);
    EXPECT_EQ(r.status, 0) << r.out;
    return path;
  }

  // Writes and reads a net of `size` places and as many transitions whose Pre
  // and Post entries are all preWeight and postWeight, every place marked.
  void ReadFilledNet(const std::string& path, int size, int preWeight, int postWeight) {
    vtest::NetModel net;
    net.places = net.transitions = size;
    net.pre.assign(size, std::vector<int>(size, preWeight));
    net.post.assign(size, std::vector<int>(size, postWeight));
    net.marking.assign(size, 1);
    qxtest::WriteFile(path, net.MatrixText());
    ASSERT_EQ(vtest::ReadNet(path).status, 0);
  }

  // Converts the net at `path` in the test's directory with the varnost
  // program, as a user runs it, under a file size limit of `bytes`: the
  // writes fail for real part way through. The failure must be reported, the
  // previous output survive and no partial file remain.
  void ExpectLimitedWriteKeepsThePreviousFile(const std::string& path, rlim_t bytes) {
    qxtest::WriteFile(path + ".ll_net", qxtest::PreviousOutput());
    const auto run = qxtest::RunProgram(VARNOST_BIN, {"-s", path}, dir_.path(), 20000, [bytes] {
      const struct rlimit limit = {bytes, bytes};
      return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    });
    ASSERT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kPepFailure);
    EXPECT_TRUE(qxtest::HoldsPreviousOutput(path + ".ll_net"));
    const std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(qxtest::ListDir(dir_.path()), (std::vector<std::string>{name, name + ".ll_net"}));
  }
};

class GoldenNets : public Writers, public ::testing::WithParamInterface<const char*> {};

TEST_P(GoldenNets, PepAndProdFilesAreByteExact) {
  const std::string name = GetParam();
  const std::string path = ReadGolden(name);
  const auto pep = qxtest::CaptureOutput([&] { SauvegardePep(NomModele); });
  EXPECT_EQ(pep.out, "");
  EXPECT_EQ(pep.err, "");
  EXPECT_EQ(qxtest::ReadFile(path + ".ll_net"), qxtest::ReadFile(kGolden + name + ".ll_net"));
  const auto prod = qxtest::CaptureOutput([&] { SauvegardeProd(NomModele); });
  EXPECT_EQ(prod.out, "Sauvegarde au format Prod dans le fichier " + path + ".net\n");
  EXPECT_EQ(qxtest::ReadFile(path + ".net"), qxtest::ReadFile(kGolden + name + ".net"));
}

INSTANTIATE_TEST_SUITE_P(Nets, GoldenNets, ::testing::Values("small.mat", "refs.mat", "notrans.mat"),
                         [](const auto& info) {
                           std::string n = info.param;
                           return n.substr(0, n.find('.'));
                         });

TEST_F(Writers, ListingsOfANet) {
  ReadGolden("refs.mat");
  EXPECT_EQ(qxtest::CaptureFd(1, [] { AfficheNet(); }),
            "PRE\n3 0 0 \n1 0 0 \n0 0 0 \nPOST\n0 0 0 \n1 1 0 \n0 1 0 \nMARK\np[0] + p[2] \n");
  EXPECT_EQ(qxtest::CaptureFd(1, [] { AfficheNet2(); }),
            "Nbre de places/transitions/arcs: 3/3/5\n"
            "Transition 0\nPlaces d'entree : 0 1\nPlaces de sortie: 1\n"
            "-----------------------------\n"
            "Transition 1\nPlaces d'entree :\nPlaces de sortie: 1 2\n"
            "-----------------------------\n"
            "Transition 2\nPlaces d'entree :\nPlaces de sortie:\n"
            "-----------------------------\n"
            "Places Marquees:p[0] + p[2] \n");
}

TEST_F(Writers, ListingOfANetWithoutTransitions) {
  ReadGolden("notrans.mat");
  EXPECT_EQ(qxtest::CaptureFd(1, [] { AfficheNet2(); }),
            "Nbre de places/transitions/arcs: 2/0/0\nPlaces Marquees:p[1] \n");
}

// A name holding both quote characters cannot be written: the whole net gets
// the default names, and the warning names the node by its kind and number.
TEST_F(Writers, NameWithBothQuotesGivesDefaultNamesAndAWarning) {
  struct Case {
    const char* names;  // the reference line: places 1 and 2, then transition 1
    const char* warning;
  } cases[] = {
      {"1 a 3 b\"'c 1 t\n", "la place 2 contient \" et ': le reseau est ecrit avec les noms par defaut (nom: b\"'c)"},
      {"1 a 3 b 1 t\"'u\n",
       "la transition 1 contient \" et ': le reseau est ecrit avec les noms par defaut (nom: t\"'u)"},
  };
  const std::string path = dir_.File("q.mat");
  qxtest::WriteFile(path, "2 1 1 0 0 1 1 0");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names);
    vtest::ResetNet();
    qxtest::WriteFile(path + ".ref", std::string("refs\n1 2 3\n") + c.names);
    ASSERT_EQ(vtest::ReadNet(path).status, 0);
    const auto run = qxtest::CaptureOutput([&] { EXPECT_EQ(SauvegardePepStatut(NomModele), 0); });
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, std::string("Varnost: le nom de ") + c.warning + "\n");
    EXPECT_EQ(qxtest::ReadFile(path + ".ll_net"), qxtest::ReadFile(kGolden + "small.mat.ll_net"));
  }
}

// Node numbers past the table of composed numbers (65,535) are written as
// well as those in it: one place, 65,537 transitions, arcs to the last two.
class WidestNet : public Writers {
 protected:
  void SetUp() override {
    Writers::SetUp();
    net_.places = 1;
    net_.transitions = 65537;
    net_.pre.assign(1, std::vector<int>(65537, 0));
    net_.post = net_.pre;
    net_.pre[0][65535] = net_.pre[0][65536] = 1;
    net_.post[0][0] = 1;
    net_.marking = {1};
    path_ = dir_.File("wide.mat");
    qxtest::WriteFile(path_, net_.MatrixText());
    ASSERT_EQ(vtest::ReadNet(path_).status, 0);
  }
  vtest::NetModel net_;
  std::string path_;
};

TEST_F(WidestNet, LargestNumbersAreWritten) {
  ASSERT_EQ(SauvegardePepStatut(NomModele), 0);
  EXPECT_TRUE(vtest::SameText(qxtest::ReadFile(path_ + ".ll_net"), net_.ExpectedPep()));
}

// Memory runs out while the file is composed (the megabyte of composed
// numbers cannot be had, in a child whose address space is full): the failure
// is reported, nothing is taken for written, and the previous output stays.
TEST_F(WidestNet, MemoryExhaustedWhileWritingFails) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' reserved shadow memory leaves no room for an address space limit";
#endif
  qxtest::WriteFile(path_ + ".ll_net", qxtest::PreviousOutput());
  const auto run = qxtest::RunInChild([] {
    // Takes every free block of the allocator that could hold the table (a
    // megabyte and its terminator) until new memory had to be mapped for
    // one, then leaves room for the output's buffer only.
    constexpr size_t kTable = (size_t{1} << 20) + 1;
    for (;;) {
      const uint64_t before = vtest::MappedBytes();
      if (std::malloc(kTable) == nullptr) return 2;
      if (vtest::MappedBytes() > before) break;
    }
    if (!vtest::LimitAddressSpace(size_t{512} << 10)) return 2;
    return SauvegardePepStatut(NomModele) == 0 ? 0 : 1;
  });
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kPepFailure);
  EXPECT_TRUE(qxtest::HoldsPreviousOutput(path_ + ".ll_net"));
  EXPECT_EQ(qxtest::ListDir(dir_.path()), (std::vector<std::string>{"wide.mat", "wide.mat.ll_net"}));
}

TEST_F(Writers, UncreatableFileIsReportedAndFails) {
  qxtest::WriteFile(dir_.File("plain"), "not a directory");
  ASSERT_EQ(vtest::ReadNet(std::string(kGolden) + "small.mat").status, 0);
  const std::string inside = dir_.File("plain") + "/net.mat";
  const auto status = qxtest::CaptureOutput([&] { EXPECT_EQ(SauvegardePepStatut(inside.c_str()), -1); });
  EXPECT_EQ(status.out, kPepFailure);
  std::string copy = inside;
  EXPECT_EQ(qxtest::CaptureFd(1, [&] { SauvegardePep(copy.data()); }), kPepFailure);
  EXPECT_EQ(qxtest::CaptureFd(1, [&] { EXPECT_EQ(SauvegardeProdStatut(inside.c_str()), -1); }),
            "Sauvegarde au format Prod dans le fichier " + inside +
                ".net\nerreur lors de la creation du fichier Prod\n");
}

// Every output name the directory accepts is written, up to the longest one;
// one byte more is refused with the writer's message. The temporary file the
// output goes through must fit the same limit.
TEST_F(Writers, OutputNamesUpToTheDirectoryLimitAreWritten) {
  ASSERT_EQ(vtest::ReadNet(std::string(kGolden) + "small.mat").status, 0);
  const long nameMax = pathconf(dir_.path().c_str(), _PC_NAME_MAX);
  ASSERT_GT(nameMax, 20);
  const std::string pep = qxtest::ReadFile(kGolden + "small.mat.ll_net");
  const std::string prod = qxtest::ReadFile(kGolden + "small.mat.net");
  struct Case {
    const char* writer;
    const char* suffix;
    int (*write)(const char*);
    const std::string* content;
    const char* failure;
  } writers[] = {
      {"pep", ".ll_net", SauvegardePepStatut, &pep, kPepFailure},
      {"prod", ".net", SauvegardeProdStatut, &prod, "erreur lors de la creation du fichier Prod\n"},
  };
  for (const Case& c : writers) {
    const long suffix = static_cast<long>(std::strlen(c.suffix));
    // Final names from ten bytes below the limit (where the old temporary
    // names began to fail) up to one byte past it.
    for (long length = nameMax - 10; length <= nameMax + 1; ++length) {
      SCOPED_TRACE(std::string(c.writer) + " name of " + std::to_string(length) + " bytes");
      const std::string model = dir_.File(std::string(static_cast<size_t>(length - suffix), 'n'));
      const auto run = qxtest::CaptureOutput([&] {
        EXPECT_EQ(c.write(model.c_str()), length <= nameMax ? 0 : -1);
      });
      if (length <= nameMax) {
        EXPECT_EQ(qxtest::ReadFile(model + c.suffix), *c.content);
        ASSERT_EQ(unlink((model + c.suffix).c_str()), 0);
      } else {
        EXPECT_NE(run.out.find(c.failure), std::string::npos) << run.out;
      }
      EXPECT_TRUE(qxtest::ListDir(dir_.path()).empty());
    }
  }
}

TEST_F(Writers, TargetThatCannotBeReplacedIsLeftAlone) {
  const std::string path = dir_.File("net.mat");
  qxtest::WriteFile(path, "2 1 1 0 0 1 1 0");
  ASSERT_EQ(vtest::ReadNet(path).status, 0);
  ASSERT_EQ(mkdir((path + ".ll_net").c_str(), 0755), 0);
  EXPECT_EQ(qxtest::CaptureFd(1, [&] { EXPECT_EQ(SauvegardePepStatut(path.c_str()), -1); }),
            kPepFailure);
  EXPECT_EQ(qxtest::ListDir(dir_.path()), (std::vector<std::string>{"net.mat", "net.mat.ll_net"}));
}

TEST_F(Writers, WriteErrorKeepsThePreviousFile) {
  // A file size limit makes the writes fail for real (EFBIG) part way through
  // the file: the previous output must survive and no partial file remain.
  const std::string path = dir_.File("big.mat");
  ASSERT_NO_FATAL_FAILURE(ReadFilledNet(path, 60, 1, 0));
  ExpectLimitedWriteKeepsThePreviousFile(path, 4096);
}

// An output of several times the step at which the write-out of a replacing
// file is started early: it replaces the previous file byte for byte as a
// new file is written, and a write that fails after write-outs were started
// still keeps the previous file whole.
TEST_F(Writers, LargeOutputReplacesThePreviousFileWhole) {
  const std::string path = dir_.File("big.mat");
  ASSERT_NO_FATAL_FAILURE(ReadFilledNet(path, 1200, 1, 2));
  ASSERT_EQ(SauvegardePepStatut(NomModele), 0);
  const std::string fresh = qxtest::ReadFile(path + ".ll_net");
  ASSERT_GT(fresh.size(), size_t{21} << 20);  // past the limit below

  // Replaced by the same net: the same bytes.
  qxtest::WriteFile(path + ".ll_net", qxtest::PreviousOutput());
  ASSERT_EQ(SauvegardePepStatut(NomModele), 0);
  EXPECT_TRUE(vtest::SameText(qxtest::ReadFile(path + ".ll_net"), fresh));

  // A file size limit past the first write-out steps: the writes fail there.
  ExpectLimitedWriteKeepsThePreviousFile(path, rlim_t{20} << 20);
}

// A system call of the output's path fails for real (the kernel refuses it,
// in a child that writes the net read here). Creating the temporary file
// refused for permission leaves the writable previous file to be rewritten in
// place, whole and no longer than the new output; every other failure, a full
// disk among them, keeps the previous file as it was, reports the failure and
// leaves no temporary file.
TEST_F(Writers, RefusedCallsOfTheOutputPath) {
  struct Case {
    const char* name;
    qxtest::FailingCall call;
    int status;  // of the child: 0 written, 1 failed
  } cases[] = {
      {"temporary file refused for permission", {SYS_openat, EACCES, 2, O_CREAT | O_EXCL}, 0},
      {"temporary file refused, disk full", {SYS_openat, ENOSPC, 2, O_CREAT | O_EXCL}, 1},
      {"mode of the temporary file refused", {SYS_fchmod, EPERM}, 1},
      {"close reports a write lost on the way", {SYS_close, EIO}, 1},
  };
  const std::string path = ReadGolden("refs.mat");
  const std::string out = path + ".ll_net";
  const std::string good = qxtest::ReadFile(kGolden + "refs.mat.ll_net");
  ASSERT_GT(qxtest::PreviousOutput().size(), good.size());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::WriteFile(out, qxtest::PreviousOutput());
    struct stat before {};
    ASSERT_EQ(stat(out.c_str(), &before), 0);
    const auto run = qxtest::RunInChild([&] {
      if (!qxtest::FailCalls(c.call)) return 2;
      return SauvegardePepStatut(NomModele) == 0 ? 0 : 1;
    });
    ASSERT_TRUE(run.exited) << "signal " << run.signal;
    ASSERT_NE(run.status, 2) << "the call could not be made to fail here";
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.status == 0 ? "" : kPepFailure);
    EXPECT_TRUE(vtest::SameText(qxtest::ReadFile(out), c.status == 0 ? good : qxtest::PreviousOutput()));
    struct stat after {};
    ASSERT_EQ(stat(out.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    qxtest::ExpectNoTemporaryFile(path.substr(0, path.rfind('/')));
  }
}

// The output's mode: that of the file it replaces, else what the umask leaves
// of 0666. No temporary file stays.
TEST_F(Writers, OutputModeFollowsThePreviousFileOrTheUmask) {
  struct Case {
    const char* name;
    int previous;  // mode of the file replaced; -1: none
    mode_t mask;
    mode_t mode;
  } cases[] = {
      {"replaced file keeps its mode", 0640, 022, 0640},
      {"new file under umask 027", -1, 027, 0640},
      {"new file under umask 077", -1, 077, 0600},
  };
  const std::string path = dir_.File("net.mat");
  qxtest::WriteFile(path, "2 1 1 0 0 1 1 0");
  ASSERT_EQ(vtest::ReadNet(path).status, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unlink((path + ".ll_net").c_str());
    if (c.previous >= 0) {
      qxtest::WriteFile(path + ".ll_net", qxtest::PreviousOutput());
      ASSERT_EQ(chmod((path + ".ll_net").c_str(), static_cast<mode_t>(c.previous)), 0);
    }
    const mode_t saved = umask(c.mask);
    const int status = SauvegardePepStatut(NomModele);
    umask(saved);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(qxtest::ReadFile(path + ".ll_net"), qxtest::ReadFile(kGolden + "small.mat.ll_net"));
    struct stat info;
    ASSERT_EQ(stat((path + ".ll_net").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.mode);
    EXPECT_EQ(qxtest::ListDir(dir_.path()), (std::vector<std::string>{"net.mat", "net.mat.ll_net"}));
  }
}

}  // namespace
