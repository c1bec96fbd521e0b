// SPDX-License-Identifier: MIT
#include "messages.h"

#include <cstdio>

#include "TypePN.h"

namespace varnost {

void SayAround(const char* before, const char* text, const char* after) {
  std::fputs(before, stdout);
  std::fputs(text, stdout);
  std::fputs(after, stdout);
}

void SayOutOfMemory() {
  std::printf("erreur: memoire insuffisante pour un reseau de %d places et %d transitions\n",
              NbPlaces, NbTrans);
}

}  // namespace varnost
