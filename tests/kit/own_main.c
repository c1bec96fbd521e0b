// SPDX-License-Identifier: MIT
/* A program with its own main that uses the library without being a tool: it
 * defines neither a service entry nor an identity, so it links against the
 * shared library only if the library needs nothing from the program. It
 * traces one line and prints the identity the library reads. */
#include <stdio.h>

#include "quarnel/Quarnel.h"

int main(void) {
  QxTrace("own main");
  printf("%s|%s|%s|%s\n", QxEnvKitName(), QxEnvToolName(), QxEnvToolVersion(),
         QxEnvToolCopyright());
  return 0;
}
