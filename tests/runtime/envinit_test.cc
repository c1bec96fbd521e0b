// SPDX-License-Identifier: MIT
// The framework's command line: results, mode flags and messages of QxEnvInit,
// the object table option, and the host channel over a real FIFO pair. Every
// case runs in a child process, since QxEnvInit sets process-wide state.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/qxtest.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXModel.h"
#include "runtime/env_state.h"

namespace {

// Mutable copies of the arguments, as a process gets them.
class Argv {
 public:
  explicit Argv(const std::vector<std::string>& args) {
    for (const std::string& arg : args) storage_.emplace_back(arg.begin(), arg.end());
    for (auto& arg : storage_) {
      arg.push_back('\0');
      pointers_.push_back(arg.data());
    }
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::vector<char>> storage_;
  std::vector<char*> pointers_;
};

// Runs QxEnvInit in a child; its standard output holds one line with the
// result and the settings it left.
qxtest::ChildResult RunEnvInit(const std::vector<std::string>& args) {
  return qxtest::RunInChild([&] {
    Argv argv(args);
    const int result = QxEnvInit(argv.argc(), argv.argv());
    std::printf("result=%d stdout=%d standalone=%d started=%d stt=%d sendfile=%d fifo=%d lang=%d user=%s\n",
                result, g_qxStdOut, g_qxStandalone, g_qxStartedByQuarnel, g_qxSTT_MSG_Allowed,
                g_qxSEND_KORA_FILE_Allowed, g_qxOnFifo, g_qxLanguage,
                g_qxUserName != nullptr ? g_qxUserName : "(null)");
    return 0;
  });
}

std::string Settings(int result, const char* flags, int lang = 0, const char* user = "(null)") {
  // flags: six digits, stdout standalone started stt sendfile fifo.
  char line[256];
  std::snprintf(line, sizeof line,
                "result=%d stdout=%c standalone=%c started=%c stt=%c sendfile=%c fifo=%c lang=%d user=%s\n",
                result, flags[0], flags[1], flags[2], flags[3], flags[4], flags[5], lang, user);
  return line;
}

struct EnvInitCase {
  const char* name;
  std::vector<std::string> args;
  std::string settings;  // what the child printed
  std::string err;       // standard error, exactly
};

class EnvInitTable : public ::testing::TestWithParam<EnvInitCase> {};

TEST_P(EnvInitTable, ResultFlagsAndMessage) {
  const EnvInitCase& c = GetParam();
  const qxtest::ChildResult child = RunEnvInit(c.args);
  ASSERT_TRUE(child.exited) << child.err;
  EXPECT_EQ(child.out, c.settings);
  EXPECT_EQ(child.err, c.err);
}

const char kTooFew2[] = "There is too few parameters (2).\n";

INSTANTIATE_TEST_SUITE_P(
    CommandLines, EnvInitTable,
    ::testing::Values(
        EnvInitCase{"Empty", {}, Settings(-99, "110000"), ""},
        EnvInitCase{"ProgramOnly", {"tool"}, Settings(0, "000000"),
                    "standalone usage tool -version | -kit_name | -s [your parameters]\n"},
        EnvInitCase{"Version", {"tool", "-version", "-s"}, Settings(-1, "000000"), ""},
        EnvInitCase{"KitName", {"tool", "-kit_name"}, Settings(-2, "000000"), ""},
        EnvInitCase{"VersionLaterIsSkipped", {"tool", "-x", "-version", "-s"},
                    Settings(3, "110000"), ""},
        EnvInitCase{"Standalone", {"tool", "-s", "a", "b"}, Settings(1, "110000"), ""},
        EnvInitCase{"OptionsAfterMarkerAreTheTools", {"tool", "-s", "-std_out", "-language", "x"},
                    Settings(1, "110000"), ""},
        EnvInitCase{"StdOut", {"tool", "-std_out", "-end_env_p", "f"}, Settings(2, "101000"), ""},
        EnvInitCase{"StdOutWithoutMarker", {"tool", "-std_out"}, Settings(0, "101000"), kTooFew2},
        EnvInitCase{"UnknownOnly", {"tool", "-x"}, Settings(0, "000000"), kTooFew2},
        EnvInitCase{"NearMissesMatchNothing", {"tool", "-ss", "-S", "-std_outx", "-end_env_p"},
                    Settings(4, "000000"), ""},
        EnvInitCase{"HostOnFifoAndFiles",
                    {"tool", "-framwrk_on_fifo", "-send_kora_file_allowed", "-end_env_p"},
                    Settings(3, "001011"), ""},
        EnvInitCase{"WaitingMessages", {"tool", "-stt_msg_allowed", "-s"}, Settings(2, "110100"), ""},
        EnvInitCase{"UserName", {"tool", "-u_name", "ann", "-s"}, Settings(3, "110000", 0, "ann"), ""},
        EnvInitCase{"UserNameWithoutValue", {"tool", "-u_name"}, Settings(0, "000000"), kTooFew2},
        EnvInitCase{"French", {"tool", "-language", "FRENCH", "-s"}, Settings(3, "110000", 1), ""},
        EnvInitCase{"English", {"tool", "-language", "ENGLISH", "-end_env_p"},
                    Settings(3, "000000", 0), ""},
        EnvInitCase{"LanguageIsCaseSensitive", {"tool", "-language", "french", "-s"},
                    Settings(0, "000000"), "Waiting for 'ENGLISH' or 'FRENCH' found 'french'\n"},
        // A value is never taken as a format.
        EnvInitCase{"LanguageValueIsNoFormat", {"tool", "-language", "%s%n", "-s"},
                    Settings(0, "000000"), "Waiting for 'ENGLISH' or 'FRENCH' found '%s%n'\n"},
        EnvInitCase{"LanguageLastWithoutMarker", {"tool", "-language", "FRENCH"},
                    Settings(0, "000000", 1), "There is too few parameters (3).\n"},
        EnvInitCase{"FifoWithOneValue", {"tool", "-fifo_in_out", "a"}, Settings(0, "000000"),
                    "There is too few parameters (3).\n"},
        EnvInitCase{"ObjFileWithoutValue", {"tool", "-std_out", "-obj_file"},
                    Settings(0, "101000"), "There is too few parameters (3).\n"}),
    [](const ::testing::TestParamInfo<EnvInitCase>& info) { return std::string(info.param.name); });

TEST(EnvInit, ObjectTableFileIsReadAndConsumed) {
  qxtest::TempDir dir;
  const std::string table = dir.File("objects");
  qxtest::WriteFile(table, "2\n1 17\n3 42\n");
  const qxtest::ChildResult child = qxtest::RunInChild([&] {
    Argv argv({"tool", "-obj_file", table, "-s"});
    const int result = QxEnvInit(argv.argc(), argv.argv());
    int page = -1;
    QxObjectID number = 0;
    GetObjectInfo(1, &page, &number);
    std::printf("%d %d %d %lu\n", result, GetObjectsNbr(), page, static_cast<unsigned long>(number));
    return 0;
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.out, "3 2 3 42\n");
  EXPECT_FALSE(qxtest::FileExists(table));
}

// A FIFO pair that does not exist: the open is traced, then the "###" line
// with the same code, and the result is 0. Before any channel the trace's TR
// command goes to standard output when "-std_out" came first.
TEST(EnvInit, FifoChannelThatCannotBeOpened) {
  qxtest::TempDir dir;
  const std::string in = dir.File("missing/in");
  const std::string out = dir.File("missing/out");
  const qxtest::ChildResult child = qxtest::RunInChild([&] {
    Argv argv({"tool", "-std_out", "-fifo_in_out", in, out, "-end_env_p"});
    const int result = QxEnvInit(argv.argc(), argv.argv());
    std::printf("result=%d errno=%ld\n", result, static_cast<long>(QxErrno()));
    std::printf("records=%d\n", g_qxPDefaultInputChannelIOParams != nullptr ||
                                    g_qxPDefaultOutputChannelIOParams != nullptr);
    return 0;
  });
  ASSERT_TRUE(child.exited);
  long code = 0;
  const size_t at = child.out.find("result=");
  ASSERT_NE(at, std::string::npos) << child.out;
  ASSERT_EQ(std::sscanf(child.out.c_str() + at, "result=0 errno=%ld", &code), 1) << child.out;
  EXPECT_LT(code, 0);
  const std::string trace = "Qx EnvInit: Qx OpenChannel: QxErrno=" + std::to_string(code);
  EXPECT_NE(child.err.find("#(Varnost):" + trace + "\n"), std::string::npos) << child.err;
  EXPECT_TRUE(child.err.ends_with("### " + trace + "\n")) << child.err;
  EXPECT_NE(child.out.find("TR(" + std::to_string(trace.size()) + ":" + trace + ")\n"),
            std::string::npos)
      << child.out;
  EXPECT_NE(child.out.find("records=0"), std::string::npos);
}

// Reads one frame (8-byte native length, then the text) from fd.
std::string ReadFrame(int fd) {
  int64_t length = 0;
  if (::read(fd, &length, sizeof length) != static_cast<ssize_t>(sizeof length)) return "<eof>";
  if (length <= 0 || length > 4096) return "<bad length>";
  std::string text(static_cast<size_t>(length), '\0');
  size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n <= 0) return "<cut>";
    got += static_cast<size_t>(n);
  }
  return text;
}

// With a real FIFO pair and a peer, the default requests become current: a
// command without a channel reaches the peer as one frame.
TEST(EnvInit, FifoChannelBecomesTheCurrentOutput) {
  qxtest::TempDir dir;
  const std::string to_tool = dir.File("to_tool");
  const std::string from_tool = dir.File("from_tool");
  ASSERT_EQ(::mkfifo(to_tool.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(from_tool.c_str(), 0600), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::alarm(10);
    Argv argv({"tool", "-framwrk_on_fifo", "-fifo_in_out", to_tool, from_tool, "-end_env_p"});
    const int result = QxEnvInit(argv.argc(), argv.argv());
    if (result != 5 || g_qxPDefaultOutputChannelIOParams == nullptr ||
        g_qxPDefaultInputChannelIOParams == nullptr)
      _exit(3);
    QxClSendChannelKora(nullptr, "XA(1,2:ab,0:)");
    _exit(QxErrno() == 0 ? 0 : 4);
  }
  qxtest::Watchdog watchdog(10);
  // The tool opens its output first, then its input: open in the same order.
  const int from = ::open(from_tool.c_str(), O_RDONLY);
  const int to = ::open(to_tool.c_str(), O_WRONLY);
  ASSERT_GE(from, 0);
  ASSERT_GE(to, 0);
  EXPECT_EQ(ReadFrame(from), "XA(1,2:ab,0:)");
  const qxtest::ChildResult child = qxtest::WaitChild(pid, 10000);
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 0);
  ::close(from);
  ::close(to);
}

TEST(EnvAccessors, SystemErrorTexts) {
  EXPECT_STREQ(QxSysErrList(ENOENT), std::strerror(ENOENT));
  // A number outside the table gives the platform's text, never a stray read.
  EXPECT_NE(std::string(QxSysErrList(1 << 20)).find("Unknown error"), std::string::npos);
  EXPECT_NE(std::string(QxSysErrList(-5)).find("Unknown error"), std::string::npos);
}

TEST(EnvAccessors, RandomSequenceRepeatsWithItsSeed) {
  auto draw = [](QxULong seed) {
    QxSetRandomSeed(seed);
    std::vector<QxULong> values;
    for (int i = 0; i < 5; ++i) values.push_back(QxRandom());
    return values;
  };
  const std::vector<QxULong> first = draw(42);
  EXPECT_EQ(draw(42), first);
  // Only the low 32 bits of the seed count.
  EXPECT_EQ(draw(42 + (QxULong{1} << 32)), first);
  EXPECT_NE(draw(43), first);
  for (QxULong v : first) EXPECT_LE(v, static_cast<QxULong>(RAND_MAX));
}

}  // namespace
