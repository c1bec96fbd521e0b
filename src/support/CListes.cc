// The generic list: a circular doubly linked list of untyped data pointers
// whose header is the sentinel element, with deferred deletion during
// traversals, one process-wide cursor and an optional 32-bucket hash index.
//
// Links (pSuc, pPre, pDonnee) are always read and written through an element
// pointer, the header's included (it is viewed as its own sentinel element);
// the header's own fields (check, counters, type, index) only through the
// header. Misuse and exhaustion end the process with abort(), without a
// message: the list's callers have no failure path to take.
#include <cstdlib>
#include <cstring>

#include "quarnel/CListes.h"
#include "quarnel/QXMemory.h"

namespace {

constexpr int16_t kMaxCount = INT16_MAX;

// The cursor: the list and element last reached by a traversal or by
// ListePremier/ListeDernier. hLastIndex may be the list's header (a search
// that found nothing).
CListe g_pTeteParcours = nullptr;
P_ListElem g_hLastIndex = nullptr;

[[noreturn]] void Fatal() { std::abort(); }

P_ListElem Sentinel(CListe pTete) { return reinterpret_cast<P_ListElem>(pTete); }

bool IsValid(CListe pTete) { return pTete != nullptr && pTete->check == kListeCheck; }

void RequireValid(CListe pTete) {
  if (!IsValid(pTete)) Fatal();
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

CListe BucketOf(CListe pTete, const void* pDonnee) {
  _ListHash* hash = pTete->pListPHash;
  if (hash == nullptr) Fatal();
  const unsigned char* record = RecordOf(pDonnee, hash->isHandle);
  if (record == nullptr) Fatal();
  uint64_t key = 0;
  std::memcpy(&key, record + hash->offset, sizeof key);
  return hash->tabHash[key % kListeHashBuckets];
}

// Links a new element holding pDonnee after pos, files the datum in its hash
// bucket, and returns the element.
P_ListElem InsertAfter(CListe pTete, P_ListElem pos, void* pDonnee) {
  if (pDonnee == nullptr) Fatal();
  if (pTete->nbElem >= kMaxCount) Fatal();
  auto elem = static_cast<P_ListElem>(QxCalloc(sizeof(_ListElem)));
  if (elem == nullptr) Fatal();
  elem->pDonnee = pDonnee;
  elem->ASupprimer = 0;
  elem->pPre = pos;
  elem->pSuc = pos->pSuc;
  pos->pSuc->pPre = elem;
  pos->pSuc = elem;
  ++pTete->nbElem;
  if (pTete->liListType == LiHashULong) {
    CListe bucket = BucketOf(pTete, pDonnee);
    InsertAfter(bucket, Sentinel(bucket), pDonnee);
  }
  return elem;
}

// First unmarked element holding pDonnee, or null.
P_ListElem FindUnmarked(CListe pTete, const void* pDonnee) {
  P_ListElem end = Sentinel(pTete);
  for (P_ListElem e = end->pSuc; e != end; e = e->pSuc) {
    if (e->ASupprimer == 0 && e->pDonnee == pDonnee) return e;
  }
  return nullptr;
}

// Unlinks and frees every element of a list that no traversal runs over.
void FreeElements(CListe pTete) {
  P_ListElem end = Sentinel(pTete);
  P_ListElem e = end->pSuc;
  while (e != end) {
    P_ListElem next = e->pSuc;
    if (g_hLastIndex == e) ClearCursor();
    QxFree(e);
    e = next;
  }
  end->pSuc = end;
  end->pPre = end;
  pTete->ASupprimer = 0;
  pTete->nbParcours = 0;
  pTete->nbElem = 0;
}

// The first element from start on (following pSuc, or pPre when backwards)
// that is not waiting for deletion; the header when there is none.
P_ListElem SkipMarked(CListe pTete, P_ListElem start, bool backwards) {
  P_ListElem end = Sentinel(pTete);
  P_ListElem e = start;
  while (e != end && e->ASupprimer != 0) e = backwards ? e->pPre : e->pSuc;
  return e;
}

void* DatumOf(CListe pTete, P_ListElem e) { return e == Sentinel(pTete) ? nullptr : e->pDonnee; }

// End of a traversal: when the outermost one ends, the marked elements are
// unlinked for good.
void EndTraversal(CListe pTete) {
  --pTete->nbParcours;
  if (pTete->nbParcours != 0 || pTete->ASupprimer == 0) return;
  P_ListElem end = Sentinel(pTete);
  P_ListElem e = end->pSuc;
  while (pTete->ASupprimer > 0) {
    if (e == end) Fatal();
    P_ListElem next = e->pSuc;
    if (e->ASupprimer != 0) {
      EnleveElementIndex(pTete, e);
      --pTete->ASupprimer;
    }
    e = next;
  }
}

void* Traverse(CListe pTete, bool backwards, ParcoursProcPtr Action, void* p1, void* p2, void* p3,
               void* p4, void* p5, void* p6, void* p7, void* p8) {
  RequireValid(pTete);
  if (Action == nullptr) Fatal();
  if (pTete->nbParcours >= kMaxCount) Fatal();
  ++pTete->nbParcours;
  P_ListElem end = Sentinel(pTete);
  void* result = nullptr;
  for (P_ListElem e = backwards ? end->pPre : end->pSuc; e != end;) {
    if (e->ASupprimer == 0) {
      g_pTeteParcours = pTete;
      g_hLastIndex = e;
      result = Action(e->pDonnee, p1, p2, p3, p4, p5, p6, p7, p8);
      if (result != nullptr) break;
    }
    // Read after the call: an element the callback inserted next is visited.
    e = backwards ? e->pPre : e->pSuc;
  }
  EndTraversal(pTete);
  return result;
}

void* CursorScan(bool backwards) {
  if (g_pTeteParcours == nullptr || g_hLastIndex == nullptr) return nullptr;
  P_ListElem start = backwards ? g_hLastIndex->pPre : g_hLastIndex->pSuc;
  return DatumOf(g_pTeteParcours, SkipMarked(g_pTeteParcours, start, backwards));
}

void* MoveCursorToEnd(CListe pTete, bool backwards) {
  RequireValid(pTete);
  P_ListElem end = Sentinel(pTete);
  P_ListElem e = SkipMarked(pTete, backwards ? end->pPre : end->pSuc, backwards);
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
  if (liListType != LiStandard && liListType != LiHashULong) Fatal();
  auto pTete = static_cast<CListe>(QxCalloc(sizeof(_ListHeader)));
  if (pTete == nullptr) Fatal();
  pTete->check = kListeCheck;
  pTete->liListType = liListType;
  P_ListElem end = Sentinel(pTete);
  end->pSuc = end;
  end->pPre = end;
  end->pDonnee = nullptr;
  if (liListType == LiHashULong) {
    auto hash = static_cast<_ListHash*>(QxCalloc(sizeof(_ListHash)));
    if (hash == nullptr) Fatal();
    hash->isHandle = isHandle;
    hash->offset = offset;
    for (CListe& bucket : hash->tabHash) bucket = CreerListe();
    pTete->pListPHash = hash;
  }
  return pTete;
}

void ViderListe(CListe pTete) noexcept {
  RequireValid(pTete);
  if (pTete->nbParcours != 0) Fatal();
  FreeElements(pTete);
  if (pTete->pListPHash != nullptr) {
    for (CListe bucket : pTete->pListPHash->tabHash) ViderListe(bucket);
  }
}

void DetruireListe(CListe pTete) noexcept {
  if (pTete == nullptr) return;
  RequireValid(pTete);
  if (pTete->nbElem != 0 || pTete->nbParcours != 0) Fatal();
  if (pTete->pListPHash != nullptr) {
    for (CListe bucket : pTete->pListPHash->tabHash) DetruireListe(bucket);
    QxFree(pTete->pListPHash);
  }
  if (g_pTeteParcours == pTete) ClearCursor();
  pTete->check = 0;
  QxFree(pTete);
}

P_ListElem AjoutListe(CListe pTete, void* pDonnee) noexcept {
  RequireValid(pTete);
  return InsertAfter(pTete, Sentinel(pTete), pDonnee);
}

P_ListElem AjoutFinListe(CListe pTete, void* pDonnee) noexcept {
  RequireValid(pTete);
  return InsertAfter(pTete, Sentinel(pTete)->pPre, pDonnee);
}

Boolean AjoutUListe(CListe pTete, void* pDonnee) noexcept {
  if (ChercheElement(pTete, pDonnee) != nullptr) return 0;
  AjoutListe(pTete, pDonnee);
  return 1;
}

Boolean AjoutUFinListe(CListe pTete, void* pDonnee) noexcept {
  if (ChercheElement(pTete, pDonnee) != nullptr) return 0;
  AjoutFinListe(pTete, pDonnee);
  return 1;
}

void ParcoursInsereApres(void* pDonnee) noexcept {
  if (g_pTeteParcours == nullptr || g_hLastIndex == nullptr) return;
  RequireValid(g_pTeteParcours);
  InsertAfter(g_pTeteParcours, g_hLastIndex, pDonnee);
}

void ParcoursInsereAvant(void* pDonnee) noexcept {
  if (g_pTeteParcours == nullptr || g_hLastIndex == nullptr) return;
  RequireValid(g_pTeteParcours);
  InsertAfter(g_pTeteParcours, g_hLastIndex->pPre, pDonnee);
}

void EnleveElementIndex(CListe pTete, P_ListElem p_ListElem) noexcept {
  RequireValid(pTete);
  if (p_ListElem == nullptr || p_ListElem == Sentinel(pTete)) Fatal();
  // An element already waiting for deletion cannot be removed again while the
  // traversal that delays it runs.
  if (p_ListElem->ASupprimer != 0 && pTete->nbParcours > 0) Fatal();
  if (pTete->liListType == LiHashULong && p_ListElem->pDonnee != nullptr) {
    EnleveElement(BucketOf(pTete, p_ListElem->pDonnee), p_ListElem->pDonnee);
    p_ListElem->pDonnee = nullptr;
  }
  if (pTete->nbParcours > 0) {
    p_ListElem->ASupprimer = 1;
    ++pTete->ASupprimer;
    return;
  }
  p_ListElem->pPre->pSuc = p_ListElem->pSuc;
  p_ListElem->pSuc->pPre = p_ListElem->pPre;
  if (g_hLastIndex == p_ListElem) ClearCursor();
  QxFree(p_ListElem);
  --pTete->nbElem;
}

void EnleveElement(CListe pTete, void* pDonnee) noexcept {
  RequireValid(pTete);
  P_ListElem e = FindUnmarked(pTete, pDonnee);
  if (e == nullptr) Fatal();
  EnleveElementIndex(pTete, e);
}

Boolean EnleveElementSiExiste(CListe pTete, void* pDonnee) noexcept {
  RequireValid(pTete);
  P_ListElem e = FindUnmarked(pTete, pDonnee);
  if (e == nullptr) return 0;
  EnleveElementIndex(pTete, e);
  return 1;
}

void EnleveElementCourant(void) noexcept {
  if (g_pTeteParcours == nullptr || g_hLastIndex == nullptr) Fatal();
  if (g_hLastIndex == Sentinel(g_pTeteParcours) || g_hLastIndex->ASupprimer != 0) Fatal();
  EnleveElementIndex(g_pTeteParcours, g_hLastIndex);
}

void ParcoursViderListe(CListe pTete) noexcept {
  RequireValid(pTete);
  if (pTete->nbParcours == 0) Fatal();
  P_ListElem end = Sentinel(pTete);
  for (P_ListElem e = end->pSuc; e != end; e = e->pSuc) {
    if (e->ASupprimer == 0) EnleveElementIndex(pTete, e);
  }
}

P_ListElem ChercheElement(CListe pTete, void* pDonnee) noexcept {
  RequireValid(pTete);
  return FindUnmarked(pTete, pDonnee);
}

void* FindInList(CListe pTete, LiDataType isHandle, const void* pRecherche, SqSize_t size,
                 SqSize_t offset) noexcept {
  RequireValid(pTete);
  if (size != 0 && pRecherche == nullptr) return nullptr;
  P_ListElem end = Sentinel(pTete);
  for (P_ListElem e = end->pSuc; e != end; e = e->pSuc) {
    if (e->ASupprimer != 0 || e->pDonnee == nullptr) continue;
    if (size == 0) return e->pDonnee;
    const unsigned char* record = RecordOf(e->pDonnee, isHandle);
    if (record != nullptr && std::memcmp(record + offset, pRecherche, size) == 0) {
      return e->pDonnee;
    }
  }
  return nullptr;
}

void* FindInListHashHandleULong(CListe pTete, unsigned long ident, SqSize_t offset) noexcept {
  RequireValid(pTete);
  _ListHash* hash = pTete->pListPHash;
  if (hash == nullptr) Fatal();
  uint64_t key = ident;
  // The index's own record form: a list of plain pointers is searched through
  // its pointers rather than misread as handles.
  return FindInList(hash->tabHash[key % kListeHashBuckets], hash->isHandle, &key, sizeof key,
                    offset);
}

short NbElementListe(CListe pTete) noexcept {
  RequireValid(pTete);
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
  return Traverse(pTete, false, Action, param1, param2, param3, param4, param5, param6, param7,
                  param8);
}

void* ParcoursInverse(CListe pTete, ParcoursProcPtr Action, void* param1, void* param2,
                      void* param3, void* param4, void* param5, void* param6, void* param7,
                      void* param8) {
  return Traverse(pTete, true, Action, param1, param2, param3, param4, param5, param6, param7,
                  param8);
}

void* ListePremier(CListe pTete) noexcept { return MoveCursorToEnd(pTete, false); }

void* ListeDernier(CListe pTete) noexcept { return MoveCursorToEnd(pTete, true); }

void* ParcoursSuivant(void) noexcept { return CursorScan(false); }

void* ParcoursPrecedent(void) noexcept { return CursorScan(true); }

void ParcoursSauve(CListeSauve* cListeSauve) noexcept {
  if (cListeSauve == nullptr) Fatal();
  cListeSauve->pTeteParcours = g_pTeteParcours;
  cListeSauve->hLastIndex = g_hLastIndex;
}

void ParcoursRestore(CListeSauve* cListeSauve) noexcept {
  if (cListeSauve == nullptr) Fatal();
  g_pTeteParcours = cListeSauve->pTeteParcours;
  g_hLastIndex = cListeSauve->hLastIndex;
}

}  // extern "C"
