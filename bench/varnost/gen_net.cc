// SPDX-License-Identifier: MIT
// Writes a random net in the converter's matrix format on standard output.
//
//   varnost_gen_net PLACES TRANSITIONS MODE [SEED]
//
// MODE:
//   sparse     every transition has 1 to 4 input and 1 to 4 output places
//              (a realistic net: the matrices are almost all zeros)
//   dense      every entry of both matrices is non-zero
//   D          (a number between 0 and 1) each entry is non-zero with
//              probability D
// Weights are 1 to 9; about one place in ten is marked. Rows are one line
// each, the marking is one line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

int Usage() {
  std::fputs("usage: varnost_gen_net PLACES TRANSITIONS sparse|dense|DENSITY [SEED]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) return Usage();
  const long places = std::strtol(argv[1], nullptr, 10);
  const long transitions = std::strtol(argv[2], nullptr, 10);
  const std::string mode = argv[3];
  const unsigned seed = argc == 5 ? static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)) : 1;
  if (places < 1 || transitions < 1) return Usage();
  double density = 0;
  const bool sparse = mode == "sparse";
  if (mode == "dense") {
    density = 1;
  } else if (!sparse) {
    char* end = nullptr;
    density = std::strtod(mode.c_str(), &end);
    if (end == mode.c_str() || *end != '\0' || density < 0 || density > 1) return Usage();
  }

  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> weight(1, 9);
  std::uniform_real_distribution<double> unit(0, 1);

  // For the sparse mode, the non-zero entries of each row, drawn per
  // transition: (column, weight) pairs of Pre and Post rows.
  std::vector<std::vector<std::pair<long, int>>> preRows, postRows;
  if (sparse) {
    preRows.resize(places);
    postRows.resize(places);
    std::uniform_int_distribution<int> degree(1, 4);
    std::uniform_int_distribution<long> place(0, places - 1);
    for (long t = 0; t < transitions; ++t) {
      for (auto* rows : {&preRows, &postRows}) {
        const int n = degree(rng);
        std::vector<long> chosen;
        while (static_cast<int>(chosen.size()) < n && static_cast<long>(chosen.size()) < places) {
          const long p = place(rng);
          bool seen = false;
          for (long q : chosen) seen = seen || q == p;
          if (!seen) chosen.push_back(p);
        }
        for (long p : chosen) (*rows)[p].push_back({t, weight(rng)});
      }
    }
  }

  static char out[1 << 20];
  std::setvbuf(stdout, out, _IOFBF, sizeof out);
  std::printf("%ld\n%ld\n", places, transitions);
  // A row of zeros "0 0 ... 0\n": every entry is one digit at an even offset.
  std::string zeros(2 * static_cast<size_t>(transitions), ' ');
  for (long t = 0; t < transitions; ++t) zeros[2 * t] = '0';
  zeros.back() = '\n';
  std::string row;
  for (int matrix = 0; matrix < 2; ++matrix) {
    for (long p = 0; p < places; ++p) {
      row = zeros;
      if (sparse) {
        for (auto [t, w] : (matrix == 0 ? preRows : postRows)[p]) row[2 * t] = static_cast<char>('0' + w);
      } else {
        for (long t = 0; t < transitions; ++t) {
          if (density >= 1 || unit(rng) < density) row[2 * t] = static_cast<char>('0' + weight(rng));
        }
      }
      std::fwrite(row.data(), 1, row.size(), stdout);
    }
  }
  for (long p = 0; p < places; ++p) {
    std::fputs(unit(rng) < 0.1 ? "1" : "0", stdout);
    std::fputc(p + 1 < places ? ' ' : '\n', stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
