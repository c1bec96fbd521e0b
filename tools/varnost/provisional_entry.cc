// Process entry for builds that do not have the library's main yet:
// "varnost -s ARGS..." runs the service on ARGS with an empty program name in
// front, and exits 1 when the service ends with kQx_EndOnError, else 0.
#include <cstdio>
#include <cstring>

#include "quarnel/QXMain.h"

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "-s") != 0) {
    std::fputs("usage: varnost -s [-m] [-.] filename\n", stderr);
    return 1;
  }
  argv[1][0] = '\0';
  return QxServiceMain(argc - 1, argv + 1) == kQx_EndOnError ? 1 : 0;
}
