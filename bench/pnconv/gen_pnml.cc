// SPDX-License-Identifier: MIT
// Writes a random place/transition net as PNML on standard output, laid out
// as the Model Checking Contest's models are (names, one element per line).
//
//   pnconv_gen_pnml PLACES TRANSITIONS ARCS [SEED]
#include <cstdio>
#include <cstdlib>
#include <random>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: pnconv_gen_pnml PLACES TRANSITIONS ARCS [SEED]\n", stderr);
    return 2;
  }
  const long places = std::atol(argv[1]);
  const long transitions = std::atol(argv[2]);
  const long arcs = std::atol(argv[3]);
  std::mt19937_64 random(argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1);
  if (places <= 0 || transitions <= 0 || arcs < 0) return 2;
  std::printf("<?xml version=\"1.0\"?>\n<pnml xmlns=\"http://www.pnml.org/version-2009/grammar/pnml\">\n"
              "  <net id=\"Generated-PT\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">\n"
              "    <page id=\"page0\">\n      <name>\n        <text>DefaultPage</text>\n      </name>\n");
  for (long p = 0; p < places; ++p) {
    std::printf("      <place id=\"p%ld\">\n        <name>\n          <text>place_%ld</text>\n        </name>\n",
                p, p);
    if (random() % 4 == 0) {
      std::printf("        <initialMarking>\n          <text>%d</text>\n        </initialMarking>\n",
                  static_cast<int>(1 + random() % 3));
    }
    std::printf("      </place>\n");
  }
  for (long t = 0; t < transitions; ++t) {
    std::printf("      <transition id=\"t%ld\">\n        <name>\n          <text>tr_%ld</text>\n        </name>\n"
                "      </transition>\n",
                t, t);
  }
  for (long a = 0; a < arcs; ++a) {
    const long p = static_cast<long>(random() % static_cast<unsigned long>(places));
    const long t = static_cast<long>(random() % static_cast<unsigned long>(transitions));
    const bool in = random() % 2 == 0;
    std::printf("      <arc id=\"a%ld\" source=\"%c%ld\" target=\"%c%ld\">\n", a, in ? 'p' : 't', in ? p : t,
                in ? 't' : 'p', in ? t : p);
    if (random() % 8 == 0) {
      std::printf("        <inscription>\n          <text>%d</text>\n        </inscription>\n",
                  static_cast<int>(2 + random() % 3));
    }
    std::printf("      </arc>\n");
  }
  std::printf("    </page>\n  </net>\n</pnml>\n");
  return std::fflush(stdout) == 0 ? 0 : 1;
}
