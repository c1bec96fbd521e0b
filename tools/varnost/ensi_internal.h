// SPDX-License-Identifier: MIT
// Set operations for the tool's own code, beyond the public interface of
// EnsI.h: the unordered append the merges use, and variants that report memory
// exhaustion instead of aborting, for the net reader (which must fail with a
// message, never crash, on nets too large for the machine).
#ifndef VARNOST_ENSI_INTERNAL_H
#define VARNOST_ENSI_INTERNAL_H

#include <cstddef>

#include "EnsI.h"

extern "C" {
// Stores e after the last element with no order or duplicate test.
// REQUIRES: e is greater than every element (callers produce ascending runs).
void AjoutFinEnsI(t_EnsI E, int e);
}

namespace varnost {

// Storage, in elements, behind a reported capacity. Reported capacities grow
// by 10; the storage grows geometrically once it is past a few steps, so a
// long run of appends copies each element O(1) times on average. A pure
// function of the reported capacity: every set allocates exactly this much for
// its `size`, so the storage size is always known without an extra field.
size_t StorageFor(int size);

// InitEnsI that returns null when memory is exhausted.
t_EnsI TryInitEnsI(int size);

// Gives an empty set without storage the capacity that n insertions would
// have given it (n rounded up to a multiple of 10). False when memory is
// exhausted (the set is then unchanged).
bool TryReserveEnsI(t_EnsI E, int n);

// AjoutFinEnsI that returns false, leaving the set unchanged, when memory is
// exhausted.
bool TryAppendEnsI(t_EnsI E, int e);

// The reported capacity that n insertions give a set: n rounded up to a
// multiple of 10 (0 for n <= 0).
size_t CapacityFor(int n);

// Storage for many sets whose element counts are known before they are filled
// (the neighbour sets of a net), carved out of one block instead of one
// allocation per set. A large block is mapped on its own, its pages made
// present at once (every page of it is written as the sets are filled); a
// small one comes from malloc.
//
// The sets keep the whole EnsI contract: their capacities are those of
// TryReserveEnsI, FreeEnsI and VideEnsI release their storage, and a set that
// outgrows its capacity moves to storage of its own. The block is released
// when the last set holding storage in it has released it and the SetBlock
// itself is gone. Not thread-safe, like the sets.
class SetBlock {
 public:
  // Room for `elements` elements: the sum of CapacityFor of the counts of the
  // sets to be placed. ok() is false when memory is exhausted.
  explicit SetBlock(size_t elements);
  ~SetBlock();
  SetBlock(const SetBlock&) = delete;
  SetBlock& operator=(const SetBlock&) = delete;

  bool ok() const { return begin_ != nullptr || left_ == 0; }

  // Gives E, empty and without storage, the capacity of n insertions
  // (CapacityFor(n)) from the block; n <= 0 leaves it without storage.
  // REQUIRES: ok(), and the room given at creation not yet used up.
  void Place(t_EnsI E, int n);

 private:
  int* begin_ = nullptr;
  int* next_ = nullptr;  // the storage the next set gets
  size_t left_ = 0;      // elements not yet given out
};

}  // namespace varnost

#endif
