// SPDX-License-Identifier: MIT
// The matrix reader, from a whole matrix file: the bytes become the file, the
// reader's entry reads it, and a net that was read is written as a PEP file.
//
// Oracles: the neighbour sets agree with each other and with the arc count,
// every set is strictly ascending and within its universe, and the PEP file
// has exactly one line per node and per arc under its section headers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "TypePN.h"
#include "fuzz_support.h"
#include "net_reader.h"

namespace {

constexpr long kMaxNodesWritten = 20000;

void CheckSet(t_EnsI set, int universe) {
  if (set == nullptr) qxfuzz::Fail("a neighbour set is missing");
  for (int i = 0; i < set->NbEl; ++i) {
    const int v = set->Ens[i];
    if (v < 0 || v >= universe) qxfuzz::Fail("a set element is out of its universe");
    if (i > 0 && set->Ens[i - 1] >= v) qxfuzz::Fail("a set is not strictly ascending");
  }
}

// Number of lines of the file, or -1 when it cannot be read or its last line
// has no line feed.
long CountLines(const std::string& path, std::string* head) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  char buf[1 << 16];
  long lines = 0;
  char last = '\n';
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) {
    if (head->size() < 32) head->append(buf, std::min<size_t>(n, 32));
    for (const char* p = buf; (p = static_cast<const char*>(std::memchr(p, '\n', buf + n - p))); ++p) {
      ++lines;
    }
    last = buf[n - 1];
  }
  std::fclose(file);
  return last == '\n' ? lines : -1;
}

void CheckNet() {
  if (NbPlaces < 0 || NbTrans < 0) qxfuzz::Fail("negative counts were accepted");
  long arcsPT = 0;
  long arcsTP = 0;
  for (int p = 0; p < NbPlaces; ++p) {
    CheckSet(Pl[p].TrIn, NbTrans);
    CheckSet(Pl[p].TrOut, NbTrans);
    arcsTP += Pl[p].TrIn->NbEl;
    arcsPT += Pl[p].TrOut->NbEl;
  }
  long plIn = 0;
  long plOut = 0;
  for (int t = 0; t < NbTrans; ++t) {
    CheckSet(Tr[t].PlIn, NbPlaces);
    CheckSet(Tr[t].PlOut, NbPlaces);
    plIn += Tr[t].PlIn->NbEl;
    plOut += Tr[t].PlOut->NbEl;
  }
  if (plIn != arcsPT || plOut != arcsTP) qxfuzz::Fail("place and transition sets disagree");
  if (NbArcs != arcsPT + arcsTP) qxfuzz::Fail("NbArcs is not the number of arcs");
  CheckSet(Marking, NbPlaces > 0 ? NbPlaces : 1);
  // Small nets: every matrix entry against the sets.
  if (static_cast<long>(NbPlaces) * NbTrans <= 4096 && Pre != nullptr && Post != nullptr) {
    for (int p = 0; p < NbPlaces; ++p) {
      long pre = 0;
      long post = 0;
      for (int t = 0; t < NbTrans; ++t) {
        pre += Pre[p][t] > 0;
        post += Post[p][t] > 0;
      }
      if (pre != Pl[p].TrOut->NbEl || post != Pl[p].TrIn->NbEl) qxfuzz::Fail("matrix and sets disagree");
    }
  }

  // A few bytes can announce a net of a million transitions without places;
  // such nets are read, but writing and recounting them would only slow the
  // search down.
  if (static_cast<long>(NbPlaces) + NbTrans > kMaxNodesWritten) return;
  if (SauvegardePepStatut(NomModele) != 0) qxfuzz::Fail("the PEP file of a read net was not written");
  std::string head;
  const long lines = CountLines(std::string(NomModele) + ".ll_net", &head);
  const long expected = 3 + 1 + NbPlaces + 1 + NbTrans + 1 + arcsTP + 1 + arcsPT;
  if (lines != expected) qxfuzz::Fail("the PEP file does not have one line per node and arc");
  if (head.compare(0, 22, "PEP\nPetriBox\nFORMAT_N\n") != 0) qxfuzz::Fail("the PEP header is wrong");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (qxfuzz::TooSlowMatrixNet(data, size)) return 0;
  static const std::string path = qxfuzz::ScratchDir() + "/net.mat";
  qxfuzz::WriteWholeFile(path, data, size);
  std::string arg = path;
  char empty[] = "";
  char* argv[] = {empty, arg.data(), nullptr};
  if (InitialisationNet(2, argv) == 0) CheckNet();
  std::fflush(stdout);
  varnost::ResetNet();
  return 0;
}
