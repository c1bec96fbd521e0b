// SPDX-License-Identifier: MIT
// The PEP low-level net file ("FORMAT_N"): places with their marking flag,
// transitions, and the arcs; every node at the same position.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "TypePN.h"
#include "output_file.h"

namespace {

// How a node name is quoted. PEP readers take a name between double or single
// quotes, without escapes.
char QuoteFor(const char* name) {
  return std::strchr(name, '"') != nullptr ? '\'' : '"';
}

bool Writable(const char* name) {
  return std::strchr(name, '"') == nullptr || std::strchr(name, '\'') == nullptr;
}

// Whether the net is written with its reference names: it has them, and every
// one of them can be quoted. A name holding both quote characters cannot be
// written faithfully; the whole net then gets the default names, as when the
// reference file is faulty, and standard error says which node was the cause.
bool UseReferenceNames() {
  if (NameObj == nullptr || NumObj == nullptr) return false;
  const int nodes = NbPlaces + NbTrans;
  for (int i = 0; i < nodes; ++i) {
    if (Writable(NameObj[i])) continue;
    const bool place = i < NbPlaces;
    std::fprintf(stderr,
                 "Varnost: le nom de %s %d contient \" et ': le reseau est ecrit avec les noms "
                 "par defaut (nom: %s)\n",
                 place ? "la place" : "la transition", place ? i + 1 : i - NbPlaces + 1,
                 NameObj[i]);
    return false;
  }
  return true;
}

void PutNode(varnost::OutputFile& out, int number, const char* name, char kind) {
  out.PutInt(number);
  if (name != nullptr) {
    const char quote = QuoteFor(name);
    out.Put(quote);
    out.Put(name);
    out.Put(quote);
  } else {
    out.Put('"');
    out.Put(kind);
    out.PutInt(number);
    out.Put('"');
  }
  out.Put("50@50");
}

// The arc lines "FROM<TO\n" and "FROM>TO\n", the bulk of a dense net's file:
// composed with fixed-size copies straight into the file's buffer. The decimal
// texts of the node numbers up to kTable are composed once.
class ArcLines {
 public:
  ArcLines(varnost::OutputFile& out, int maxNumber) : out_(out) {
    const int numbers = std::min(maxNumber, kTable - 1) + 1;
    texts_.assign(static_cast<size_t>(numbers) * kText, '\0');
    for (int n = 0; n < numbers; ++n) {
      char* text = &texts_[static_cast<size_t>(n) * kText];
      char* end = std::to_chars(text, text + kText - 1, n).ptr;
      *end++ = '\n';
      text[kText - 1] = static_cast<char>(end - text);
    }
  }

  // One line per element of `to`: from, the sign, the element + 1.
  void Put(int from, t_EnsI to, char sign) {
    // "from" and the sign start every line: composed once, padded to kText.
    char head[kText] = {};
    char* headEnd = std::to_chars(head, head + kText - 1, from).ptr;
    *headEnd++ = sign;
    const size_t headSize = static_cast<size_t>(headEnd - head);
    // Locals, which the stores through char pointers cannot be taken to change.
    const char* const texts = texts_.data();
    const size_t numbers = texts_.size() / kText;
    const int* element = to->Ens;
    const int* const end = element + to->NbEl;
    while (element != end) {
      // As many lines as surely fit in the free part of the buffer, with no
      // test of room between them.
      char* const start = out_.Room(kLine);
      const size_t fit = out_.Free() / kLine;
      const int* const stop = static_cast<size_t>(end - element) > fit ? element + fit : end;
      char* o = start;
      for (; element != stop; ++element) {
        std::memcpy(o, head, kText);
        o += headSize;
        const unsigned number = static_cast<unsigned>(*element) + 1;
        if (number < numbers) {
          const char* text = texts + number * kText;
          std::memcpy(o, text, kText);
          o += static_cast<unsigned char>(text[kText - 1]);
        } else {
          o = std::to_chars(o, o + kText - 1, number).ptr;
          *o++ = '\n';
        }
      }
      out_.Advance(static_cast<size_t>(o - start));
    }
  }

 private:
  static constexpr int kTable = 1 << 16;
  static constexpr size_t kText = 16;
  // The most bytes one line's composition touches: the head (at most 11
  // digits and the sign) and a number's kText bytes copied after it.
  static constexpr size_t kLine = 2 * kText;

  varnost::OutputFile& out_;
  std::string texts_;
};

bool WritePep(const char* fileName) {
  const bool names = UseReferenceNames();
  varnost::OutputFile out(std::string(fileName) + ".ll_net");
  if (!out.ok()) return false;
  out.Put("PEP\nPetriBox\nFORMAT_N\nPL\n");
  const int* marked = Marking != nullptr ? Marking->Ens : nullptr;
  const int* markedEnd = Marking != nullptr ? Marking->Ens + Marking->NbEl : nullptr;
  for (int p = 0; p < NbPlaces; ++p) {
    PutNode(out, p + 1, names ? NameObj[p] : nullptr, 'P');
    while (marked != markedEnd && *marked < p) ++marked;
    if (marked != markedEnd && *marked == p) out.Put("M1");
    out.Put('\n');
  }
  out.Put("TR\n");
  for (int t = 0; t < NbTrans; ++t) {
    PutNode(out, t + 1, names ? NameObj[NbPlaces + t] : nullptr, 'T');
    out.Put('\n');
  }
  out.Put("TP\n");
  try {
    ArcLines lines(out, std::max(NbPlaces, NbTrans));
    for (int t = 0; t < NbTrans; ++t) lines.Put(t + 1, Tr[t].PlOut, '<');
    out.Put("PT\n");
    for (int p = 0; p < NbPlaces; ++p) lines.Put(p + 1, Pl[p].TrOut, '>');
  } catch (const std::bad_alloc&) {
    return false;  // the temporary file is removed
  }
  return out.Commit();
}

}  // namespace

extern "C" {

int SauvegardePepStatut(const char* FileName) {
  if (WritePep(FileName)) return 0;
  std::fputs("erreur lors de la creation du fichier pep\n", stdout);
  return -1;
}

void SauvegardePep(char* FileName) { SauvegardePepStatut(FileName); }

}  // extern "C"
