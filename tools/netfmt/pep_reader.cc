// SPDX-License-Identifier: MIT
#include "pep_reader.h"

#include <errno.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "text_util.h"

namespace netfmt {

namespace {

constexpr size_t kChunk = size_t{1} << 18;

// The input cut into lines, chunk by chunk; a line that runs over a chunk
// boundary is carried over whole.
class LineSource {
 public:
  explicit LineSource(const ReadSome& input) : input_(input), buf_(kChunk, '\0') {}

  // The next line without its line end ("\n" or "\r\n"); false at the end
  // of the input or on a read error (then error() is errno).
  bool Next(std::string_view* line) {
    for (;;) {
      const size_t nl = std::string_view(buf_).substr(pos_, end_ - pos_).find('\n');
      if (nl != std::string_view::npos) {
        *line = std::string_view(buf_).substr(pos_, nl);
        pos_ += nl + 1;
        return Finish(line);
      }
      if (eof_) {
        if (pos_ == end_) return false;
        *line = std::string_view(buf_).substr(pos_, end_ - pos_);
        pos_ = end_;
        return Finish(line);
      }
      // Keep the partial line at the start, grow when it fills the buffer.
      std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
      end_ -= pos_;
      pos_ = 0;
      if (end_ == buf_.size()) buf_.resize(buf_.size() * 2);
      const long n = input_(buf_.data() + end_, buf_.size() - end_);
      if (n < 0) {
        error_ = errno;
        return false;
      }
      if (n == 0) eof_ = true;
      end_ += static_cast<size_t>(n);
    }
  }
  uint64_t number() const { return number_; }
  int error() const { return error_; }

 private:
  bool Finish(std::string_view* line) {
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    ++number_;
    return true;
  }

  const ReadSome& input_;
  std::string buf_;
  size_t pos_ = 0, end_ = 0;
  bool eof_ = false;
  uint64_t number_ = 0;
  int error_ = 0;
};

// kRefused: a section a place/transition net cannot hold, refused at its
// first entry (PEP writes such sections empty into plain nets too).
enum class Section { kNone, kPlaces, kTransitions, kTP, kPT, kRA, kRD, kSkip, kRefused };

// The sections every net has, in the order a file holds them; the first one
// missing is named (a file cut short has lost them).
constexpr std::string_view kRequired[] = {"PL", "TR", "TP", "PT"};

// The section a line opens: its name in capitals, alone or followed by a
// blank and the section's attributes (the default lines "DPL s7n10@-9t2" of
// the files PEP itself writes); empty when the line opens none.
std::string_view SectionName(std::string_view line) {
  size_t n = 0;
  while (n < line.size() && line[n] >= 'A' && line[n] <= 'Z') ++n;
  if (n == 0 || (n < line.size() && line[n] != ' ' && line[n] != '\t')) return {};
  return line.substr(0, n);
}

// A decimal number at the front of *text (taken off it); false when there is
// none or it passes the type's largest value.
template <typename Int>
bool TakeNumber(std::string_view* text, Int* value) {
  size_t n = 0;
  while (n < text->size() && (*text)[n] >= '0' && (*text)[n] <= '9') ++n;
  if (n == 0 || !ParseCount(text->substr(0, n), value)) return false;
  text->remove_prefix(n);
  return true;
}

bool StartsWithDigit(std::string_view text) { return !text.empty() && text[0] >= '0' && text[0] <= '9'; }

struct PendingNode {
  int32_t id;
  std::string name;
  int64_t tokens;
  Where where;
};

class Reader {
 public:
  explicit Reader(const ReadSome& input) : lines_(input) {}

  std::optional<Net> Run(Problem* problem) {
    const bool read = Header() && Body() && AllSections();
    // A read error ends the lines early: it, not what the missing lines
    // seem to say, is the problem.
    if (lines_.error() != 0) {
      *problem = Problem{std::string("cannot read: ") + std::strerror(lines_.error()), Where{}};
      return std::nullopt;
    }
    if (!read) {
      *problem = std::move(problem_);
      return std::nullopt;
    }
    if (!AddNodes(places_, true) || !AddNodes(transitions_, false)) {
      *problem = std::move(problem_);
      return std::nullopt;
    }
    std::optional<Net> net = builder_.Freeze();
    if (!net) *problem = builder_.problem();
    return net;
  }

 private:
  bool Fail(std::string message) {
    problem_ = Problem{std::move(message), Where{lines_.number(), 0}};
    return false;
  }

  // The next line that is not a comment: a line starting with '%' is one,
  // wherever it stands, as the unfolders read the format.
  bool NextLine(std::string_view* line) {
    while (lines_.Next(line)) {
      if (line->empty() || line->front() != '%') return true;
    }
    return false;
  }

  bool Header() {
    std::string_view line;
    if (!NextLine(&line) || Trim(line) != "PEP") return Fail("not a PEP net: the first line is not \"PEP\"");
    if (!NextLine(&line) || Trim(line).empty()) return Fail("no type line (PetriBox, PTNet, ...)");
    if (!NextLine(&line)) return Fail("no format line (FORMAT_N or FORMAT_N2)");
    const std::string_view format = Trim(line);
    if (format != "FORMAT_N" && format != "FORMAT_N2") {
      return Fail("format " + std::string(format) + " is not FORMAT_N or FORMAT_N2");
    }
    return true;
  }

  bool Body() {
    std::string_view line;
    while (NextLine(&line)) {
      const std::string_view text = Trim(line);
      if (text.empty()) continue;
      if (const std::string_view section = SectionName(text); !section.empty()) {
        if (!StartSection(section)) return false;
        continue;
      }
      bool ok = true;
      switch (section_) {
        case Section::kNone:
          return Fail("a line before the first section");
        case Section::kPlaces:
          ok = NodeLine(text, &places_, true);
          break;
        case Section::kTransitions:
          ok = NodeLine(text, &transitions_, false);
          break;
        case Section::kTP:
        case Section::kPT:
        case Section::kRA:
        case Section::kRD:
          ok = ArcLine(text);
          break;
        case Section::kSkip:
          break;
        case Section::kRefused:
          return Fail("section " + refused_ + " cannot be held by a place/transition net");
      }
      if (!ok) return false;
    }
    return true;
  }

  bool AllSections() {
    for (size_t i = 0; i < std::size(kRequired); ++i) {
      if (!seen_[i]) {
        problem_ = Problem{"section " + std::string(kRequired[i]) +
                               " is missing (a PEP net has the sections PL, TR, TP and PT): the file may be cut short",
                           Where{}};
        return false;
      }
    }
    return true;
  }

  bool StartSection(std::string_view name) {
    static constexpr std::string_view kSkipped[] = {"DBL", "DPL", "DTR", "DPT", "BL", "TX"};
    // What each section a place/transition net cannot hold stands for.
    static constexpr std::pair<std::string_view, std::string_view> kRefused[] = {
        {"PTR", "phantom transitions"},
        {"PTP", "arcs of phantom transitions"},
        {"PPT", "arcs of phantom transitions"},
        {"RS", "reset arcs"}};
    for (size_t i = 0; i < std::size(kRequired); ++i) seen_[i] = seen_[i] || name == kRequired[i];
    if (name == "PL") {
      section_ = Section::kPlaces;
    } else if (name == "TR") {
      section_ = Section::kTransitions;
    } else if (name == "TP") {
      section_ = Section::kTP;
    } else if (name == "PT") {
      section_ = Section::kPT;
    } else if (name == "RA") {
      section_ = Section::kRA;
    } else if (name == "RD") {
      section_ = Section::kRD;
    } else if (std::find(std::begin(kSkipped), std::end(kSkipped), name) != std::end(kSkipped)) {
      section_ = Section::kSkip;
    } else if (const auto* refused = std::find_if(std::begin(kRefused), std::end(kRefused),
                                                  [&](const auto& r) { return r.first == name; });
               refused != std::end(kRefused)) {
      section_ = Section::kRefused;
      refused_ = std::string(name) + " (" + std::string(refused->second) + ")";
    } else {
      return Fail("section " + std::string(name) + " is unknown: it cannot be converted to a place/transition net");
    }
    return true;
  }

  // The attributes after a node's number or an arc's ends: quoted texts
  // (`quoted` is called with each one's content), and fields of a letter and
  // an optional number, such as positions "x@y" and token counts "M2".
  // field(letter, text) is called for each letter, with the text after it;
  // it takes off what belongs to the field. False when a quote is not
  // closed or field refuses.
  template <typename Quoted, typename Field>
  bool Attributes(std::string_view text, Quoted quoted, Field field) {
    while (!text.empty()) {
      const char c = text[0];
      if (c == '"' || c == '\'') {
        const size_t close = text.find(c, 1);
        if (close == std::string_view::npos) return Fail("a quoted text without its closing quote");
        quoted(text.substr(1, close - 1));
        text.remove_prefix(close + 1);
        continue;
      }
      text.remove_prefix(1);
      if (!field(c, &text)) return false;
    }
    return true;
  }

  bool NodeLine(std::string_view text, std::vector<PendingNode>* nodes, bool place) {
    PendingNode node{0, std::string(), 0, Where{lines_.number(), 0}};
    if (StartsWithDigit(text)) {
      if (!TakeNumber(&text, &node.id)) return Fail("node number beyond 2147483647");
    } else if (nodes->empty()) {
      node.id = 1;
    } else if (nodes->back().id == INT32_MAX) {
      return Fail("node number beyond 2147483647");
    } else {
      node.id = nodes->back().id + 1;
    }
    bool named = false;
    const bool ok = Attributes(
        text,
        [&](std::string_view quoted) {
          // The first quoted text is the name.
          if (!named) node.name.assign(quoted);
          named = true;
        },
        [&](char letter, std::string_view* rest) {
          if (!place || letter != 'M') return true;
          // "M" alone is one token.
          node.tokens = 1;
          if (StartsWithDigit(*rest) && !TakeNumber(rest, &node.tokens)) {
            return Fail("a token count beyond " + std::to_string(kMaxValue));
          }
          return true;
        });
    if (!ok) return false;
    nodes->push_back(std::move(node));
    return true;
  }

  bool ArcLine(std::string_view text) {
    int32_t first = 0, second = 0;
    const std::string_view line = text;
    auto malformed = [&] {
      return Fail("arc line \"" + std::string(line) + "\" is not NUMBER<NUMBER or NUMBER>NUMBER");
    };
    if (!TakeNumber(&text, &first) || text.empty() || (text[0] != '<' && text[0] != '>')) return malformed();
    text.remove_prefix(1);
    if (!TakeNumber(&text, &second)) return malformed();
    // The weight: field w, a number from 1 on (1 without the field).
    int64_t weight = 1;
    const bool ok = Attributes(
        text, [](std::string_view) {},
        [&](char letter, std::string_view* rest) {
          if (letter != 'w') return true;
          if (!StartsWithDigit(*rest)) return Fail("arc line \"" + std::string(line) + "\": w without a weight");
          if (!TakeNumber(rest, &weight) || weight == 0) {
            return Fail("arc line \"" + std::string(line) + "\": the weight is not from 1 to " +
                        std::to_string(kMaxValue));
          }
          return true;
        });
    if (!ok) return false;
    const Where where{lines_.number(), 0};
    // TP and RA lines start with the transition, PT and RD lines with the place.
    const bool placeFirst = section_ == Section::kPT || section_ == Section::kRD;
    const std::string t = "t" + std::to_string(placeFirst ? second : first);
    const std::string p = "p" + std::to_string(placeFirst ? first : second);
    bool added = true;
    if (section_ == Section::kTP) {
      added = builder_.AddArc({}, t, p, weight, where);
    } else if (section_ == Section::kPT) {
      added = builder_.AddArc({}, p, t, weight, where);
    } else {
      // A read arc: the tokens it asks for are taken and put back.
      added = builder_.AddArc({}, p, t, weight, where) && builder_.AddArc({}, t, p, weight, where);
    }
    if (!added) problem_ = builder_.problem();
    return added;
  }

  // Into the builder by ascending id.
  bool AddNodes(std::vector<PendingNode>& nodes, bool place) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const PendingNode& a, const PendingNode& b) { return a.id < b.id; });
    for (const PendingNode& n : nodes) {
      const std::string id = (place ? "p" : "t") + std::to_string(n.id);
      const bool ok = place ? builder_.AddPlace(id, n.name, n.tokens, n.where)
                            : builder_.AddTransition(id, n.name, n.where);
      if (!ok) {
        problem_ = builder_.problem();
        return false;
      }
    }
    return true;
  }

  LineSource lines_;
  Section section_ = Section::kNone;
  bool seen_[std::size(kRequired)] = {};
  std::string refused_;  // the name and meaning of a kRefused section
  std::vector<PendingNode> places_, transitions_;
  NetBuilder builder_;
  Problem problem_;
};

}  // namespace

std::optional<Net> ReadPep(const ReadSome& input, Problem* problem) {
  Reader reader(input);
  return reader.Run(problem);
}

}  // namespace netfmt
