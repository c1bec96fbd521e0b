// SPDX-License-Identifier: MIT
#include "declarations.h"

#include "term_reader.h"

#include <charconv>
#include <string_view>
#include <unordered_set>

namespace netfmt::symmetric {

void Refuse(const XmlTree& tree, uint32_t e, const std::string& message) {
  throw ReadError{Problem{"<" + tree.at(e).name + ">: " + message, tree.at(e).where}};
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

std::vector<uint32_t> Subterms(const XmlTree& tree, uint32_t e) {
  std::vector<uint32_t> terms;
  for (uint32_t c = tree.FirstChild(e); c != XmlTree::kNone; c = tree.Next(c)) {
    terms.push_back(tree.at(c).name == "subterm" ? OnlyChild(tree, c) : c);
  }
  return terms;
}

uint32_t OnlyChild(const XmlTree& tree, uint32_t e) {
  const uint32_t c = tree.FirstChild(e);
  if (c == XmlTree::kNone) Refuse(tree, e, "empty, where a term or a sort is needed");
  if (tree.Next(c) != XmlTree::kNone) Refuse(tree, tree.Next(c), "one element only is expected here");
  return c;
}

namespace {

const std::string& NeedAttribute(const XmlTree& tree, uint32_t e, std::string_view name) {
  const std::string* value = tree.Attribute(e, name);
  if (value == nullptr || value->empty()) Refuse(tree, e, "no " + std::string(name) + " attribute");
  return *value;
}

int64_t IntegerAttribute(const XmlTree& tree, uint32_t e, std::string_view name) {
  const std::string& text = NeedAttribute(tree, e, name);
  int64_t value = 0;
  const char* begin = text.data() + (text[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    Refuse(tree, e, name == "value" ? "value " + Quote(text) + " is not an integer"
                                    : std::string(name) + " " + Quote(text) + " is not a 64-bit integer");
  }
  return value;
}

const Sort* MakeRange(const XmlTree& tree, uint32_t e, const std::string& id, SymmetricNet* out) {
  const int64_t first = IntegerAttribute(tree, e, "start");
  const int64_t last = IntegerAttribute(tree, e, "end");
  if (last < first) Refuse(tree, e, "an empty sort (end " + std::to_string(last) + " before start " + std::to_string(first) + ")");
  if (static_cast<uint64_t>(last) - static_cast<uint64_t>(first) >= kMaxSortSize) {
    Refuse(tree, e, "a sort of more than " + std::to_string(kMaxSortSize) + " colours");
  }
  Sort sort;
  sort.kind = SortKind::kRange;
  sort.id = id;
  sort.first = first;
  sort.last = last;
  sort.size = static_cast<uint64_t>(last) - static_cast<uint64_t>(first) + 1;
  out->sorts.push_back(std::move(sort));
  return &out->sorts.back();
}

Sort Simple(SortKind kind, uint64_t size) {
  Sort sort;
  sort.kind = kind;
  sort.size = size;
  return sort;
}

// Reads the declarations; a named sort is built when first needed, so that
// declarations may come in any order and a cycle among them is found.
class Reader {
 public:
  Reader(const XmlTree& tree, SymmetricNet* out) : tree_(tree), out_(out) {
    d_.dot = Make(Simple(SortKind::kDot, 1));
    d_.boolean = Make(Simple(SortKind::kBool, 2));
  }

  Declarations Run(uint32_t net) {
    Collect(net);
    for (const auto& [id, e] : order_) Named(id, e);
    for (const uint32_t e : partitions_) Partition(e);
    for (const uint32_t e : variableDecls_) {
      const std::string& id = NeedAttribute(tree_, e, "id");
      if (d_.variableIndex.count(id) != 0) Refuse(tree_, e, "a second variable " + Quote(id));
      const Sort* sort = SortOf(OnlyChild(tree_, e));
      d_.variableIndex[id] = static_cast<uint32_t>(d_.variables.size());
      d_.variables.push_back(Declarations::Variable{id, sort});
    }
    return std::move(d_);
  }

  // A sort element, once every named sort is known.
  const Sort* SortOf(uint32_t e) {
    const XmlTree::Element& element = tree_.at(e);
    const std::string& name = element.name;
    if (name == "usersort") {
      const std::string& id = NeedAttribute(tree_, e, "declaration");
      const auto declared = named_.find(id);
      if (declared == named_.end()) Refuse(tree_, e, "unknown sort " + Quote(id));
      return Named(id, declared->second);
    }
    if (name == "dot") return d_.dot;
    if (name == "bool") return d_.boolean;
    if (name == "finiteenumeration" || name == "cyclicenumeration") return Enumeration(e, name == "cyclicenumeration", "");
    if (name == "finiteintrange") return Range(e, "");
    if (name == "productsort") return Product(e, "");
    Refuse(tree_, e, "not a sort this reader knows (dot, bool, finiteenumeration, cyclicenumeration, "
                     "finiteintrange, productsort, usersort)");
  }

 private:
  const Sort* Range(uint32_t e, const std::string& id) { return MakeRange(tree_, e, id, out_); }

  const Sort* Make(Sort sort) {
    out_->sorts.push_back(std::move(sort));
    return &out_->sorts.back();
  }

  // Finds every declaration under e (the net, its pages, their labels).
  void Collect(uint32_t e) {
    for (uint32_t c = tree_.FirstChild(e); c != XmlTree::kNone; c = tree_.Next(c)) {
      const std::string& name = tree_.at(c).name;
      if (name == "page") {
        Collect(c);
      } else if (name == "declaration") {
        const uint32_t structure = tree_.Child(c, "structure");
        if (structure == XmlTree::kNone) continue;
        for (uint32_t list = tree_.FirstChild(structure); list != XmlTree::kNone; list = tree_.Next(list)) {
          if (tree_.at(list).name != "declarations") Refuse(tree_, list, "not a list of declarations");
          for (uint32_t decl = tree_.FirstChild(list); decl != XmlTree::kNone; decl = tree_.Next(decl)) Declaration(decl);
        }
      }
    }
  }

  void Declaration(uint32_t e) {
    const std::string& name = tree_.at(e).name;
    if (name == "namedsort") {
      const std::string& id = NeedAttribute(tree_, e, "id");
      if (!named_.emplace(id, e).second) Refuse(tree_, e, "a second sort " + Quote(id));
      order_.emplace_back(id, e);
    } else if (name == "partition") {
      const std::string& id = NeedAttribute(tree_, e, "id");
      if (!named_.emplace(id, e).second) Refuse(tree_, e, "a second sort " + Quote(id));
      partitions_.push_back(e);
    } else if (name == "variabledecl") {
      variableDecls_.push_back(e);
    } else {
      Refuse(tree_, e, "a declaration this reader does not know (namedsort, partition, variabledecl)");
    }
  }

  // The named sort `id`, declared by element e, built on first use.
  const Sort* Named(const std::string& id, uint32_t e) {
    const auto done = d_.sorts.find(id);
    if (done != d_.sorts.end()) return done->second;
    if (tree_.at(e).name == "partition") Refuse(tree_, e, "partition " + Quote(id) + " used as a sort");
    if (!resolving_.emplace(id).second) Refuse(tree_, e, "sort " + Quote(id) + " is declared in terms of itself");
    const uint32_t body = OnlyChild(tree_, e);
    const std::string& kind = tree_.at(body).name;
    const Sort* sort = nullptr;
    if (kind == "finiteenumeration" || kind == "cyclicenumeration") {
      sort = Enumeration(body, kind == "cyclicenumeration", id);
    } else if (kind == "finiteintrange") {
      sort = Range(body, id);
    } else if (kind == "productsort") {
      sort = Product(body, id);
    } else {
      sort = SortOf(body);  // dot, bool, or another named sort under this name
    }
    resolving_.erase(id);
    d_.sorts[id] = sort;
    return sort;
  }

  const Sort* Enumeration(uint32_t e, bool cyclic, const std::string& id) {
    Sort sort;
    sort.kind = SortKind::kEnumeration;
    sort.id = id;
    sort.cyclic = cyclic;
    for (uint32_t c = tree_.FirstChild(e); c != XmlTree::kNone; c = tree_.Next(c)) {
      if (tree_.at(c).name != "feconstant") Refuse(tree_, c, "not an enumeration constant (feconstant)");
      sort.constants.push_back(NeedAttribute(tree_, c, "id"));
    }
    if (sort.constants.empty()) Refuse(tree_, e, "an empty sort (no constant)");
    sort.size = sort.constants.size();
    const Sort* made = Make(std::move(sort));
    uint32_t c = tree_.FirstChild(e);
    for (Colour k = 0; k < made->size; ++k, c = tree_.Next(c)) {
      if (!d_.constants.emplace(made->constants[k], Declarations::Constant{made, k}).second) {
        Refuse(tree_, c, "a second constant " + Quote(made->constants[k]));
      }
    }
    return made;
  }

  const Sort* Product(uint32_t e, const std::string& id) {
    Sort sort;
    sort.kind = SortKind::kProduct;
    sort.id = id;
    for (uint32_t c = tree_.FirstChild(e); c != XmlTree::kNone; c = tree_.Next(c)) sort.components.push_back(SortOf(c));
    if (sort.components.empty()) Refuse(tree_, e, "an empty product");
    if (!NumberProduct(&sort)) Refuse(tree_, e, "a sort of more than " + std::to_string(kMaxSortSize) + " colours");
    return Make(std::move(sort));
  }

  void Partition(uint32_t e) {
    Sort sort;
    sort.kind = SortKind::kPartition;
    sort.id = NeedAttribute(tree_, e, "id");
    uint32_t c = tree_.FirstChild(e);
    if (c == XmlTree::kNone || tree_.at(c).name == "partitionelement") Refuse(tree_, e, "no sort to divide");
    sort.base = SortOf(c);
    if (sort.base->kind != SortKind::kEnumeration) Refuse(tree_, c, "a partition divides an enumeration only");
    sort.elementOf.assign(sort.base->size, UINT32_MAX);
    std::vector<uint32_t> elements;
    for (c = tree_.Next(c); c != XmlTree::kNone; c = tree_.Next(c)) {
      if (tree_.at(c).name != "partitionelement") Refuse(tree_, c, "not a partition element");
      const auto index = static_cast<uint32_t>(sort.elements.size());
      sort.elements.push_back(NeedAttribute(tree_, c, "id"));
      elements.push_back(c);
      for (uint32_t m = tree_.FirstChild(c); m != XmlTree::kNone; m = tree_.Next(m)) {
        const std::string* member = tree_.at(m).name == "useroperator" ? tree_.Attribute(m, "declaration") : nullptr;
        if (member == nullptr) Refuse(tree_, m, "not a constant of the divided sort (useroperator)");
        const auto found = d_.constants.find(*member);
        if (found == d_.constants.end() || found->second.sort != sort.base) {
          Refuse(tree_, m, Quote(*member) + " is not a constant of " + SortName(*sort.base));
        }
        if (sort.elementOf[found->second.colour] != UINT32_MAX) Refuse(tree_, m, Quote(*member) + " is in two elements");
        sort.elementOf[found->second.colour] = index;
      }
    }
    if (sort.elements.empty()) Refuse(tree_, e, "an empty sort (no partition element)");
    for (Colour k = 0; k < sort.base->size; ++k) {
      if (sort.elementOf[k] == UINT32_MAX) Refuse(tree_, e, Quote(sort.base->constants[k]) + " is in no element");
    }
    sort.size = sort.elements.size();
    const Sort* made = Make(std::move(sort));
    d_.sorts[made->id] = made;
    for (Colour k = 0; k < made->size; ++k) {
      if (!d_.constants.emplace(made->elements[k], Declarations::Constant{made, k}).second) {
        Refuse(tree_, elements[k], "a second constant " + Quote(made->elements[k]));
      }
    }
  }

  const XmlTree& tree_;
  SymmetricNet* out_;
  Declarations d_;
  std::unordered_map<std::string, uint32_t> named_;  // declaring element of each named sort, partition
  std::vector<std::pair<std::string, uint32_t>> order_;
  std::vector<uint32_t> partitions_, variableDecls_;
  std::unordered_set<std::string> resolving_;  // named sorts being built
};

}  // namespace

const Sort* ReadRange(const XmlTree& tree, uint32_t e, SymmetricNet* net) { return MakeRange(tree, e, "", net); }

Declarations ReadDeclarations(const XmlTree& tree, uint32_t net, SymmetricNet* out) {
  return Reader(tree, out).Run(net);
}

const Sort* ReadSort(const XmlTree& tree, uint32_t e, const Declarations& declarations) {
  const std::string& name = tree.at(e).name;
  if (name == "usersort") {
    const std::string* id = tree.Attribute(e, "declaration");
    const auto found = id != nullptr ? declarations.sorts.find(*id) : declarations.sorts.end();
    if (found == declarations.sorts.end() || found->second->kind == SortKind::kPartition) {
      Refuse(tree, e, "unknown sort " + Quote(id != nullptr ? *id : std::string()));
    }
    return found->second;
  }
  if (name == "dot") return declarations.dot;
  if (name == "bool") return declarations.boolean;
  Refuse(tree, e, "a sort given in place: declare it (namedsort) and name it (usersort)");
}

}  // namespace netfmt::symmetric
