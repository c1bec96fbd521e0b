// SPDX-License-Identifier: MIT
/* CListe: the library's generic container, a circular doubly linked list of
 * untyped data pointers with an optional 32-bucket hash index.
 *
 * - The list never owns its data: it stores the pointers given and never frees
 *   them.
 * - Traversal by callback (ParcoursListe, ParcoursInverse) with up to eight
 *   pass-through parameters; a non-null callback result stops the walk. Walks
 *   may nest (a callback may walk the same list again), up to 32767 deep. An
 *   exception that a C++ callback throws passes through the walk, which ends
 *   as if it had returned: its deferred deletions are carried out.
 * - Deferred deletion: an element removed while a traversal of its list runs is
 *   only marked, and unlinked when the outermost traversal ends.
 * - One process-wide cursor (the list and element last reached by a traversal
 *   or by ListePremier/ListeDernier) for the cursor operations.
 * - Misuse (invalid list, null datum for AjoutListe or AjoutFinListe, missing
 *   element, more than 32767 elements or nested traversals) and memory
 *   exhaustion end the process with abort(), after one line on standard error
 *   "CListe <operation>: <misuse>". The cursor insertions accept a null datum.
 * Single-threaded. Usable from C and C++. */
#ifndef QUARNEL_CLISTES_H
#define QUARNEL_CLISTES_H

#include <stdint.h>

#include "quarnel/SqTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Value of _ListHeader.check while the header is a valid list. */
#define kListeCheck ((int64_t)0xABCD4597)

typedef enum { LiStandard = 0, LiHashULong = 1 } LiListType;
typedef enum { IS_POINTER = 0, IS_HANDLE = 1 } LiDataType;

enum { kListeHashBuckets = 32 };

typedef struct _ListElem* P_ListElem;
typedef struct _ListHeader* CListe;

typedef struct _ListElem {
  int64_t check;      /* not used for elements */
  P_ListElem pSuc;    /* next element (the header after the last) */
  P_ListElem pPre;    /* previous element (the header before the first) */
  void* pDonnee;      /* the datum */
  int16_t ASupprimer; /* 1 when marked for deletion */
} _ListElem;

typedef struct _ListHash {
  LiDataType isHandle;               /* IS_HANDLE: the datum is a handle */
  SqSize_t offset;                   /* byte offset of the 64-bit key */
  CListe tabHash[kListeHashBuckets]; /* buckets: key modulo 32 */
} _ListHash;

/* The header starts with the five fields of an element: it is the sentinel of
 * its own circular list. */
typedef struct _ListHeader {
  int64_t check;          /* kListeCheck while valid */
  P_ListElem pSuc;        /* first element; the header when empty */
  P_ListElem pPre;        /* last element; the header when empty */
  void* pDonnee;          /* always null */
  int16_t ASupprimer;     /* elements marked for deletion */
  int16_t nbParcours;     /* traversals of this list now running */
  int16_t nbElem;         /* linked elements, marked ones included */
  LiListType liListType;
  struct _ListHash* pListPHash; /* null for a standard list */
} _ListHeader;

typedef struct CListeSauve {
  CListe pTeteParcours;
  P_ListElem hLastIndex;
} CListeSauve;

typedef void* (*ParcoursProcPtr)(void* pDonnee, void* param1, void* param2, void* param3,
                                 void* param4, void* param5, void* param6, void* param7,
                                 void* param8);

/* Creation and destruction. */
QX_API void ListeInit(void) QX_NOEXCEPT;
QX_API void ListeTrace(void) QX_NOEXCEPT;
/* A new empty standard list; never null (exhaustion aborts). */
QX_API CListe CreerListe(void) QX_NOEXCEPT;
QX_API CListe LiNew(LiListType liListType, LiDataType isHandle, SqSize_t offset) QX_NOEXCEPT;
/* Unlinks every element (the data are not freed). Not during a traversal of
 * the list. */
QX_API void ViderListe(CListe pTete) QX_NOEXCEPT;
/* Frees the list itself. It must be empty (ViderListe first) and not being
 * traversed: a list that still holds elements ends the process. Null is
 * accepted. */
QX_API void DetruireListe(CListe pTete) QX_NOEXCEPT;

/* Adding. */
QX_API P_ListElem AjoutListe(CListe pTete, void* pDonnee) QX_NOEXCEPT;
QX_API P_ListElem AjoutFinListe(CListe pTete, void* pDonnee) QX_NOEXCEPT;
QX_API Boolean AjoutUListe(CListe pTete, void* pDonnee) QX_NOEXCEPT;
QX_API Boolean AjoutUFinListe(CListe pTete, void* pDonnee) QX_NOEXCEPT;
QX_API void ParcoursInsereApres(void* pDonnee) QX_NOEXCEPT;
QX_API void ParcoursInsereAvant(void* pDonnee) QX_NOEXCEPT;

/* Removing. */
QX_API void EnleveElementIndex(CListe pTete, P_ListElem p_ListElem) QX_NOEXCEPT;
QX_API void EnleveElement(CListe pTete, void* pDonnee) QX_NOEXCEPT;
QX_API Boolean EnleveElementSiExiste(CListe pTete, void* pDonnee) QX_NOEXCEPT;
QX_API void EnleveElementCourant(void) QX_NOEXCEPT;
QX_API void ParcoursViderListe(CListe pTete) QX_NOEXCEPT;

/* Searching and counting. */
QX_API P_ListElem ChercheElement(CListe pTete, void* pDonnee) QX_NOEXCEPT;
QX_API void* FindInList(CListe pTete, LiDataType isHandle, const void* pRecherche, SqSize_t size,
                        SqSize_t offset) QX_NOEXCEPT;
QX_API void* FindInListHashHandleULong(CListe pTete, unsigned long ident, SqSize_t offset) QX_NOEXCEPT;
QX_API short NbElementListe(CListe pTete) QX_NOEXCEPT;
QX_API Boolean UnSeulElement(CListe pTete) QX_NOEXCEPT;

/* Traversal and cursor. */
QX_API void* ParcoursListe(CListe pTete, ParcoursProcPtr Action, void* param1, void* param2,
                           void* param3, void* param4, void* param5, void* param6, void* param7,
                           void* param8);
QX_API void* ParcoursInverse(CListe pTete, ParcoursProcPtr Action, void* param1, void* param2,
                             void* param3, void* param4, void* param5, void* param6, void* param7,
                             void* param8);
QX_API void* ListePremier(CListe pTete) QX_NOEXCEPT;
QX_API void* ListeDernier(CListe pTete) QX_NOEXCEPT;
QX_API void* ParcoursSuivant(void) QX_NOEXCEPT;
QX_API void* ParcoursPrecedent(void) QX_NOEXCEPT;
QX_API void ParcoursSauve(CListeSauve* cListeSauve) QX_NOEXCEPT;
QX_API void ParcoursRestore(CListeSauve* cListeSauve) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
