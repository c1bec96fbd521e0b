// SPDX-License-Identifier: MIT
// Ordered integer sets. See EnsI.h for the contract.
#include "EnsI.h"

#include <errno.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "ensi_internal.h"

namespace {

constexpr int kStep = 10;

[[noreturn]] void OutOfMemory() {
  std::fputs("Varnost: plus de memoire pour un ensemble\n", stderr);
  std::abort();
}

// Storage of `size` elements (StorageFor(size) allocated); null for 0.
int* AllocStorage(int size) {
  if (size <= 0) return nullptr;
  return static_cast<int*>(std::calloc(varnost::StorageFor(size), sizeof(int)));
}

// A block of SetBlock that still holds storage of sets.
struct Block {
  uintptr_t begin;
  uintptr_t end;
  size_t holders;  // sets with storage in it, plus one while its SetBlock lives
  size_t mapped;   // length of its own mapping; 0 when it comes from malloc
};

// The live blocks: few (one per net being built or kept), so a linear search
// finds them. Never destroyed, so that sets freed late in the process's exit
// still find theirs.
std::vector<Block>& Blocks() {
  static auto* blocks = new std::vector<Block>;
  return *blocks;
}

Block* BlockOf(const int* storage) {
  const auto at = reinterpret_cast<uintptr_t>(storage);
  for (Block& block : Blocks()) {
    if (at >= block.begin && at < block.end) return &block;
  }
  return nullptr;
}

void Unhold(Block* block) {
  if (--block->holders > 0) return;
  void* begin = reinterpret_cast<void*>(block->begin);
  if (block->mapped > 0) {
    munmap(begin, block->mapped);
  } else {
    std::free(begin);
  }
  std::vector<Block>& blocks = Blocks();
  blocks.erase(blocks.begin() + (block - blocks.data()));
}

// Releases a set's storage, in a block or of its own.
void ReleaseStorage(int* storage) {
  if (storage == nullptr) return;
  if (Block* block = BlockOf(storage)) {
    Unhold(block);
  } else {
    std::free(storage);
  }
}

// Blocks from this size on are mapped on their own.
constexpr size_t kMapFrom = size_t{256} << 10;

// A block of `bytes` (> 0) bytes; null when memory is exhausted. A small block
// comes from malloc (*mapped = 0); a large one is a mapping of its own
// (*mapped = its length), released to the system as soon as it is unmapped,
// with its pages made present in one call rather than one fault each (every
// page of it is written as the sets are filled). Where the system cannot make
// them present, the pages come one fault at a time.
//
// Huge pages would make the pages cheaper still, but on virtual machines that
// hand free memory back to the host they are often taken from memory the host
// has to provide afresh, which made one run in three several times slower
// than with small pages.
void* NewBlock(size_t bytes, size_t* mapped) {
  *mapped = 0;
  if (bytes < kMapFrom) return std::malloc(bytes);
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
#ifdef MADV_POPULATE_WRITE
  // Refused for lack of memory: the block is given up now rather than the
  // process killed later at a fault.
  if (madvise(block, bytes, MADV_POPULATE_WRITE) != 0 && errno == ENOMEM) {
    munmap(block, bytes);
    return nullptr;
  }
#endif
  *mapped = bytes;
  return block;
}

t_EnsI NewRecord(int nbElMax) {
  t_EnsI E = static_cast<t_EnsI>(std::malloc(sizeof(EnsI)));
  if (E == nullptr) return nullptr;
  E->It = 0;
  E->size = 0;
  E->NbElMax = nbElMax;
  E->NbEl = 0;
  E->Ens = nullptr;
  return E;
}

t_EnsI MustInit(int size) {
  t_EnsI E = NewRecord(size);
  if (E == nullptr) OutOfMemory();
  return E;
}

// Makes room for one more element by the 10-step rule. False when memory is
// exhausted; the set is unchanged then.
bool Grow(t_EnsI E) {
  if (E->NbEl < E->size) return true;
  if (E->size > __INT_MAX__ - kStep) return false;
  const int newSize = E->size + kStep;
  if (E->size == 0) {
    int* storage = AllocStorage(newSize);
    if (storage == nullptr) return false;
    E->Ens = storage;
  } else if (Block* block = BlockOf(E->Ens)) {
    // Storage in a block has room for exactly the capacity: the set moves to
    // storage of its own.
    int* storage = AllocStorage(newSize);
    if (storage == nullptr) return false;
    std::memcpy(storage, E->Ens, static_cast<size_t>(E->NbEl) * sizeof(int));
    Unhold(block);
    E->Ens = storage;
  } else {
    const size_t have = varnost::StorageFor(E->size);
    const size_t need = varnost::StorageFor(newSize);
    if (need > have) {
      void* moved = std::realloc(E->Ens, need * sizeof(int));
      if (moved == nullptr) return false;
      E->Ens = static_cast<int*>(moved);
    }
  }
  E->size = newSize;
  return true;
}

// Position of the first element not less than e.
int LowerBound(t_EnsI E, int e) {
  return static_cast<int>(std::lower_bound(E->Ens, E->Ens + E->NbEl, e) - E->Ens);
}

// A new set holding A's elements with A's capacity and NbElMax.
t_EnsI CopyWithCapacity(t_EnsI A) {
  t_EnsI C = MustInit(A->NbElMax);
  if (A->NbEl == 0) return C;
  C->Ens = AllocStorage(A->size);
  if (C->Ens == nullptr) OutOfMemory();
  C->size = A->size;
  std::memcpy(C->Ens, A->Ens, static_cast<size_t>(A->NbEl) * sizeof(int));
  C->NbEl = A->NbEl;
  return C;
}

// Which elements a merge of A and B keeps: those of A only, those of both,
// those of B only.
struct MergeKeeps {
  bool onlyA;
  bool both;
  bool onlyB;
};

// A new set with A's NbElMax holding the kept elements of A and B, merged
// from both ascending arrays with appends.
t_EnsI Merge(t_EnsI A, t_EnsI B, MergeKeeps keep) {
  t_EnsI R = MustInit(A->NbElMax);
  int i = 0;
  int j = 0;
  while (i < A->NbEl && j < B->NbEl) {
    if (A->Ens[i] < B->Ens[j]) {
      if (keep.onlyA) AjoutFinEnsI(R, A->Ens[i]);
      ++i;
    } else if (A->Ens[i] == B->Ens[j]) {
      if (keep.both) AjoutFinEnsI(R, A->Ens[i]);
      ++i;
      ++j;
    } else {
      if (keep.onlyB) AjoutFinEnsI(R, B->Ens[j]);
      ++j;
    }
  }
  if (keep.onlyA) {
    while (i < A->NbEl) AjoutFinEnsI(R, A->Ens[i++]);
  }
  if (keep.onlyB) {
    while (j < B->NbEl) AjoutFinEnsI(R, B->Ens[j++]);
  }
  return R;
}

void PrintSet(t_EnsI E, char kind) {
  if (E->NbEl == 0) {
    std::fputs("0\n", stdout);
    return;
  }
  for (int i = 0; i < E->NbEl; ++i) {
    if (i > 0) std::fputs("+ ", stdout);
    std::printf("%c[%d] ", kind, E->Ens[i]);
  }
  std::fputc('\n', stdout);
}

}  // namespace

namespace varnost {

size_t StorageFor(int size) {
  constexpr size_t kExactUpTo = 4 * kStep;
  const size_t wanted = size > 0 ? static_cast<size_t>(size) : 0;
  if (wanted <= kExactUpTo) return wanted;
  size_t storage = kExactUpTo;
  while (storage < wanted) storage += std::max<size_t>(kStep, storage / 2 / kStep * kStep);
  return storage;
}

t_EnsI TryInitEnsI(int size) { return NewRecord(size); }

size_t CapacityFor(int n) {
  return n > 0 ? (static_cast<size_t>(n) + kStep - 1) / kStep * kStep : 0;
}

bool TryReserveEnsI(t_EnsI E, int n) {
  if (n <= 0 || E->size != 0) return true;
  if (n > __INT_MAX__ - kStep) return false;
  const int size = static_cast<int>(CapacityFor(n));
  int* storage = AllocStorage(size);
  if (storage == nullptr) return false;
  E->Ens = storage;
  E->size = size;
  return true;
}

bool TryAppendEnsI(t_EnsI E, int e) {
  if (!Grow(E)) return false;
  E->Ens[E->NbEl++] = e;
  return true;
}

SetBlock::SetBlock(size_t elements) : left_(elements) {
  if (elements == 0 || elements > SIZE_MAX / sizeof(int)) return;
  std::vector<Block>& blocks = Blocks();
  try {
    blocks.reserve(blocks.size() + 1);
  } catch (const std::bad_alloc&) {
    return;
  }
  size_t mapped = 0;
  void* storage = NewBlock(elements * sizeof(int), &mapped);
  if (storage == nullptr) return;
  begin_ = next_ = static_cast<int*>(storage);
  const auto begin = reinterpret_cast<uintptr_t>(storage);
  blocks.push_back(Block{begin, begin + elements * sizeof(int), 1, mapped});
}

SetBlock::~SetBlock() {
  if (begin_ != nullptr) Unhold(BlockOf(begin_));
}

void SetBlock::Place(t_EnsI E, int n) {
  const size_t capacity = CapacityFor(n);
  if (capacity == 0) return;
  ++BlockOf(begin_)->holders;
  E->Ens = next_;
  E->size = static_cast<int>(capacity);
  next_ += capacity;
  left_ -= capacity;
}

}  // namespace varnost

extern "C" {

t_EnsI InitEnsI(int size) { return MustInit(size); }

t_EnsI InitPleinEnsI(int size) {
  t_EnsI E = MustInit(size);
  if (size <= 0) return E;
  E->Ens = AllocStorage(size);
  if (E->Ens == nullptr) OutOfMemory();
  for (int i = 0; i < size; ++i) E->Ens[i] = i;
  E->size = size;
  E->NbEl = size;
  return E;
}

t_EnsI CopieEnsI(t_EnsI E) { return CopyWithCapacity(E); }

void FreeEnsI(t_EnsI E) {
  if (E == nullptr) return;
  ReleaseStorage(E->Ens);
  std::free(E);
}

void VideEnsI(t_EnsI E) {
  ReleaseStorage(E->Ens);
  E->Ens = nullptr;
  E->NbEl = 0;
  E->size = 0;
}

int EstVideEnsI(t_EnsI E) { return E->NbEl == 0 ? 1 : 0; }

int AppartientEnsI(t_EnsI E, int e) {
  const int i = LowerBound(E, e);
  return i < E->NbEl && E->Ens[i] == e ? 1 : 0;
}

int IncluEnsI(t_EnsI A, t_EnsI B) {
  if (A->NbEl > B->NbEl) return 0;
  if (A->NbEl == 0) return 1;
  if (B->NbEl == 0) return 0;
  int i = 0;
  int j = 0;
  while (i < A->NbEl) {
    if (j == B->NbEl) return 0;
    if (B->Ens[j] > A->Ens[i]) return 0;
    if (B->Ens[j] == A->Ens[i]) ++i;
    ++j;
  }
  return 1;
}

int EgalEnsI(t_EnsI A, t_EnsI B) {
  if (A->NbEl != B->NbEl) return 0;
  for (int i = 0; i < A->NbEl; ++i) {
    if (A->Ens[i] != B->Ens[i]) return 0;
  }
  return 1;
}

int CompEnsI(t_EnsI A, t_EnsI B) {
  const int common = std::min(A->NbEl, B->NbEl);
  for (int i = 0; i < common; ++i) {
    if (A->Ens[i] < B->Ens[i]) return -1;
    if (A->Ens[i] > B->Ens[i]) return 1;
  }
  if (A->NbEl < B->NbEl) return -1;
  if (A->NbEl > B->NbEl) return 1;
  return 0;
}

int GetCardEnsI(t_EnsI E) { return E->NbEl; }

int GetElEnsI(t_EnsI E, int i) { return E->Ens[i]; }

void InitItEnsI(t_EnsI E) { E->It = 0; }

int GetNextElEnsI(t_EnsI E, int* e) {
  if (E->It >= E->NbEl) return 0;
  *e = E->Ens[E->It++];
  return 1;
}

void AjoutEnsI(t_EnsI E, int e) {
  // Ascending insertion (the reader's case) is an append; otherwise the
  // ordered place is found by bisection. Either way the result is the same as
  // a linear scan and shift.
  if (E->NbEl == 0 || E->Ens[E->NbEl - 1] < e) {
    AjoutFinEnsI(E, e);
    return;
  }
  const int i = LowerBound(E, e);
  if (E->Ens[i] == e) return;
  if (!Grow(E)) OutOfMemory();
  std::memmove(E->Ens + i + 1, E->Ens + i, static_cast<size_t>(E->NbEl - i) * sizeof(int));
  E->Ens[i] = e;
  ++E->NbEl;
}

void AjoutFinEnsI(t_EnsI E, int e) {
  if (!varnost::TryAppendEnsI(E, e)) OutOfMemory();
}

t_EnsI InterEnsI(t_EnsI A, t_EnsI B) { return Merge(A, B, {false, true, false}); }

t_EnsI UnionEnsI(t_EnsI A, t_EnsI B) {
  if (A->NbEl == 0) return CopieEnsI(B);
  if (B->NbEl == 0) return CopieEnsI(A);
  return Merge(A, B, {true, true, true});
}

t_EnsI DiffEnsI(t_EnsI A, t_EnsI B) {
  if (A->NbEl == 0) return MustInit(A->NbElMax);
  if (B->NbEl == 0) return CopieEnsI(A);
  return Merge(A, B, {true, false, false});
}

t_EnsI SupprimeEnsI(t_EnsI E, int e) {
  if (E->NbEl == 0 || !AppartientEnsI(E, e)) return CopieEnsI(E);
  t_EnsI R = MustInit(E->NbElMax);
  R->Ens = AllocStorage(E->size);
  if (R->Ens == nullptr) OutOfMemory();
  R->size = E->size;
  for (int i = 0; i < E->NbEl; ++i) {
    if (E->Ens[i] != e) R->Ens[R->NbEl++] = E->Ens[i];
  }
  return R;
}

void PrintEnsIP(t_EnsI E) { PrintSet(E, 'p'); }

void PrintEnsIT(t_EnsI E) { PrintSet(E, 't'); }

}  // extern "C"
