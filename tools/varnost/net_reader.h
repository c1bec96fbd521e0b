// SPDX-License-Identifier: MIT
// The steps of the net reader, in calling order. InitialisationNetMatrice runs
// them all; they are exposed for the tool's own code and tests.
#ifndef VARNOST_NET_READER_H
#define VARNOST_NET_READER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "TypePN.h"

extern "C" {

// Opens the matrix file for reading (a FIFO waits for its writer); on failure
// prints "le fichier <path> n'existe pas" and returns null.
FILE* Ouverture(const char* path);

// Reads the two counts (integers separated and followed by any white space)
// into NbPlaces and NbTrans and sets NbArcs to 0. A missing, malformed,
// negative or out-of-range count prints "erreur de format NbPlaces/NbTrans"
// and gives -1. Leaves the file at the first byte after the white space.
int Places_Trans(FILE* file);

// A zero-filled matrix of NbPlaces rows of NbTrans integers; null when memory
// is exhausted. The rows lie in one block of NewCells, which starts at the
// first row.
int** CreerTab(void);

// Reads the Pre and Post matrices and the marking from the file's current
// position into MatPre, MatPost and Mark, printing the format or conversion
// message of the section where it fails. Returns 0 or -1. Null matrices are
// allowed: the values are then checked but not stored.
int Lire_PrePostMark(FILE* file, int** MatPre, int** MatPost, t_EnsI Mark);

// Builds Pl, Tr and NbArcs from the arcs the last Lire_PrePostMark read.
// Returns 0, or -1 after a message when memory is exhausted.
int InitPlTr(void);

// Reads path + ".ref" into NumObj and NameObj; leaves both null when the file
// is missing, short or malformed, or when its first line holds a NUL byte or
// does not end within its first MiB. A FIFO waits for its writer.
void InitialisationName(const char* path);

// Every step above, from opening the matrix file to closing it: 0 or -1.
int InitialisationNetMatrice(char* path);
}

namespace varnost {

// Lire_PrePostMark reading at most `limit` bytes of the file.
int ReadPrePostMark(FILE* file, int** MatPre, int** MatPost, t_EnsI Mark, uint64_t limit);

// Whether the memory a net of these counts needs whatever its content (row
// tables, node records, empty sets) is within the process's limits and the
// machine's physical memory. It does not depend on the file: a net is refused
// only when it cannot be held.
bool CountsFitMemory(uint64_t places, uint64_t transitions);

// While `values` is set, every read of a marking also stores each place's
// value as read (any sign) in it, one per place; the marking set itself keeps
// only whether it is above 0. Null stops that. For programs that need the
// token counts (pnconv); the tool never sets it.
void KeepMarkingValues(std::vector<int32_t>* values);

// The zero-filled cells of a matrix, `count` integers in one block (null when
// memory is exhausted), and their release. Untouched pages cost no memory, so
// a sparse net stays small: a large block is mapped on small pages (see
// big_array.h), and goes on huge pages from the cell where the net is seen
// to be dense (ArcList::OfferHugePagesFrom).
int* NewCells(size_t count);
void FreeCells(int* cells, size_t count);

// Releases everything the net globals hold and sets them back to null and 0,
// for programs that read several nets in one process. The tool never calls it.
void ResetNet();

}  // namespace varnost

#endif
