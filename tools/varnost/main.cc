// SPDX-License-Identifier: MIT
// The converter's process entry. "varnost --version" alone prints the
// package's version; every other command line is the framework's and goes to
// the library's main (QxMain) unchanged, "-version" and "-s" included.
#include <cstdio>
#include <cstring>

#include "quarnel/QXMain.h"
#include "quarnel/QXVersion.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("varnost %s\n", QUARNEL_VERSION_STRING);
    return 0;
  }
  return QxMain(argc, argv, QxServiceMain);
}
