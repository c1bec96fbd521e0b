// SPDX-License-Identifier: MIT
// The reference-file reader: the first two bytes give the numbers of places
// and transitions of a net without arcs, the rest is its ".ref" file. The net
// is read through the reader's entry and written as a PEP file.
//
// Oracles: the numbers and names are both present or both absent; every name
// is a non-empty-free word (no white space); each node line of the PEP file is
// the node's number, a name between quotes of one kind that it does not
// contain, and "50@50".
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "TypePN.h"
#include "fuzz_support.h"
#include "net_reader.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string ReadAll(const std::string& path) {
  std::string text;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) text.append(buf, n);
  std::fclose(file);
  return text;
}

// Checks one node line "<number><q><name><q>50@50" and returns the position
// after its line feed.
size_t CheckNodeLine(const std::string& pep, size_t pos, int number) {
  const std::string digits = std::to_string(number);
  if (pep.compare(pos, digits.size(), digits) != 0) qxfuzz::Fail("node line without its number");
  pos += digits.size();
  const char quote = pos < pep.size() ? pep[pos] : '\0';
  if (quote != '"' && quote != '\'') qxfuzz::Fail("node name not quoted");
  const size_t close = pep.find(quote, pos + 1);
  if (close == std::string::npos) qxfuzz::Fail("node name quote not closed");
  if (pep.find('\n', pos) < close) qxfuzz::Fail("node name runs over a line");
  pos = close + 1;
  if (pep.compare(pos, 5, "50@50") != 0) qxfuzz::Fail("node line without its position");
  const size_t end = pep.find('\n', pos);
  if (end == std::string::npos) qxfuzz::Fail("node line without line feed");
  const std::string rest = pep.substr(pos + 5, end - pos - 5);
  if (!rest.empty() && rest != "M1") qxfuzz::Fail("node line with trailing bytes");
  return end + 1;
}

size_t Expect(const std::string& pep, size_t pos, const char* text) {
  if (pep.compare(pos, std::strlen(text), text) != 0) qxfuzz::Fail("section header missing");
  return pos + std::strlen(text);
}

void CheckNet() {
  if ((NumObj == nullptr) != (NameObj == nullptr)) qxfuzz::Fail("numbers and names disagree");
  if (NameObj != nullptr) {
    for (int i = 0; i < NbPlaces + NbTrans; ++i) {
      if (NameObj[i] == nullptr) qxfuzz::Fail("a name is missing");
      for (const char* c = NameObj[i]; *c != '\0'; ++c) {
        if (IsSpace(*c)) qxfuzz::Fail("a name holds white space");
      }
    }
  }
  if (SauvegardePepStatut(NomModele) != 0) qxfuzz::Fail("the PEP file was not written");
  const std::string pep = ReadAll(std::string(NomModele) + ".ll_net");
  size_t pos = Expect(pep, 0, "PEP\nPetriBox\nFORMAT_N\nPL\n");
  for (int p = 0; p < NbPlaces; ++p) pos = CheckNodeLine(pep, pos, p + 1);
  pos = Expect(pep, pos, "TR\n");
  for (int t = 0; t < NbTrans; ++t) pos = CheckNodeLine(pep, pos, t + 1);
  pos = Expect(pep, pos, "TP\nPT\n");
  if (pos != pep.size()) qxfuzz::Fail("bytes after the last section");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int places = data[0] % 8;
  const int transitions = data[1] % 8;
  static const std::string path = qxfuzz::ScratchDir() + "/ref.mat";
  std::string matrix = std::to_string(places) + "\n" + std::to_string(transitions) + "\n";
  for (int i = 0; i < 2 * places * transitions + places; ++i) matrix += "0 ";
  matrix += "\n";
  qxfuzz::WriteWholeFile(path, reinterpret_cast<const uint8_t*>(matrix.data()), matrix.size());
  qxfuzz::WriteWholeFile(path + ".ref", data + 2, size - 2);
  std::string arg = path;
  char empty[] = "";
  char* argv[] = {empty, arg.data(), nullptr};
  if (InitialisationNet(2, argv) != 0) qxfuzz::Fail("a well-formed matrix file was refused");
  CheckNet();
  std::fflush(stdout);
  varnost::ResetNet();
  return 0;
}
