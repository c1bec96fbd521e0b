// SPDX-License-Identifier: MIT
// The basic-information reader: the input becomes "qx_basic_info" and
// "QX_MNGR/.formalism" in a workspace directory (either may be missing), the
// reader reads them, and the three path operations compose their paths.
//
// Oracles: every composed path ends within the caller's kQx_PathCapacity
// buffer (exactly that size, so ASan sees any byte past it), and a path that
// is given ends with "/".
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "quarnel/QXEnv.h"
#include "runtime/basic_info.h"

namespace {

const std::string& Workspace() {
  static const std::string dir = [] {
    std::string d = qxfuzz::ScratchDir() + "/workspace";
    mkdir(d.c_str(), 0700);
    mkdir((d + "/QX_MNGR").c_str(), 0700);
    if (chdir(d.c_str()) != 0) qxfuzz::Fail("chdir");
    return d;
  }();
  return dir;
}

void Place(const char* name, bool present, const std::string& content) {
  if (present) {
    qxfuzz::WriteWholeFile(name, reinterpret_cast<const uint8_t*>(content.data()), content.size());
  } else {
    unlink(name);
  }
}

void CheckPath(void (*compose)(char*)) {
  static std::unique_ptr<char[]> path(new char[kQx_PathCapacity]);
  std::memset(path.get(), 'x', kQx_PathCapacity);
  compose(path.get());
  const size_t len = strnlen(path.get(), kQx_PathCapacity);
  if (len == kQx_PathCapacity) qxfuzz::Fail("a path is not terminated within its buffer");
  if (len > 0 && path[len - 1] != '/') qxfuzz::Fail("a path does not end with /");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Workspace();
  FuzzedDataProvider input(data, size);
  const uint8_t flags = input.ConsumeIntegral<uint8_t>();
  const std::string formalism = input.ConsumeRandomLengthString(8192);
  const std::string info = input.ConsumeRemainingBytesAsString();
  Place("qx_basic_info", (flags & 1) == 0, info);
  Place("QX_MNGR/.formalism", (flags & 2) == 0, formalism);
  g_qxStandalone = kQx_True;
  g_qxStartedByQuarnel = (flags & 4) != 0 ? kQx_True : kQx_False;

  QxEnvReadBasicInfo();
  CheckPath(QxEnvGetModelWorkSpacePath);
  CheckPath(QxEnvGetMainWorkSpacePath);
  CheckPath(QxEnvGetToolPath);
  qx::ResetBasicInfoForTesting();
  return 0;
}
