// SPDX-License-Identifier: MIT
// pnconv: converts a place/transition net between PNML, PEP and matrix files
// (and writes PROD and DOT). See pnconv(1).
#include <malloc.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "convert.h"
#include "options.h"
#include "quarnel/QXVersion.h"

namespace {

constexpr char kHelp[] =
    "Usage: pnconv [--from FORMAT] [--to FORMAT] [--net ID] [--max-nodes N] [--read-arcs] [--strict] [-q]\n"
    "              INPUT OUTPUT\n"
    "       pnconv --help | --version\n"
    "Converts a place/transition net; a symmetric (coloured) PNML net is unfolded\n"
    "into one. FORMAT: pnml, pep, mat (read and written), prod, dot (written), in\n"
    "any letter case, or a file suffix (ll_net, .net...). Without --from/--to the\n"
    "format comes from the file name: .pnml, .ll_net, .mat, .net (PROD), .dot.\n"
    "\"-\" is standard input or output and then needs the option. The output must\n"
    "not be the input.\n"
    "  --net ID      the net of a PNML document that holds several\n"
    "  --max-nodes N refuse a symmetric net whose unfolding has more than N places\n"
    "                and transitions or 4 x N arcs (default 10000000)\n"
    "  --read-arcs   PEP output: a weight-1 loop between a place and a transition\n"
    "                becomes a read arc (RA)\n"
    "  --strict      refuse (status 3) to write what the target cannot hold\n"
    "  -q, --quiet   no warnings about what the target cannot hold, no note on an\n"
    "                unfolded symmetric net\n"
    "  -h, --help    this text\n"
    "Exit status: 0 written; 1 bad input; 2 usage, or the output is the input;\n"
    "3 refused by --strict; 4 output not written.\n";

}  // namespace

int main(int argc, char** argv) {
  // A write past a file size limit then fails like any other write: the
  // message, the temporary file removed, the previous output kept.
  signal(SIGXFSZ, SIG_IGN);
  // The net's arrays grow by doubling while the input is read. Kept in the
  // heap instead of a mapping of their own each, and never given back to the
  // system before the end, the memory one of them leaves is reused by the
  // next instead of being faulted in afresh: on a net of 400,000 arcs, a
  // fifth of the run's time went to such page faults.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  std::string error;
  const std::optional<pnconv::Options> options =
      pnconv::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!options) {
    std::fprintf(stderr, "pnconv: %s\nTry 'pnconv --help' for more information.\n", error.c_str());
    return pnconv::kUsage;
  }
  if (options->help || options->version) {
    if (options->help) {
      std::fputs(kHelp, stdout);
    } else {
      std::printf("pnconv %s\n", QUARNEL_VERSION_STRING);
    }
    if (std::fflush(stdout) == 0) return 0;
    std::fprintf(stderr, "pnconv: standard output: cannot be written: %s\n", std::strerror(errno));
    return pnconv::kOutputFailed;
  }
  return pnconv::Convert(*options);
}
