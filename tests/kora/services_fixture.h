// SPDX-License-Identifier: MIT
// Fixture of the KORA service tests: the library's state as at process start,
// commands without a channel going to standard output (so that a test reads
// them back as lines), fresh basic information, and the language and
// file-transfer flag restored afterwards.
#ifndef QUARNEL_TESTS_KORA_SERVICES_FIXTURE_H
#define QUARNEL_TESTS_KORA_SERVICES_FIXTURE_H

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/library_state.h"
#include "common/pipe_channel.h"
#include "common/qxtest.h"
#include "quarnel/QXEnv.h"
#include "runtime/basic_info.h"

namespace qxtest {

// Commands in the order they were sent.
using Commands = std::vector<std::string>;

// What a body wrote: the command lines on standard output and the bytes on
// standard error.
struct Sent {
  std::vector<std::string> commands;
  std::string err;
};

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// A trace as the host receives it.
inline std::string TrCommand(const std::string& text) { return Counted("TR", text); }

class ServicesTest : public LibraryStateTest {
 protected:
  void SetUp() override {
    LibraryStateTest::SetUp();
    saved_language_ = g_qxLanguage;
    saved_file_allowed_ = g_qxSEND_KORA_FILE_Allowed;
    g_qxLanguage = 0;
    g_qxSEND_KORA_FILE_Allowed = kQx_False;
    qx::ResetBasicInfoForTesting();
    g_qxStdOut = kQx_True;
  }
  void TearDown() override {
    qx::ResetBasicInfoForTesting();
    g_qxLanguage = saved_language_;
    g_qxSEND_KORA_FILE_Allowed = saved_file_allowed_;
    LibraryStateTest::TearDown();
  }

  static Sent Run(const std::function<void()>& body) {
    const Output output = CaptureOutput(body);
    return {SplitLines(output.out), output.err};
  }

  // Makes model/ a model workspace whose main workspace is main/ (both in
  // the test's temporary directory) and reads its basic information.
  void ReadWorkspace() {
    const std::string model = dir_.File("model");
    const std::string mainWs = dir_.File("main");
    WriteDir(model);
    WriteDir(mainWs);
    WriteDir(mainWs + "/GWS_MIRLAN");
    WriteFile(model + "/qx_basic_info", "linux\n/adm\n" + mainWs + "\n/bin\n/tmp\n/tools\n");
    ScopedChdir in(model);
    CaptureOutput([] { QxEnvReadBasicInfo(); });
  }
  std::string ModelFile(const std::string& name) const { return dir_.File("model/" + name); }
  std::string MainFile(const std::string& name) const {
    return dir_.File("main/GWS_MIRLAN/" + name);
  }

  TempDir dir_;

 private:
  static void WriteDir(const std::string& path) { std::filesystem::create_directories(path); }

  short saved_language_ = 0;
  QxBoolean saved_file_allowed_ = kQx_False;
};

}  // namespace qxtest

#endif
