// SPDX-License-Identifier: MIT
// A service run under the library's own main that throws what its first
// argument names:
//   std    a std::runtime_error("boom")
//   other  an int, which is no std::exception
#include <cstring>
#include <stdexcept>

#include "quarnel/QXMain.h"

extern "C" QxEndStatus QxServiceMain(int argc, char** argv) {
  const char* what = argc > 1 ? argv[1] : "";
  if (std::strcmp(what, "std") == 0) throw std::runtime_error("boom");
  if (std::strcmp(what, "other") == 0) throw 42;
  return kQx_EndNoProblem;
}
