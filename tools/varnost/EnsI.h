// SPDX-License-Identifier: MIT
/* Ordered sets of integers: the neighbour sets of places and transitions and
 * the set of marked places.
 *
 * A set is a growable array of distinct int values kept in ascending order
 * (comparisons are signed). Whoever creates a set (InitEnsI, InitPleinEnsI,
 * CopieEnsI or a set operation) owns it and releases it with FreeEnsI. The set
 * operations return new sets and leave their operands unchanged.
 *
 * `size` is the capacity as the set reports it: 0 while the set has no storage,
 * 10 after the first insertion, 10 more each time an insertion finds the set
 * full. Appending a value greater than every element costs O(1) amortised (the
 * storage behind a reported capacity may be larger, so that long sets are not
 * copied every 10 insertions).
 *
 * None of these operations reports an allocation failure: on memory exhaustion
 * they print a line on standard error and abort the process. Usable from C. */
#ifndef VARNOST_ENSI_H
#define VARNOST_ENSI_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct EnsI {
  int It;      /* iteration cursor: index of the next element GetNextElEnsI yields */
  int size;    /* reported capacity, in elements; 0 when there is no storage */
  int NbElMax; /* size of the universe given at creation; never used as a bound */
  int NbEl;    /* number of elements */
  int* Ens;    /* Ens[0..NbEl-1], strictly ascending; null while size is 0 */
} EnsI;

typedef EnsI* t_EnsI;

/* Creation and release. */
t_EnsI InitEnsI(int size);      /* empty, no storage, NbElMax = size */
t_EnsI InitPleinEnsI(int size); /* {0, ..., size-1}; a negative size gives an empty set */
t_EnsI CopieEnsI(t_EnsI E);     /* same NbElMax, elements and capacity */
void FreeEnsI(t_EnsI E);        /* releases storage and record; null is ignored */
void VideEnsI(t_EnsI E);        /* releases the storage; the record stays usable */

/* Queries. */
int EstVideEnsI(t_EnsI E);
int AppartientEnsI(t_EnsI E, int e);
int IncluEnsI(t_EnsI A, t_EnsI B); /* 1 when A is a subset of B */
int EgalEnsI(t_EnsI A, t_EnsI B);
/* Total order: elementwise over the common prefix, then the shorter set first.
 * Returns -1, 0 or 1. */
int CompEnsI(t_EnsI A, t_EnsI B);
int GetCardEnsI(t_EnsI E);
/* The element at position i (0 is the smallest). REQUIRES: 0 <= i < NbEl. */
int GetElEnsI(t_EnsI E, int i);

/* Iteration, one walk at a time per set. GetNextElEnsI returns 1 and stores
 * the next element in *e, or returns 0 and leaves *e unchanged at the end. */
void InitItEnsI(t_EnsI E);
int GetNextElEnsI(t_EnsI E, int* e);

/* Adds e in its ordered place; nothing happens when e is already there. */
void AjoutEnsI(t_EnsI E, int e);

/* Set operations: new sets. NbElMax of the result is A's (for UnionEnsI, B's
 * when A is empty; for SupprimeEnsI, E's). */
t_EnsI InterEnsI(t_EnsI A, t_EnsI B);
t_EnsI UnionEnsI(t_EnsI A, t_EnsI B);
t_EnsI DiffEnsI(t_EnsI A, t_EnsI B);
t_EnsI SupprimeEnsI(t_EnsI E, int e);

/* One line on standard output: "0" for an empty set, else "p[1] + p[3] "
 * (PrintEnsIT: "t[...]"), then a newline. */
void PrintEnsIP(t_EnsI E);
void PrintEnsIT(t_EnsI E);

#ifdef __cplusplus
}
#endif

#endif
