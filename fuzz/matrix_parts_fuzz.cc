// SPDX-License-Identifier: MIT
// The matrices read in parts over several threads against the plain reading,
// one token at a time, of the same matrix file: for every thread count, part
// size and reach past the parts below, the read must leave the same status,
// messages, matrices, marking, neighbour sets and PEP file.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "TypePN.h"
#include "fuzz_support.h"
#include "matrix_parts.h"
#include "net_reader.h"

namespace {

constexpr long kMaxNodesListed = 20000;

const unsigned kThreads[] = {1, 2, 3};
const size_t kPartBytes[] = {1, 2, 5, 64};
const size_t kReach[] = {1, 4096};

std::string ReadBack(const std::string& path) {
  std::string text;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "(none)";
  char buf[1 << 14];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) text.append(buf, n);
  std::fclose(file);
  return text;
}

// Standard output goes to `path` while `body` runs.
template <class Body>
void ToFile(const std::string& path, Body body) {
  std::fflush(stdout);
  const int saved = dup(1);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) qxfuzz::Fail("cannot create the output capture file");
  dup2(fd, 1);
  close(fd);
  body();
  std::fflush(stdout);
  if (saved >= 0) {
    dup2(saved, 1);
    close(saved);
  } else {
    close(1);
  }
}

// The matrices as a number: every cell weighs in by its position.
uint64_t MatrixSum() {
  uint64_t sum = 0;
  for (int** matrix : {Pre, Post}) {
    for (int p = 0; p < NbPlaces; ++p) {
      for (int t = 0; t < NbTrans; ++t) {
        sum = sum * 1099511628211ULL + static_cast<uint32_t>(matrix[p][t]);
      }
    }
  }
  return sum;
}

// Reads the net with `reading` and gives everything the read left.
std::string Outcome(const std::string& path, const varnost::MatrixReading& reading) {
  static const std::string out = qxfuzz::ScratchDir() + "/out.txt";
  varnost::SetMatrixReading(reading);
  std::remove((path + ".ll_net").c_str());
  int status = 0;
  ToFile(out, [&] {
    std::string arg = path;
    char empty[] = "";
    char* argv[] = {empty, arg.data(), nullptr};
    status = InitialisationNet(2, argv);
    std::printf("status %d places %d transitions %d\n", status, NbPlaces, NbTrans);
    if (Pre != nullptr && Post != nullptr) std::printf("matrices %llu\n", static_cast<unsigned long long>(MatrixSum()));
    if (Marking != nullptr) PrintEnsIP(Marking);
    if (status == 0 && static_cast<long>(NbPlaces) + NbTrans <= kMaxNodesListed) {
      AfficheNet2();
      SauvegardePep(NomModele);
    }
  });
  std::string result = ReadBack(out);
  if (status == 0 && static_cast<long>(NbPlaces) + NbTrans <= kMaxNodesListed) {
    result += ReadBack(path + ".ll_net");
  }
  varnost::ResetNet();
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (qxfuzz::TooSlowMatrixNet(data, size)) return 0;
  static const std::string path = qxfuzz::ScratchDir() + "/net.mat";
  qxfuzz::WriteWholeFile(path, data, size);
  varnost::MatrixReading plain;
  plain.plain = true;
  const std::string expected = Outcome(path, plain);
  for (unsigned threads : kThreads) {
    for (size_t part : kPartBytes) {
      for (size_t reach : kReach) {
        varnost::MatrixReading parts;
        parts.threads = threads;
        parts.partBytes = part;
        parts.tokenReach = reach;
        parts.minBytes = 0;
        if (Outcome(path, parts) != expected) {
          std::fprintf(stderr, "threads %u, part %zu, reach %zu\n", threads, part, reach);
          qxfuzz::Fail("the parts read the file otherwise than the plain reading");
        }
      }
    }
  }
  varnost::SetMatrixReading(varnost::MatrixReading{});
  return 0;
}
