// SPDX-License-Identifier: MIT
// Reading the matrix file: opening, counts, matrices and marking.
#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "arc_list.h"
#include "big_array.h"
#include "ensi_internal.h"
#include "matrix_parts.h"
#include "messages.h"
#include "net_reader.h"
#include "support/stdio_file.h"
#include "text_scan.h"
#include "token_reader.h"

namespace {

// One count read as "%d" reads it, then the white space after it. False when
// there is no number, or when it is negative or does not fit an int: such a
// count is a malformed file.
bool ReadCount(FILE* file, int* count) {
  int value = 0;
  if (!varnost::ScanInt(file, &value) || value < 0) return false;
  varnost::SkipWhiteSpace(file);
  *count = value;
  return true;
}

void SayMatrixFailure(bool conversion, uint64_t row, uint64_t places) {
  const unsigned long long r = row;
  if (row < places) {
    std::printf(conversion ? "erreur de conversion la matrice Pre ligne %llu\n"
                           : "erreur de format la matrice Pre ligne %llu\n",
                r);
  } else {
    std::printf(conversion ? "erreur de conversion dans la matrice Post ligne %llu\n"
                           : "erreur de format la matrice Post ligne %llu\n",
                r);
  }
}

// Where the marking values go besides the marking set, when someone asks.
std::vector<int32_t>* g_markingValues = nullptr;

}  // namespace

namespace varnost {

void KeepMarkingValues(std::vector<int32_t>* values) { g_markingValues = values; }

int* NewCells(size_t count) {
  const size_t bytes = count * sizeof(int);
  if (netfmt::IsMappedSize(bytes)) {
    try {
      return static_cast<int*>(netfmt::MapBigBlock(bytes, netfmt::Pages::kSmall));
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return static_cast<int*>(std::calloc(count, sizeof(int)));
}

void FreeCells(int* cells, size_t count) {
  const size_t bytes = count * sizeof(int);
  if (netfmt::IsMappedSize(bytes)) {
    netfmt::UnmapBigBlock(cells, bytes);
  } else {
    std::free(cells);
  }
}

int ReadPrePostMark(FILE* file, int** MatPre, int** MatPost, t_EnsI Mark, uint64_t limit) {
  ArcList& arcs = RecordedArcs();
  arcs.Clear();
  if (NbPlaces <= 0) return 0;
  TokenReader reader(file, TokenReader::kDefaultChunk, limit);
  if (!reader.ok()) {
    SayOutOfMemory();
    return -1;
  }
  const uint64_t places = static_cast<uint64_t>(NbPlaces);
  const uint64_t transitions = NbTrans > 0 ? static_cast<uint64_t>(NbTrans) : 0;
  const uint64_t cells = 2 * places * transitions;
  const bool store = MatPre != nullptr && MatPost != nullptr;
  const MatrixReading& reading = CurrentMatrixReading();
  if (store) arcs.SetMatrices(MatPre, MatPost, places, transitions);

  // Large regular files: as many values as the parts accept, over several
  // threads; the rest, faults included, one token after the other here.
  uint64_t first = 0;
  bool exhausted = false;
  const unsigned threads = PartThreads(reading);
  if (store && cells > 0 && threads > 0 && reader.positional() && limit == UINT64_MAX) {
    struct stat info;
    const uint64_t offset = reader.Offset();
    if (fstat(reader.fd(), &info) == 0 && static_cast<uint64_t>(info.st_size) >= offset &&
        static_cast<uint64_t>(info.st_size) - offset >= reading.minBytes) {
      const PartsProgress progress =
          ReadMatrixParts(reader.fd(), offset, cells, MatrixCells{MatPre, MatPost, places, transitions},
                          arcs, threads, reading);
      first = progress.taken;
      reader.Seek(progress.offset);
    }
  }

  // The position of a value is followed from the last one: a division only
  // when a row boundary was crossed.
  uint64_t lastIndex = first;
  uint64_t row = transitions > 0 ? first / transitions : 0;
  uint64_t col = transitions > 0 ? first % transitions : 0;
  auto sink = [&](uint64_t index, int32_t value) {
    col += index - lastIndex;
    lastIndex = index;
    if (col >= transitions) {
      row += col / transitions;
      col %= transitions;
    }
    if (!store) return;
    int* cell = row < places ? &MatPre[row][col] : &MatPost[row - places][col];
    *cell = value;
    if (value > 0 && !exhausted) {
      exhausted = !arcs.Add(Arc{static_cast<uint32_t>(row), static_cast<uint32_t>(col)});
    }
  };
  bool outOfRange = false;
  uint64_t taken = first;
  if (reading.plain) {
    // The reference: every token through NextToken and TakeValue.
    for (; taken < cells; ++taken) {
      if (!reader.NextToken(true)) break;
      int32_t value = 0;
      if (!reader.TakeValue(true, &value)) {
        outOfRange = true;
        break;
      }
      if (value != 0) sink(taken, value);
    }
  } else {
    taken += reader.TakeValues(cells - first, &outOfRange,
                               [&](uint64_t index, int32_t value) { sink(first + index, value); });
  }
  if (taken < cells) {
    SayMatrixFailure(outOfRange, taken / transitions, places);
    return -1;
  }
  if (exhausted) {
    SayOutOfMemory();
    return -1;
  }

  // The first marking value is found with the separators of the matrices, the
  // later ones with blanks and tabs only: the marking is one line.
  if (g_markingValues != nullptr) g_markingValues->assign(static_cast<size_t>(NbPlaces), 0);
  for (int k = 0; k < NbPlaces; ++k) {
    const bool newlineSeparates = k == 0;
    if (!reader.NextToken(newlineSeparates)) {
      std::printf("erreur de format dans le marquage place %d\n", k);
      return -1;
    }
    int32_t value = 0;
    if (!reader.TakeValue(newlineSeparates, &value)) {
      std::printf("erreur de conversion dans le marquage place %d\n", k);
      return -1;
    }
    if (g_markingValues != nullptr) (*g_markingValues)[static_cast<size_t>(k)] = value;
    if (value <= 0) continue;
    if (Mark->NbEl == 0 || Mark->Ens[Mark->NbEl - 1] < k) {
      if (!TryAppendEnsI(Mark, k)) {
        SayOutOfMemory();
        return -1;
      }
    } else {
      AjoutEnsI(Mark, k);
    }
  }
  return 0;
}

}  // namespace varnost

extern "C" {

FILE* Ouverture(const char* path) {
  // A FIFO waits here for its writer, as every reader of a FIFO does; a
  // directory opens and then holds no counts.
  FILE* file = qx::OpenStdio(path, "r").release();
  if (file == nullptr) varnost::SayAround("le fichier ", path, " n'existe pas\n");
  return file;
}

int Places_Trans(FILE* file) {
  int places = 0;
  int transitions = 0;
  NbArcs = 0;
  if (!ReadCount(file, &places) || !ReadCount(file, &transitions)) {
    std::fputs("erreur de format NbPlaces/NbTrans\n", stdout);
    return -1;
  }
  NbPlaces = places;
  NbTrans = transitions;
  return 0;
}

int** CreerTab(void) {
  const size_t rows = NbPlaces > 0 ? static_cast<size_t>(NbPlaces) : 0;
  const size_t cols = NbTrans > 0 ? static_cast<size_t>(NbTrans) : 0;
  int** table = static_cast<int**>(std::malloc((rows > 0 ? rows : 1) * sizeof(int*)));
  if (table == nullptr) return nullptr;
  int* cells = nullptr;
  if (rows > 0 && cols > 0) {
    if (cols > SIZE_MAX / sizeof(int) / rows) {
      std::free(table);
      return nullptr;
    }
    cells = varnost::NewCells(rows * cols);
    if (cells == nullptr) {
      std::free(table);
      return nullptr;
    }
  }
  for (size_t p = 0; p < rows; ++p) table[p] = cells != nullptr ? cells + p * cols : nullptr;
  return table;
}

int Lire_PrePostMark(FILE* file, int** MatPre, int** MatPost, t_EnsI Mark) {
  return varnost::ReadPrePostMark(file, MatPre, MatPost, Mark, UINT64_MAX);
}

}  // extern "C"
