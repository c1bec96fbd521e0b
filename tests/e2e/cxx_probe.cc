// SPDX-License-Identifier: MIT
// A tool written in C++: QxExit must unwind its frames (destructors run), and
// an exception that escapes the service must still end the run as a failure.
//   raii   an object with a destructor is live when QxExit(kQx_EndOnWarning) is called
//   throw  the service throws std::runtime_error
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "quarnel/Quarnel.h"

extern "C" {
const char kQx_KitName[] = "MIRLAN";
const char kQx_ToolName[] = "CxxProbe";
const char kQx_ToolVersion[] = "1.0";
const char kQx_ToolCopyright[] = "(c) probe";
}

namespace {

struct Announcer {
  ~Announcer() { std::fputs("cxx probe: destructor ran\n", stderr); }
};

void Leave() {
  Announcer live;
  QxExit(kQx_EndOnWarning);
  std::fputs("not reached\n", stderr);
}

}  // namespace

extern "C" QxEndStatus QxServiceMain(int argc, char** argv) {
  const char* what = argc > 1 ? argv[1] : "";
  if (std::strcmp(what, "raii") == 0) Leave();
  if (std::strcmp(what, "throw") == 0) throw std::runtime_error("boom");
  return kQx_EndNoProblem;
}
