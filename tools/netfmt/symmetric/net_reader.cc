// SPDX-License-Identifier: MIT
#include "net_reader.h"

#include <algorithm>
#include <unordered_map>

#include "term_reader.h"
#include "text_util.h"

namespace netfmt::symmetric {

namespace {

class Reader {
 public:
  Reader(const XmlTree& tree, SymmetricNet* net) : tree_(tree), net_(net) {}

  void Run(uint32_t netElement) {
    d_ = ReadDeclarations(tree_, netElement, net_);
    Nodes(netElement);
    for (const uint32_t e : arcs_) ArcOf(e);
    for (size_t t = 0; t < net_->transitions.size(); ++t) Variables(net_->transitions[t], used_[t]);
  }

 private:
  enum class Kind : uint8_t { kPlace, kTransition, kReference, kOther };
  struct Node {
    Kind kind;
    uint32_t index;  // of the place or transition; of a reference: its element
  };

  std::string Id(uint32_t e) {
    const std::string* id = tree_.Attribute(e, "id");
    if (id == nullptr || id->empty()) Refuse(tree_, e, "no id");
    return *id;
  }

  void Define(const std::string& id, uint32_t e, Node node) {
    if (!ids_.emplace(id, node).second) Refuse(tree_, e, "duplicate id " + Quote(id));
  }

  // The structure of label element e, or kNone when it has none.
  uint32_t Structure(uint32_t e) {
    const uint32_t structure = tree_.Child(e, "structure");
    return structure == XmlTree::kNone ? XmlTree::kNone : OnlyChild(tree_, structure);
  }
  // The structure of a label that must have one.
  uint32_t NeedStructure(uint32_t e) {
    const uint32_t structure = Structure(e);
    if (structure == XmlTree::kNone) Refuse(tree_, e, "no structure");
    return structure;
  }

  // The count a place/transition label holds in its text.
  int64_t Count(uint32_t label, bool weight) {
    const uint32_t text = tree_.Child(label, "text");
    int64_t value = 0;
    const std::string_view written = text == XmlTree::kNone ? std::string_view() : Trim(tree_.at(text).text);
    if (!ParseCount(written, &value) || (weight && value == 0)) {
      Refuse(tree_, label, Quote(std::string(written)) + " is not a " + (weight ? "weight" : "number of tokens"));
    }
    return value;
  }

  // A multiset of `count` dots.
  Term Dots(int64_t count, Where where) {
    Term dot;
    dot.sort = d_.dot;
    dot.where = where;
    Term term;
    term.op = Op::kNumberOf;
    term.multiset = true;
    term.sort = d_.dot;
    term.number = count;
    term.where = where;
    term.args.push_back(std::move(dot));
    return term;
  }

  void Nodes(uint32_t parent) {
    for (uint32_t e = tree_.FirstChild(parent); e != XmlTree::kNone; e = tree_.Next(e)) {
      const std::string& name = tree_.at(e).name;
      if (name == "page") {
        Define(Id(e), e, Node{Kind::kOther, 0});
        Nodes(e);
      } else if (name == "place") {
        PlaceOf(e);
      } else if (name == "transition") {
        TransitionOf(e);
      } else if (name == "arc") {
        Define(Id(e), e, Node{Kind::kOther, 0});
        arcs_.push_back(e);
      } else if (name == "referencePlace" || name == "referenceTransition") {
        if (tree_.Attribute(e, "ref") == nullptr) Refuse(tree_, e, "no ref");
        Define(Id(e), e, Node{Kind::kReference, e});
      }
    }
  }

  void PlaceOf(uint32_t e) {
    Place place;
    place.id = Id(e);
    place.where = tree_.at(e).where;
    place.sort = d_.dot;
    const uint32_t type = tree_.Child(e, "type");
    if (type != XmlTree::kNone) place.sort = ReadSort(tree_, NeedStructure(type), d_);
    const uint32_t hl = tree_.Child(e, "hlinitialMarking");
    const uint32_t pt = tree_.Child(e, "initialMarking");
    if (hl != XmlTree::kNone && pt != XmlTree::kNone) Refuse(tree_, pt, "a second initial marking");
    if (hl != XmlTree::kNone) {
      place.marking = TermReader(tree_, d_, net_).Multiset(NeedStructure(hl), place.sort, nullptr);
    } else if (pt != XmlTree::kNone) {
      if (place.sort != d_.dot) Refuse(tree_, pt, "a number of tokens in a place of sort " + SortName(*place.sort));
      place.marking = Dots(Count(pt, false), tree_.at(pt).where);
    }
    Define(place.id, e, Node{Kind::kPlace, static_cast<uint32_t>(net_->places.size())});
    net_->places.push_back(std::move(place));
  }

  void TransitionOf(uint32_t e) {
    Transition transition;
    transition.id = Id(e);
    transition.where = tree_.at(e).where;
    used_.emplace_back();
    const uint32_t condition = tree_.Child(e, "condition");
    if (condition != XmlTree::kNone) {
      const uint32_t term = Structure(condition);
      if (term != XmlTree::kNone) transition.guard = TermReader(tree_, d_, net_).Guard(term, &used_.back());
    }
    Define(transition.id, e, Node{Kind::kTransition, static_cast<uint32_t>(net_->transitions.size())});
    net_->transitions.push_back(std::move(transition));
  }

  // The place or transition `id` names, through references.
  Node Resolve(uint32_t e, const std::string& id) {
    std::string target = id;
    for (size_t steps = 0;; ++steps) {
      const auto found = ids_.find(target);
      if (found == ids_.end() || found->second.kind == Kind::kOther) {
        Refuse(tree_, e, Quote(target) + " is neither a place nor a transition of the net");
      }
      if (found->second.kind != Kind::kReference) return found->second;
      if (steps > ids_.size()) Refuse(tree_, e, "reference " + Quote(id) + " is part of a cycle of references");
      target = *tree_.Attribute(found->second.index, "ref");
    }
  }

  void ArcOf(uint32_t e) {
    const std::string id = Id(e);
    const std::string* source = tree_.Attribute(e, "source");
    const std::string* target = tree_.Attribute(e, "target");
    if (source == nullptr || target == nullptr) Refuse(tree_, e, std::string("no ") + (source == nullptr ? "source" : "target"));
    const std::string* kind = tree_.Attribute(e, "type");
    const uint32_t type = tree_.Child(e, "type");
    if (kind == nullptr && type != XmlTree::kNone) {
      kind = tree_.Attribute(type, "value");
      const uint32_t text = tree_.Child(type, "text");
      if (kind == nullptr && text != XmlTree::kNone) kind = &tree_.at(text).text;
    }
    if (kind != nullptr && Trim(*kind) != "normal") {
      Refuse(tree_, e, "arc " + id + " is of kind " + Quote(std::string(Trim(*kind))) + ", which a place/transition net cannot hold");
    }
    const Node from = Resolve(e, *source), to = Resolve(e, *target);
    if ((from.kind == Kind::kPlace) == (to.kind == Kind::kPlace)) {
      Refuse(tree_, e, std::string("source and target are both ") + (from.kind == Kind::kPlace ? "places" : "transitions"));
    }
    const bool input = from.kind == Kind::kPlace;
    Arc arc;
    arc.place = input ? from.index : to.index;
    arc.where = tree_.at(e).where;
    const uint32_t transition = input ? to.index : from.index;
    const Sort* sort = net_->places[arc.place].sort;
    const uint32_t hl = tree_.Child(e, "hlinscription");
    const uint32_t pt = tree_.Child(e, "inscription");
    if (hl != XmlTree::kNone && pt != XmlTree::kNone) Refuse(tree_, pt, "a second inscription");
    if (hl != XmlTree::kNone) {
      arc.term = TermReader(tree_, d_, net_).Multiset(NeedStructure(hl), sort, &used_[transition]);
    } else if (sort == d_.dot) {
      arc.term = Dots(pt != XmlTree::kNone ? Count(pt, true) : 1, arc.where);
    } else {
      Refuse(tree_, e, "arc " + id + " has no hlinscription, and its place holds colours of " + SortName(*sort));
    }
    Transition& t = net_->transitions[transition];
    (input ? t.inputs : t.outputs).push_back(std::move(arc));
  }

  // Numbers the transition's variables in the order they are declared.
  void Variables(Transition& t, std::vector<uint32_t>& used) {
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    for (const uint32_t v : used) {
      t.variables.push_back(d_.variables[v].sort);
      t.variableIds.push_back(d_.variables[v].id);
    }
    auto renumber = [&](auto& self, Term& term) -> void {
      if (term.op == Op::kVariable) {
        term.number = std::lower_bound(used.begin(), used.end(), static_cast<uint32_t>(term.number)) - used.begin();
      }
      for (Term& arg : term.args) self(self, arg);
    };
    if (t.guard) renumber(renumber, *t.guard);
    for (Arc& arc : t.inputs) renumber(renumber, arc.term);
    for (Arc& arc : t.outputs) renumber(renumber, arc.term);
  }

  const XmlTree& tree_;
  SymmetricNet* net_;
  Declarations d_;
  std::unordered_map<std::string, Node> ids_;
  std::vector<uint32_t> arcs_;
  std::vector<std::vector<uint32_t>> used_;  // per transition: the variables its terms use
};

}  // namespace

std::optional<SymmetricNet> ReadSymmetricNet(const XmlTree& tree, uint32_t net, Problem* problem) {
  SymmetricNet out;
  try {
    Reader(tree, &out).Run(net);
  } catch (ReadError& error) {
    *problem = std::move(error.problem);
    return std::nullopt;
  }
  return out;
}

}  // namespace netfmt::symmetric
