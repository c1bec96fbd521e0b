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

}  // namespace varnost

#endif
