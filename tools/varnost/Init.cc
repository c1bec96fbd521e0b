// SPDX-License-Identifier: MIT
// The reader's entry: arguments, then the whole matrix file and the reference
// file.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ensi_internal.h"
#include "messages.h"
#include "net_reader.h"
#include "support/stdio_file.h"

namespace {

// The matrix input format; the only one this tool reads.
bool FormatMat = true;

constexpr char kUsage[] = "usage:\tVarnost [-m] [-.] filename1\n\t-m by default\n";

uint64_t SoftLimit(int resource) {
  struct rlimit limit;
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
  return static_cast<uint64_t>(limit.rlim_cur);
}

// Bytes left in a regular file after the current position; false when the
// file is not regular (its size is then unknown).
bool RegularFileRest(FILE* file, uint64_t* rest) {
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const long position = std::ftell(file);
  if (position < 0 || info.st_size < position) return false;
  *rest = static_cast<uint64_t>(info.st_size - position);
  return true;
}

}  // namespace

namespace varnost {

bool CountsFitMemory(uint64_t places, uint64_t transitions) {
  // Per place: two row pointers, a t_Place, two set records and a count pair;
  // per transition: a t_Trans, two set records and a count pair. Set records
  // are counted with the allocator's overhead.
  constexpr uint64_t kSetRecord = sizeof(EnsI) + 16;
  const uint64_t perPlace = 2 * sizeof(int*) + sizeof(t_Place) + 2 * kSetRecord + 2 * sizeof(int);
  const uint64_t perTrans = sizeof(t_Trans) + 2 * kSetRecord + 2 * sizeof(int);
  const uint64_t need = places * perPlace + transitions * perTrans;  // < 2^40: no overflow

  // These records are written as soon as they are made, so they must fit the
  // process's limits and the machine's memory; beyond that only a failed
  // allocation refuses a net. Checked before anything is allocated, a net
  // that cannot fit costs no memory, however large its counts.
  uint64_t budget = std::min(SoftLimit(RLIMIT_AS), SoftLimit(RLIMIT_DATA));
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) {
    budget = std::min(budget, static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize));
  }
  return need <= budget;
}

}  // namespace varnost

extern "C" {

int InitialisationNetMatrice(char* path) {
  // Closed on every path out of the reader.
  const qx::StdioFile owned(Ouverture(path));
  if (owned == nullptr) return -1;
  FILE* file = owned.get();
  if (Places_Trans(file) != 0) return -1;

  const uint64_t places = static_cast<uint64_t>(NbPlaces);
  const uint64_t transitions = static_cast<uint64_t>(NbTrans);
  // Every value needs a byte and a separator after it but the last: a file
  // that cannot hold the values the counts announce fails for sure. It is then
  // read without storing anything, for the exact message, and the matrices
  // are never allocated.
  const uint64_t values = places > 0 ? 2 * places * transitions + places : 0;
  uint64_t rest = 0;
  uint64_t limit = UINT64_MAX;
  bool tooShort = false;
  if (RegularFileRest(file, &rest) && values > rest / 2 + rest % 2) {
    tooShort = true;
    limit = rest;
  }
  if (!tooShort) {
    if (!varnost::CountsFitMemory(places, transitions)) {
      varnost::SayOutOfMemory();
      return -1;
    }
    Pre = CreerTab();
    Post = CreerTab();
    if (Pre == nullptr || Post == nullptr) {
      varnost::SayOutOfMemory();
      return -1;
    }
  }
  Marking = varnost::TryInitEnsI(NbPlaces);
  if (Marking == nullptr) {
    varnost::SayOutOfMemory();
    return -1;
  }
  if (varnost::ReadPrePostMark(file, Pre, Post, Marking, limit) != 0) return -1;
  if (tooShort) {
    // Not reachable unless the file grew while it was read.
    std::fputs("erreur de format NbPlaces/NbTrans\n", stdout);
    return -1;
  }
  NomModele = strdup(path);
  if (NomModele == nullptr || InitPlTr() != 0) {
    if (NomModele == nullptr) varnost::SayOutOfMemory();
    return -1;
  }
  InitialisationName(path);
  return 0;
}

int InitialisationNet(int argc, char** argv) {
  Trace = 0;
  if (argc < 2 || argc > 4) {
    std::fputs(kUsage, stdout);
    return -1;
  }
  FormatMat = true;
  for (int i = 1; i < argc - 1; ++i) {
    if (std::strcmp(argv[i], "-m") == 0) {
      FormatMat = true;
    } else if (std::strcmp(argv[i], "-t") == 0) {
      FormatMat = false;
    } else if (std::strcmp(argv[i], "-.") == 0) {
      Trace = 1;
    }
  }
  if (!FormatMat) return -1;
  return InitialisationNetMatrice(argv[argc - 1]);
}

}  // extern "C"
