// SPDX-License-Identifier: MIT
// The error-message file lookup: the input gives the message number, the
// language and the content of the message file of the main workspace.
//
// Oracles: the message ends within the documented capacity (the buffer has
// exactly kQx_ErrorMessageCapacity bytes, so ASan sees any byte past it), and
// a message found in the file is a piece of the file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "runtime/basic_info.h"

namespace {

// The message files lie in <main workspace>GWS_<kit name>/.
const std::string& MessageDir() {
  static const std::string dir = [] {
    const std::string main = qxfuzz::ScratchDir() + "/main/";
    mkdir(main.c_str(), 0700);
    const std::string d = main + "GWS_" + kQx_KitName;
    mkdir(d.c_str(), 0700);
    g_qxMainWorkSpace = strdup(main.c_str());
    return d;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& dir = MessageDir();
  FuzzedDataProvider input(data, size);
  const int number = input.ConsumeIntegral<int>();
  const uint8_t choice = input.ConsumeIntegral<uint8_t>();
  const std::string content = input.ConsumeRemainingBytesAsString();
  // Language 1 with or without its own file (then the English one is used).
  g_qxLanguage = static_cast<short>(choice & 1);
  const bool ownFile = (choice & 2) != 0;
  const std::string english = dir + "/erreur.0";
  const std::string french = dir + "/erreur.1";
  qxfuzz::WriteWholeFile(g_qxLanguage == 1 && ownFile ? french : english,
                         reinterpret_cast<const uint8_t*>(content.data()), content.size());
  if (g_qxLanguage == 1 && !ownFile) unlink(french.c_str());

  static std::unique_ptr<char[]> message(new char[kQx_ErrorMessageCapacity]);
  std::memset(message.get(), 'x', kQx_ErrorMessageCapacity);
  if (QxOldGetMessErreur(number, message.get()) != 0) qxfuzz::Fail("a readable message file was not read");
  const size_t len = strnlen(message.get(), kQx_ErrorMessageCapacity);
  if (len == kQx_ErrorMessageCapacity) qxfuzz::Fail("the message is not terminated within its buffer");
  const std::string text(message.get(), len);
  if (text.rfind("Qx OldGetMessErreur:", 0) != 0 &&
      std::search(content.begin(), content.end(), text.begin(), text.end()) == content.end()) {
    qxfuzz::Fail("a message that is not in the file");
  }
  return 0;
}
