// SPDX-License-Identifier: MIT
#include "term_reader.h"

#include <charconv>

namespace netfmt::symmetric {

namespace {

// Counts beyond this are refused: a sum of a few of them still fits in 63
// bits.
constexpr int64_t kMaxCount = int64_t{1} << 48;

bool Is(const XmlTree& tree, uint32_t e, const char* name) { return tree.at(e).name == name; }

}  // namespace

Term TermReader::Multiset(uint32_t e, const Sort* sort, std::vector<uint32_t>* variables) {
  variables_ = variables;
  Term term = Read(e, sort);
  if (!SameSort(term.sort, sort)) {
    Refuse(tree_, e, "a term of sort " + SortName(*term.sort) + " where " + SortName(*sort) + " is needed");
  }
  return term;
}

Term TermReader::Guard(uint32_t e, std::vector<uint32_t>* variables) {
  variables_ = variables;
  return Boolean(e);
}

Term TermReader::Boolean(uint32_t e) {
  Term term = Read(e, d_.boolean);
  if (term.sort != d_.boolean || term.multiset) Refuse(tree_, e, "not a condition (a boolean term)");
  return term;
}

const Sort* TermReader::MakeProduct(uint32_t e, std::vector<const Sort*> components) {
  Sort sort;
  sort.kind = SortKind::kProduct;
  sort.components = std::move(components);
  if (!NumberProduct(&sort)) Refuse(tree_, e, "a tuple of more than " + std::to_string(kMaxSortSize) + " colours");
  net_->sorts.push_back(std::move(sort));
  return &net_->sorts.back();
}

Term TermReader::Comparison(uint32_t e, Op op, bool ordered) {
  const std::vector<uint32_t> args = Subterms(tree_, e);
  if (args.size() != 2) Refuse(tree_, e, "two terms are compared, not " + std::to_string(args.size()));
  Term term;
  term.op = op;
  term.sort = d_.boolean;
  term.where = tree_.at(e).where;
  Term a = Read(args[0], nullptr);
  Term b = Read(args[1], a.op == Op::kMembers ? nullptr : a.sort);
  // A partition element compared with a partition element of a colour.
  if (a.op == Op::kMembers) a = Read(args[0], b.sort);
  if (a.multiset || b.multiset) Refuse(tree_, e, "compares multisets (one colour on each side is needed)");
  if (!SameSort(a.sort, b.sort)) {
    Refuse(tree_, e, "compares a colour of " + SortName(*a.sort) + " with one of " + SortName(*b.sort));
  }
  if (ordered && !a.sort->Ordered()) Refuse(tree_, e, "colours of " + SortName(*a.sort) + " have no order");
  term.args.push_back(std::move(a));
  term.args.push_back(std::move(b));
  return term;
}

Term TermReader::Read(uint32_t e, const Sort* expected) {
  const std::string& name = tree_.at(e).name;
  Term term;
  term.where = tree_.at(e).where;
  auto attribute = [&](const char* key) -> const std::string& {
    const std::string* value = tree_.Attribute(e, key);
    if (value == nullptr) Refuse(tree_, e, std::string("no ") + key + " attribute");
    return *value;
  };
  auto same = [&](std::vector<uint32_t> args, size_t least) {
    if (args.size() < least) Refuse(tree_, e, "needs " + std::to_string(least) + " terms or more");
    const Sort* sort = expected;
    for (const uint32_t a : args) {
      Term arg = Read(a, sort);
      if (sort == nullptr) sort = arg.sort;
      if (!SameSort(arg.sort, sort)) {
        Refuse(tree_, a, "a term of sort " + SortName(*arg.sort) + " where " + SortName(*sort) + " is needed");
      }
      term.args.push_back(std::move(arg));
    }
    term.sort = sort;
  };

  if (name == "variable") {
    const std::string& id = attribute("refvariable");
    const auto found = d_.variableIndex.find(id);
    if (found == d_.variableIndex.end()) Refuse(tree_, e, "unknown variable " + Quote(id));
    if (variables_ == nullptr) Refuse(tree_, e, "variable " + Quote(id) + " in a marking, which holds none");
    variables_->push_back(found->second);
    term.op = Op::kVariable;
    term.sort = d_.variables[found->second].sort;
    term.number = found->second;
    return term;
  }
  if (name == "useroperator" || name == "feconstant") {
    // A constant named by a useroperator, or (as some tools write it) by a
    // feconstant element.
    const std::string* named = tree_.Attribute(e, "declaration");
    if (named == nullptr && name == "feconstant") named = tree_.Attribute(e, "id");
    if (named == nullptr) Refuse(tree_, e, "no declaration attribute");
    const std::string& id = *named;
    const auto found = d_.constants.find(id);
    if (found == d_.constants.end()) Refuse(tree_, e, "unknown constant " + Quote(id));
    const Declarations::Constant& c = found->second;
    term.number = static_cast<int64_t>(c.colour);
    if (c.sort->kind == SortKind::kPartition && expected != c.sort) {
      // A partition element where colours of the divided sort are wanted:
      // each colour of the element once.
      term.op = Op::kMembers;
      term.multiset = true;
      term.sort = c.sort->base;
      term.partition = c.sort;
      return term;
    }
    term.op = Op::kConstant;
    term.sort = c.sort;
    return term;
  }
  if (name == "dotconstant") {
    term.sort = d_.dot;
    return term;
  }
  if (name == "booleanconstant") {
    const std::string& value = attribute("value");
    if (value != "true" && value != "false") Refuse(tree_, e, "value " + Quote(value) + " is neither true nor false");
    term.sort = d_.boolean;
    term.number = value == "true";
    return term;
  }
  if (name == "finiteintrangeconstant") {
    const std::string& text = attribute("value");
    const uint32_t range = tree_.Child(e, "finiteintrange");
    if (range == XmlTree::kNone) Refuse(tree_, e, "no finiteintrange");
    const Sort* sort = ReadRange(tree_, range, net_);
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < sort->first || value > sort->last) {
      Refuse(tree_, e, "value " + Quote(text) + " is not in " + SortName(*sort));
    }
    term.sort = expected != nullptr && SameSort(expected, sort) ? expected : sort;
    term.number = value - sort->first;
    return term;
  }
  if (name == "tuple") {
    const std::vector<uint32_t> args = Subterms(tree_, e);
    // A tuple of one term is that term.
    if (args.size() == 1) return Read(args[0], expected);
    const bool typed = expected != nullptr && expected->kind == SortKind::kProduct &&
                       expected->components.size() == args.size();
    std::vector<const Sort*> components;
    for (size_t i = 0; i < args.size(); ++i) {
      Term arg = Read(args[i], typed ? expected->components[i] : nullptr);
      if (arg.sort->kind == SortKind::kProduct) Refuse(tree_, args[i], "a tuple inside a tuple");
      term.multiset |= arg.multiset;
      components.push_back(arg.sort);
      term.args.push_back(std::move(arg));
    }
    if (args.empty()) Refuse(tree_, e, "an empty tuple");
    term.op = Op::kTuple;
    bool fits = typed;
    for (size_t i = 0; fits && i < args.size(); ++i) fits = SameSort(components[i], expected->components[i]);
    term.sort = fits ? expected : MakeProduct(e, std::move(components));
    return term;
  }
  if (name == "numberof") {
    const std::vector<uint32_t> args = Subterms(tree_, e);
    if (args.size() != 2 || !Is(tree_, args[0], "numberconstant")) {
      Refuse(tree_, e, "a count (numberconstant) and a term are needed");
    }
    const std::string& text = *[&] {
      const std::string* value = tree_.Attribute(args[0], "value");
      if (value == nullptr) Refuse(tree_, args[0], "no value attribute");
      return value;
    }();
    int64_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || count < 0 || count > kMaxCount) {
      Refuse(tree_, args[0], "count " + Quote(text) + " is not a whole number from 0 to " + std::to_string(kMaxCount));
    }
    term.op = Op::kNumberOf;
    term.multiset = true;
    term.number = count;
    Term arg = Read(args[1], expected);
    term.sort = arg.sort;
    term.args.push_back(std::move(arg));
    return term;
  }
  if (name == "add" || name == "subtract") {
    term.op = name == "add" ? Op::kAdd : Op::kSubtract;
    term.multiset = true;
    same(Subterms(tree_, e), 1);
    return term;
  }
  if (name == "all") {
    term.op = Op::kAll;
    term.multiset = true;
    term.sort = ReadSort(tree_, OnlyChild(tree_, e), d_);
    return term;
  }
  if (name == "successor" || name == "predecessor") {
    term.op = name == "successor" ? Op::kSuccessor : Op::kPredecessor;
    same(Subterms(tree_, e), 1);
    if (term.args.size() != 1) Refuse(tree_, e, "one term is needed");
    if (term.args[0].multiset) Refuse(tree_, e, "of a multiset (one colour is needed)");
    if (term.sort->kind != SortKind::kEnumeration || !term.sort->cyclic) {
      Refuse(tree_, e, "of a colour of " + SortName(*term.sort) + ", which is not a cyclic enumeration");
    }
    return term;
  }
  if (name == "partitionelementof") {
    const std::string& id = attribute("refpartition");
    const auto found = d_.sorts.find(id);
    if (found == d_.sorts.end() || found->second->kind != SortKind::kPartition) Refuse(tree_, e, "unknown partition " + Quote(id));
    term.op = Op::kPartitionOf;
    term.sort = found->second;
    const std::vector<uint32_t> args = Subterms(tree_, e);
    if (args.size() != 1) Refuse(tree_, e, "one term is needed");
    Term arg = Read(args[0], term.sort->base);
    if (arg.multiset || !SameSort(arg.sort, term.sort->base)) Refuse(tree_, args[0], "not a colour of " + SortName(*term.sort->base));
    term.args.push_back(std::move(arg));
    return term;
  }
  if (name == "and" || name == "or" || name == "not" || name == "imply") {
    term.op = name == "and" ? Op::kAnd : name == "or" ? Op::kOr : name == "not" ? Op::kNot : Op::kImply;
    term.sort = d_.boolean;
    const std::vector<uint32_t> args = Subterms(tree_, e);
    const size_t need = term.op == Op::kNot ? 1 : 2;
    if (term.op == Op::kAnd || term.op == Op::kOr ? args.size() < need : args.size() != need) {
      Refuse(tree_, e, "needs " + std::to_string(need) + " conditions" + (need == 2 && name != "imply" ? " or more" : ""));
    }
    for (const uint32_t a : args) term.args.push_back(Boolean(a));
    return term;
  }
  static const struct {
    const char* name;
    Op op;
    bool ordered;
  } kComparisons[] = {
      {"equality", Op::kEqual, false},      {"inequality", Op::kNotEqual, false},
      {"lessthan", Op::kLess, true},        {"lessthanorequal", Op::kLessEqual, true},
      {"greaterthan", Op::kGreater, true},  {"greaterthanorequal", Op::kGreaterEqual, true},
      {"ltp", Op::kLess, true},             {"gtp", Op::kGreater, true},
  };
  for (const auto& c : kComparisons) {
    if (name == c.name) return Comparison(e, c.op, c.ordered);
  }
  Refuse(tree_, e, "not a term this reader knows");
}

}  // namespace netfmt::symmetric
