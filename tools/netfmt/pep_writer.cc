// SPDX-License-Identifier: MIT
#include "pep_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
#include <string>

namespace netfmt {

char PepQuote(std::string_view name) {
  const bool doubleQuote = name.find('"') != std::string_view::npos;
  if (!doubleQuote) return '"';
  return name.find('\'') == std::string_view::npos ? '\'' : 0;
}

namespace {

bool PepHolds(std::string_view name) {
  return PepQuote(name) != 0 && name.find_first_of("\n\r") == std::string_view::npos;
}

}  // namespace

std::vector<std::string_view> PepNames(const Net& net, bool matrix, uint64_t* replaced) {
  std::vector<std::string_view> names(static_cast<size_t>(net.nodes()));
  *replaced = 0;
  if (matrix) {
    for (int i = 0; i < net.nodes(); ++i) {
      if (PepQuote(net.name(i)) == 0) {
        *replaced = static_cast<uint64_t>(net.nodes());
        return std::vector<std::string_view>(static_cast<size_t>(net.nodes()));
      }
      names[static_cast<size_t>(i)] = net.name(i);
    }
    return names;
  }
  for (int i = 0; i < net.nodes(); ++i) {
    const std::string_view name = net.name(i);
    const bool held = PepHolds(name);
    if (!name.empty() && !held) ++*replaced;
    if (!name.empty() && held) {
      names[static_cast<size_t>(i)] = name;
    } else if (PepHolds(net.id(i))) {
      names[static_cast<size_t>(i)] = net.id(i);
    }
  }
  return names;
}

namespace {

void PutNode(OutputFile& out, int number, std::string_view name, char kind) {
  out.PutInt(number);
  if (!name.empty()) {
    const char quote = PepQuote(name);
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
  ArcLines(OutputFile& out, int maxNumber) : out_(out) {
    const int numbers = std::min(maxNumber, kTable - 1) + 1;
    texts_.assign(static_cast<size_t>(numbers) * kText, '\0');
    for (int n = 0; n < numbers; ++n) {
      char* text = &texts_[static_cast<size_t>(n) * kText];
      char* end = std::to_chars(text, text + kText - 1, n).ptr;
      *end++ = '\n';
      text[kText - 1] = static_cast<char>(end - text);
    }
  }

  // One line per element of `to`: from, the sign, the element + 1, and the
  // weight field "w<n>" where `weights` (empty: all 1) gives n above 1.
  void Put(int from, std::span<const int> to, char sign, std::span<const int64_t> weights = {}) {
    // "from" and the sign start every line: composed once, padded to kText.
    char head[kText] = {};
    char* headEnd = std::to_chars(head, head + kText - 1, from).ptr;
    *headEnd++ = sign;
    const size_t headSize = static_cast<size_t>(headEnd - head);
    // Locals, which the stores through char pointers cannot be taken to change.
    const char* const texts = texts_.data();
    const size_t numbers = texts_.size() / kText;
    const int* element = to.data();
    const int* const end = element + to.size();
    const int64_t* weight = weights.empty() ? nullptr : weights.data();
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
        if (weight != nullptr && *weight++ > 1) {
          // In place of the line feed.
          o[-1] = 'w';
          o = std::to_chars(o, o + kWeight, weight[-1]).ptr;
          *o++ = '\n';
        }
      }
      out_.Advance(static_cast<size_t>(o - start));
    }
  }

 private:
  static constexpr int kTable = 1 << 16;
  static constexpr size_t kText = 16;
  // The digits of the largest weight.
  static constexpr size_t kWeight = 19;
  // The most bytes one line's composition touches: the head (at most 11
  // digits and the sign), a number's kText bytes copied after it, and the
  // weight field with its line feed.
  static constexpr size_t kLine = 2 * kText + kWeight + 2;

  OutputFile& out_;
  std::string texts_;
};

}  // namespace

bool WritePep(const NetLists& net, OutputFile& out) {
  if (!out.ok()) return false;
  out.Put("PEP\nPetriBox\nFORMAT_N\nPL\n");
  for (int p = 0; p < net.places; ++p) {
    PutNode(out, p + 1, net.name(p), 'P');
    if (const int64_t tokens = net.tokens(p); tokens > 0) {
      out.Put('M');
      out.PutInt(tokens);
    }
    out.Put('\n');
  }
  out.Put("TR\n");
  for (int t = 0; t < net.transitions; ++t) {
    PutNode(out, t + 1, net.name(net.places + t), 'T');
    out.Put('\n');
  }
  out.Put("TP\n");
  try {
    ArcLines lines(out, std::max(net.places, net.transitions));
    auto weights = [](const auto& of, int i) { return of ? of(i) : std::span<const int64_t>(); };
    for (int t = 0; t < net.transitions; ++t) {
      lines.Put(t + 1, net.transitionOutputs(t), '<', weights(net.transitionOutputWeights, t));
    }
    out.Put("PT\n");
    for (int p = 0; p < net.places; ++p) lines.Put(p + 1, net.placeOutputs(p), '>', weights(net.placeOutputWeights, p));
    if (net.transitionReads) {
      out.Put("RA\n");
      for (int t = 0; t < net.transitions; ++t) lines.Put(t + 1, net.transitionReads(t), '<');
    }
  } catch (const std::bad_alloc&) {
    return false;  // the temporary file is removed
  }
  return out.Commit();
}

}  // namespace netfmt
