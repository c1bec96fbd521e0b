// SPDX-License-Identifier: MIT
// The generic list: a circular doubly linked list of untyped data pointers
// whose header is the sentinel element, with deferred deletion during
// traversals, one process-wide cursor and an optional 32-bucket hash index.
//
// Links (pSuc, pPre, pDonnee, ASupprimer of an element) are always read and
// written through the Links view below, the header's included (it is its own
// sentinel element); the header's own fields (check, counters, type, index)
// only through the header. Misuse and exhaustion end the process with abort()
// after one line on standard error: the list's callers have no failure path
// to take.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quarnel/CListes.h"
#include "quarnel/QXMemory.h"

namespace {

constexpr int16_t kMaxCount = INT16_MAX;

// The header begins with the five fields of an element and serves as the
// sentinel of its own circular list, so an element pointer may designate a
// header. Links are therefore read and written through this view, which the
// compiler is told may alias any object: no access relies on the two record
// types being treated as one by the optimiser.
struct __attribute__((may_alias)) Links {
  int64_t check;
  P_ListElem pSuc;
  P_ListElem pPre;
  void* pDonnee;
  int16_t ASupprimer;
};
static_assert(offsetof(Links, pSuc) == offsetof(_ListElem, pSuc) &&
              offsetof(Links, pPre) == offsetof(_ListElem, pPre) &&
              offsetof(Links, pDonnee) == offsetof(_ListElem, pDonnee) &&
              offsetof(Links, ASupprimer) == offsetof(_ListElem, ASupprimer));
static_assert(offsetof(Links, pSuc) == offsetof(_ListHeader, pSuc) &&
              offsetof(Links, pPre) == offsetof(_ListHeader, pPre) &&
              offsetof(Links, pDonnee) == offsetof(_ListHeader, pDonnee) &&
              offsetof(Links, ASupprimer) == offsetof(_ListHeader, ASupprimer));

Links& L(P_ListElem e) { return *reinterpret_cast<Links*>(e); }

// The cursor: the list and element last reached by a traversal or by
// ListePremier/ListeDernier. hLastIndex may be the list's header (a search
// that found nothing).
CListe g_pTeteParcours = nullptr;
P_ListElem g_hLastIndex = nullptr;

// Misuse and exhaustion: one line on standard error naming the operation and
// what went wrong, then abort(). Nothing is allocated on the way.
[[noreturn]] void Fatal(const char* operation, const char* misuse) {
  std::fprintf(stderr, "CListe %s: %s\n", operation, misuse);
  std::abort();
}

P_ListElem Sentinel(CListe pTete) { return reinterpret_cast<P_ListElem>(pTete); }

bool IsValid(CListe pTete) { return pTete != nullptr && pTete->check == kListeCheck; }

void RequireValid(const char* operation, CListe pTete) {
  if (pTete == nullptr) Fatal(operation, "null list");
  if (!IsValid(pTete)) Fatal(operation, "invalid list");
}

void ClearCursor() {
  g_pTeteParcours = nullptr;
  g_hLastIndex = nullptr;
}

// The record a datum stands for: the datum itself, or the block its handle
// points at.
const unsigned char* RecordOf(const void* pDonnee, LiDataType isHandle) {
  if (isHandle == IS_HANDLE) return *static_cast<unsigned char* const*>(pDonnee);
  return static_cast<const unsigned char*>(pDonnee);
}

CListe BucketOf(const char* operation, CListe pTete, const void* pDonnee) {
  _ListHash* hash = pTete->pListPHash;
  if (hash == nullptr) Fatal(operation, "hash list without index");
  const unsigned char* record = RecordOf(pDonnee, hash->isHandle);
  if (record == nullptr) Fatal(operation, "hashed datum without record");
  uint64_t key = 0;
  std::memcpy(&key, record + hash->offset, sizeof key);
  return hash->tabHash[key % kListeHashBuckets];
}

// Links a new element holding pDonnee after pos, files the datum in its hash
// bucket, and returns the element. A null datum has no key: it is linked in
// the list only.
P_ListElem InsertAfter(const char* operation, CListe pTete, P_ListElem pos, void* pDonnee) {
  if (pTete->nbElem >= kMaxCount) Fatal(operation, "more than 32767 elements");
  auto elem = static_cast<P_ListElem>(QxCalloc(sizeof(_ListElem)));
  if (elem == nullptr) Fatal(operation, "memory exhausted");
  elem->pDonnee = pDonnee;
  elem->ASupprimer = 0;
  elem->pPre = pos;
  elem->pSuc = L(pos).pSuc;
  L(L(pos).pSuc).pPre = elem;
  L(pos).pSuc = elem;
  ++pTete->nbElem;
  if (pTete->liListType == LiHashULong && pDonnee != nullptr) {
    CListe bucket = BucketOf(operation, pTete, pDonnee);
    InsertAfter(operation, bucket, Sentinel(bucket), pDonnee);
  }
  return elem;
}

// The two appending operations refuse a null datum.
P_ListElem Append(const char* operation, CListe pTete, bool atEnd, void* pDonnee) {
  RequireValid(operation, pTete);
  if (pDonnee == nullptr) Fatal(operation, "null datum");
  P_ListElem end = Sentinel(pTete);
  return InsertAfter(operation, pTete, atEnd ? L(end).pPre : end, pDonnee);
}

// Inserts beside the cursor element; nothing when there is no cursor.
void InsertAtCursor(const char* operation, bool before, void* pDonnee) {
  if (g_pTeteParcours == nullptr || g_hLastIndex == nullptr) return;
  RequireValid(operation, g_pTeteParcours);
  InsertAfter(operation, g_pTeteParcours, before ? L(g_hLastIndex).pPre : g_hLastIndex, pDonnee);
}

// First unmarked element holding pDonnee, or null.
P_ListElem FindUnmarked(CListe pTete, const void* pDonnee) {
  P_ListElem end = Sentinel(pTete);
  for (P_ListElem e = L(end).pSuc; e != end; e = L(e).pSuc) {
    if (L(e).ASupprimer == 0 && L(e).pDonnee == pDonnee) return e;
  }
  return nullptr;
}

// Removes an element: its datum leaves the hash bucket at once; the element
// is marked while a traversal of the list runs, else unlinked and freed.
void RemoveElement(const char* operation, CListe pTete, P_ListElem p_ListElem);

// Removes the first unmarked element holding pDonnee; fatal when there is none.
void RemoveDatum(const char* operation, CListe pTete, void* pDonnee) {
  RequireValid(operation, pTete);
  P_ListElem e = FindUnmarked(pTete, pDonnee);
  if (e == nullptr) Fatal(operation, "datum not in the list");
  RemoveElement(operation, pTete, e);
}

void RemoveElement(const char* operation, CListe pTete, P_ListElem p_ListElem) {
  RequireValid(operation, pTete);
  if (p_ListElem == nullptr) Fatal(operation, "null element");
  if (p_ListElem == Sentinel(pTete)) Fatal(operation, "element is the list header");
  // An element already waiting for deletion cannot be removed again while the
  // traversal that delays it runs.
  if (L(p_ListElem).ASupprimer != 0 && pTete->nbParcours > 0) {
    Fatal(operation, "element already removed");
  }
  if (pTete->liListType == LiHashULong && L(p_ListElem).pDonnee != nullptr) {
    RemoveDatum(operation, BucketOf(operation, pTete, L(p_ListElem).pDonnee),
                L(p_ListElem).pDonnee);
    L(p_ListElem).pDonnee = nullptr;
  }
  if (pTete->nbParcours > 0) {
    L(p_ListElem).ASupprimer = 1;
    ++pTete->ASupprimer;
    return;
  }
  L(L(p_ListElem).pPre).pSuc = L(p_ListElem).pSuc;
  L(L(p_ListElem).pSuc).pPre = L(p_ListElem).pPre;
  if (g_hLastIndex == p_ListElem) ClearCursor();
  QxFree(p_ListElem);
  --pTete->nbElem;
}

// Unlinks and frees every element of a list that no traversal runs over.
void FreeElements(CListe pTete) {
  P_ListElem end = Sentinel(pTete);
  P_ListElem e = L(end).pSuc;
  while (e != end) {
    P_ListElem next = L(e).pSuc;
    if (g_hLastIndex == e) ClearCursor();
    QxFree(e);
    e = next;
  }
  L(end).pSuc = end;
  L(end).pPre = end;
  pTete->ASupprimer = 0;
  pTete->nbParcours = 0;
  pTete->nbElem = 0;
}

// The first element from start on (following pSuc, or pPre when backwards)
// that is not waiting for deletion; the header when there is none.
P_ListElem SkipMarked(CListe pTete, P_ListElem start, bool backwards) {
  P_ListElem end = Sentinel(pTete);
  P_ListElem e = start;
  while (e != end && L(e).ASupprimer != 0) e = backwards ? L(e).pPre : L(e).pSuc;
  return e;
}

void* DatumOf(CListe pTete, P_ListElem e) {
  return e == Sentinel(pTete) ? nullptr : L(e).pDonnee;
}

// End of a traversal: when the outermost one ends, the marked elements are
// unlinked for good.
void EndTraversal(const char* operation, CListe pTete) {
  --pTete->nbParcours;
  if (pTete->nbParcours != 0 || pTete->ASupprimer == 0) return;
  P_ListElem end = Sentinel(pTete);
  P_ListElem e = L(end).pSuc;
  while (pTete->ASupprimer > 0) {
    if (e == end) Fatal(operation, "inconsistent count of removed elements");
    P_ListElem next = L(e).pSuc;
    if (L(e).ASupprimer != 0) {
      RemoveElement(operation, pTete, e);
      --pTete->ASupprimer;
    }
    e = next;
  }
}

// One running traversal of a list, counted for its lifetime: however the walk
// ends (a callback's result, the end of the list, or an exception that a
// callback lets out), the count is taken back and the deletions it deferred
// are carried out.
class TraversalScope {
 public:
  TraversalScope(const char* operation, CListe pTete) : operation_(operation), pTete_(pTete) {
    if (pTete->nbParcours >= kMaxCount) Fatal(operation, "more than 32767 nested traversals");
    ++pTete->nbParcours;
  }
  ~TraversalScope() { EndTraversal(operation_, pTete_); }
  TraversalScope(const TraversalScope&) = delete;
  TraversalScope& operator=(const TraversalScope&) = delete;

 private:
  const char* operation_;
  CListe pTete_;
};

void* Traverse(const char* operation, CListe pTete, bool backwards, ParcoursProcPtr Action,
               void* p1, void* p2, void* p3, void* p4, void* p5, void* p6, void* p7, void* p8) {
  RequireValid(operation, pTete);
  if (Action == nullptr) Fatal(operation, "null callback");
  const TraversalScope traversal(operation, pTete);
  P_ListElem end = Sentinel(pTete);
  void* result = nullptr;
  for (P_ListElem e = backwards ? L(end).pPre : L(end).pSuc; e != end;) {
    if (L(e).ASupprimer == 0) {
      g_pTeteParcours = pTete;
      g_hLastIndex = e;
      result = Action(L(e).pDonnee, p1, p2, p3, p4, p5, p6, p7, p8);
      if (result != nullptr) break;
    }
    // Read after the call: an element the callback inserted next is visited.
    e = backwards ? L(e).pPre : L(e).pSuc;
  }
  return result;
}

void* CursorScan(bool backwards) {
  if (g_pTeteParcours == nullptr || g_hLastIndex == nullptr) return nullptr;
  P_ListElem start = backwards ? L(g_hLastIndex).pPre : L(g_hLastIndex).pSuc;
  return DatumOf(g_pTeteParcours, SkipMarked(g_pTeteParcours, start, backwards));
}

void* MoveCursorToEnd(const char* operation, CListe pTete, bool backwards) {
  RequireValid(operation, pTete);
  P_ListElem end = Sentinel(pTete);
  P_ListElem e = SkipMarked(pTete, backwards ? L(end).pPre : L(end).pSuc, backwards);
  g_pTeteParcours = pTete;
  g_hLastIndex = e;
  return DatumOf(pTete, e);
}

}  // namespace

extern "C" {

void ListeInit(void) noexcept { ClearCursor(); }

void ListeTrace(void) noexcept {}

CListe CreerListe(void) noexcept { return LiNew(LiStandard, IS_POINTER, 0); }

CListe LiNew(LiListType liListType, LiDataType isHandle, SqSize_t offset) noexcept {
  if (liListType != LiStandard && liListType != LiHashULong) Fatal("LiNew", "unknown list type");
  auto pTete = static_cast<CListe>(QxCalloc(sizeof(_ListHeader)));
  if (pTete == nullptr) Fatal("LiNew", "memory exhausted");
  pTete->check = kListeCheck;
  pTete->liListType = liListType;
  P_ListElem end = Sentinel(pTete);
  L(end).pSuc = end;
  L(end).pPre = end;
  L(end).pDonnee = nullptr;
  if (liListType == LiHashULong) {
    auto hash = static_cast<_ListHash*>(QxCalloc(sizeof(_ListHash)));
    if (hash == nullptr) Fatal("LiNew", "memory exhausted");
    hash->isHandle = isHandle;
    hash->offset = offset;
    for (CListe& bucket : hash->tabHash) bucket = CreerListe();
    pTete->pListPHash = hash;
  }
  return pTete;
}

void ViderListe(CListe pTete) noexcept {
  RequireValid("ViderListe", pTete);
  if (pTete->nbParcours != 0) Fatal("ViderListe", "a traversal of the list is running");
  FreeElements(pTete);
  if (pTete->pListPHash != nullptr) {
    for (CListe bucket : pTete->pListPHash->tabHash) ViderListe(bucket);
  }
}

void DetruireListe(CListe pTete) noexcept {
  if (pTete == nullptr) return;
  RequireValid("DetruireListe", pTete);
  if (pTete->nbElem != 0) Fatal("DetruireListe", "the list still has elements");
  if (pTete->nbParcours != 0) Fatal("DetruireListe", "a traversal of the list is running");
  if (pTete->pListPHash != nullptr) {
    for (CListe bucket : pTete->pListPHash->tabHash) DetruireListe(bucket);
    QxFree(pTete->pListPHash);
  }
  if (g_pTeteParcours == pTete) ClearCursor();
  pTete->check = 0;
  QxFree(pTete);
}

P_ListElem AjoutListe(CListe pTete, void* pDonnee) noexcept {
  return Append("AjoutListe", pTete, false, pDonnee);
}

P_ListElem AjoutFinListe(CListe pTete, void* pDonnee) noexcept {
  return Append("AjoutFinListe", pTete, true, pDonnee);
}

Boolean AjoutUListe(CListe pTete, void* pDonnee) noexcept {
  RequireValid("AjoutUListe", pTete);
  if (FindUnmarked(pTete, pDonnee) != nullptr) return 0;
  Append("AjoutUListe", pTete, false, pDonnee);
  return 1;
}

Boolean AjoutUFinListe(CListe pTete, void* pDonnee) noexcept {
  RequireValid("AjoutUFinListe", pTete);
  if (FindUnmarked(pTete, pDonnee) != nullptr) return 0;
  Append("AjoutUFinListe", pTete, true, pDonnee);
  return 1;
}

void ParcoursInsereApres(void* pDonnee) noexcept {
  InsertAtCursor("ParcoursInsereApres", false, pDonnee);
}

void ParcoursInsereAvant(void* pDonnee) noexcept {
  InsertAtCursor("ParcoursInsereAvant", true, pDonnee);
}

void EnleveElementIndex(CListe pTete, P_ListElem p_ListElem) noexcept {
  RemoveElement("EnleveElementIndex", pTete, p_ListElem);
}

void EnleveElement(CListe pTete, void* pDonnee) noexcept {
  RemoveDatum("EnleveElement", pTete, pDonnee);
}

Boolean EnleveElementSiExiste(CListe pTete, void* pDonnee) noexcept {
  RequireValid("EnleveElementSiExiste", pTete);
  P_ListElem e = FindUnmarked(pTete, pDonnee);
  if (e == nullptr) return 0;
  RemoveElement("EnleveElementSiExiste", pTete, e);
  return 1;
}

void EnleveElementCourant(void) noexcept {
  constexpr const char* kOperation = "EnleveElementCourant";
  if (g_pTeteParcours == nullptr || g_hLastIndex == nullptr) Fatal(kOperation, "no cursor");
  if (g_hLastIndex == Sentinel(g_pTeteParcours)) Fatal(kOperation, "cursor on the list header");
  if (L(g_hLastIndex).ASupprimer != 0) Fatal(kOperation, "cursor element already removed");
  RemoveElement(kOperation, g_pTeteParcours, g_hLastIndex);
}

void ParcoursViderListe(CListe pTete) noexcept {
  RequireValid("ParcoursViderListe", pTete);
  if (pTete->nbParcours == 0) Fatal("ParcoursViderListe", "no traversal of the list is running");
  P_ListElem end = Sentinel(pTete);
  for (P_ListElem e = L(end).pSuc; e != end; e = L(e).pSuc) {
    if (L(e).ASupprimer == 0) RemoveElement("ParcoursViderListe", pTete, e);
  }
}

P_ListElem ChercheElement(CListe pTete, void* pDonnee) noexcept {
  RequireValid("ChercheElement", pTete);
  return FindUnmarked(pTete, pDonnee);
}

void* FindInList(CListe pTete, LiDataType isHandle, const void* pRecherche, SqSize_t size,
                 SqSize_t offset) noexcept {
  RequireValid("FindInList", pTete);
  if (size != 0 && pRecherche == nullptr) return nullptr;
  P_ListElem end = Sentinel(pTete);
  for (P_ListElem e = L(end).pSuc; e != end; e = L(e).pSuc) {
    if (L(e).ASupprimer != 0 || L(e).pDonnee == nullptr) continue;
    if (size == 0) return L(e).pDonnee;
    const unsigned char* record = RecordOf(L(e).pDonnee, isHandle);
    if (record != nullptr && std::memcmp(record + offset, pRecherche, size) == 0) {
      return L(e).pDonnee;
    }
  }
  return nullptr;
}

void* FindInListHashHandleULong(CListe pTete, unsigned long ident, SqSize_t offset) noexcept {
  RequireValid("FindInListHashHandleULong", pTete);
  _ListHash* hash = pTete->pListPHash;
  if (hash == nullptr) Fatal("FindInListHashHandleULong", "list without hash index");
  uint64_t key = ident;
  // The index's own record form: a list of plain pointers is searched through
  // its pointers rather than misread as handles.
  return FindInList(hash->tabHash[key % kListeHashBuckets], hash->isHandle, &key, sizeof key,
                    offset);
}

short NbElementListe(CListe pTete) noexcept {
  RequireValid("NbElementListe", pTete);
  return static_cast<short>(pTete->nbElem - pTete->ASupprimer);
}

Boolean UnSeulElement(CListe pTete) noexcept {
  void* first = ListePremier(pTete);
  if (first == nullptr) return 0;
  return ListeDernier(pTete) == first ? 1 : 0;
}

void* ParcoursListe(CListe pTete, ParcoursProcPtr Action, void* param1, void* param2,
                    void* param3, void* param4, void* param5, void* param6, void* param7,
                    void* param8) {
  return Traverse("ParcoursListe", pTete, false, Action, param1, param2, param3, param4, param5,
                  param6, param7, param8);
}

void* ParcoursInverse(CListe pTete, ParcoursProcPtr Action, void* param1, void* param2,
                      void* param3, void* param4, void* param5, void* param6, void* param7,
                      void* param8) {
  return Traverse("ParcoursInverse", pTete, true, Action, param1, param2, param3, param4, param5,
                  param6, param7, param8);
}

void* ListePremier(CListe pTete) noexcept { return MoveCursorToEnd("ListePremier", pTete, false); }

void* ListeDernier(CListe pTete) noexcept { return MoveCursorToEnd("ListeDernier", pTete, true); }

void* ParcoursSuivant(void) noexcept { return CursorScan(false); }

void* ParcoursPrecedent(void) noexcept { return CursorScan(true); }

void ParcoursSauve(CListeSauve* cListeSauve) noexcept {
  if (cListeSauve == nullptr) Fatal("ParcoursSauve", "null save record");
  cListeSauve->pTeteParcours = g_pTeteParcours;
  cListeSauve->hLastIndex = g_hLastIndex;
}

void ParcoursRestore(CListeSauve* cListeSauve) noexcept {
  if (cListeSauve == nullptr) Fatal("ParcoursRestore", "null save record");
  g_pTeteParcours = cListeSauve->pTeteParcours;
  g_hLastIndex = cListeSauve->hLastIndex;
}

}  // extern "C"
