// SPDX-License-Identifier: MIT
#include "model.h"

#include <algorithm>
#include <cstdio>

namespace qxhost {

namespace {

// The piece budget of a numbered text is this less the length of the head
// (the command up to the piece number).
constexpr size_t kPieceBase = 235;

using Kind = KoraArgument::Kind;

// True when the arguments of command have the kinds given, in order.
bool Shaped(const KoraCommand& command, std::initializer_list<Kind> kinds) {
  if (command.arguments.size() != kinds.size()) return false;
  return std::equal(kinds.begin(), kinds.end(), command.arguments.begin(),
                    [](Kind kind, const KoraArgument& argument) { return argument.kind == kind; });
}

std::string Number(int64_t value) { return std::to_string(value); }

}  // namespace

Model::Model(std::vector<std::string> kinds, bool keep_values)
    : formalism_kinds_(std::move(kinds)), keep_values_(keep_values) {}

void Model::Fault(std::string_view text, const std::string& what, uint32_t slot) {
  ++faults_;
  std::fprintf(stderr, "qxhost: model: %.*s: %s\n", static_cast<int>(text.size()), text.data(),
               what.c_str());
  if (!keep_values_) return;
  std::string line = std::string(text) + ": " + what;
  if (slot == kNone) {
    other_faults_.push_back(std::move(line));
  } else {
    object_faults_[slot].push_back(std::move(line));
  }
}

const std::vector<std::string>* Model::FaultsOf(uint32_t slot) const {
  const auto at = object_faults_.find(slot);
  return at == object_faults_.end() ? nullptr : &at->second;
}

void Model::NoteReused(std::string_view text, int64_t id) {
  const auto at = reused_.find(id);
  if (at == reused_.end()) return;
  const uint32_t slot = Lookup(id);
  const std::string kind(names_[slot & kEdgeBit ? edges_[slot & ~kEdgeBit].kind : nodes_[slot].kind]);
  Fault(text, "taken by the " + kind + " " + Number(id) + ", though " + at->second +
                  " gave its number again",
        slot);
}

void Model::Take(std::string_view text, const KoraCommand& command) {
  const std::string_view name = command.name;
  if (name.size() != 2) return;
  if (name == "CN") {
    NewNode(text, command);
  } else if (name == "CA") {
    NewEdge(text, command);
  } else if (name == "CT") {
    SetText(text, command);
  } else if (name == "CM") {
    AddPiece(text, command);
  } else if (name == "pO") {
    SetPosition(text, command);
  }
}

uint32_t Model::Intern(std::string_view name) {
  const auto [at, added] = name_index_.try_emplace(std::string(name), names_.size());
  if (added) names_.emplace_back(name);
  return at->second;
}

bool Model::KnownKind(std::string_view kind) const {
  return formalism_kinds_.empty() ||
         std::find(formalism_kinds_.begin(), formalism_kinds_.end(), kind) !=
             formalism_kinds_.end();
}

uint32_t Model::Lookup(int64_t id) const {
  if (id >= 0 && static_cast<uint64_t>(id) < dense_.size() && dense_[id] != kNone) return dense_[id];
  if (sparse_.empty()) return kNone;
  const auto at = sparse_.find(id);
  return at == sparse_.end() ? kNone : at->second;
}

bool Model::Register(int64_t id, uint32_t slot) {
  if (Lookup(id) != kNone) return false;
  // Numbers up to a few times the count of objects go to the table, which
  // then stays proportional to the model; a far larger number to the map.
  const uint64_t objects = nodes_.size() + edges_.size();
  if (id >= 0 && static_cast<uint64_t>(id) < 4 * objects + 4096) {
    if (static_cast<uint64_t>(id) >= dense_.size())
      dense_.resize(std::max<size_t>(static_cast<size_t>(id) + 1, dense_.size() * 2), kNone);
    dense_[id] = slot;
  } else {
    sparse_.emplace(id, slot);
  }
  return true;
}

void Model::Reused(std::string_view text, int64_t id) {
  Fault(text, "object number " + Number(id) + " used twice", Lookup(id));
  reused_.try_emplace(id, text);
}

void Model::NewNode(std::string_view text, const KoraCommand& command) {
  if (!Shaped(command, {Kind::kString, Kind::kInteger})) {
    Fault(text, "CN takes a kind and a node number");
    return;
  }
  const std::string_view kind = command.arguments[0].text;
  const int64_t id = command.arguments[1].integer;
  if (!KnownKind(kind)) Fault(text, "the formalism defines no kind \"" + std::string(kind) + "\"");
  if (!Register(id, static_cast<uint32_t>(nodes_.size()))) {
    Reused(text, id);
    return;
  }
  nodes_.push_back(Node{id, Intern(kind)});
}

void Model::NewEdge(std::string_view text, const KoraCommand& command) {
  if (!Shaped(command, {Kind::kString, Kind::kInteger, Kind::kInteger, Kind::kInteger})) {
    Fault(text, "CA takes a kind, an edge number and two node numbers");
    return;
  }
  const std::string_view kind = command.arguments[0].text;
  const int64_t id = command.arguments[1].integer;
  if (!KnownKind(kind)) Fault(text, "the formalism defines no kind \"" + std::string(kind) + "\"");
  if (!Register(id, static_cast<uint32_t>(edges_.size()) | kEdgeBit)) {
    Reused(text, id);
    return;
  }
  edges_.push_back(Edge{id, command.arguments[2].integer, command.arguments[3].integer,
                        Intern(kind), static_cast<uint32_t>(nodes_.size())});
}

std::pair<uint32_t*, uint32_t*> Model::ListOf(int64_t id) {
  const uint32_t slot = Lookup(id);
  if (slot == kNone) return {nullptr, nullptr};
  if (slot & kEdgeBit) {
    Edge& edge = edges_[slot & ~kEdgeBit];
    return {&edge.first, &edge.last};
  }
  Node& node = nodes_[slot];
  return {&node.first, &node.last};
}

const Model::Attribute* Model::Find(uint32_t first, std::string_view name) const {
  for (uint32_t at = first; at != kNone; at = attributes_[at].next)
    if (names_[attributes_[at].name] == name) return &attributes_[at];
  return nullptr;
}

void Model::SetAttribute(int64_t id, std::string_view name, std::string_view value) {
  if (!keep_values_) return;
  const auto [first, last] = ListOf(id);
  const uint32_t name_index = Intern(name);
  // A name given again replaces the value; its place in the list stays.
  for (uint32_t at = *first; at != kNone; at = attributes_[at].next) {
    if (attributes_[at].name == name_index) {
      attributes_[at].offset = values_.size();
      attributes_[at].length = value.size();
      values_.append(value);
      return;
    }
  }
  const uint32_t index = static_cast<uint32_t>(attributes_.size());
  attributes_.push_back(Attribute{name_index, kNone, values_.size(), value.size()});
  values_.append(value);
  if (*last != kNone) {
    attributes_[*last].next = index;
  } else {
    *first = index;
  }
  *last = index;
}

void Model::SetText(std::string_view text, const KoraCommand& command) {
  if (!Shaped(command, {Kind::kString, Kind::kInteger, Kind::kString})) {
    Fault(text, "CT takes an attribute name, an object number and a value");
    return;
  }
  const int64_t id = command.arguments[1].integer;
  if (ListOf(id).first == nullptr) {
    Fault(text, "attribute for object " + Number(id) + ", which was never created");
    return;
  }
  SetAttribute(id, command.arguments[0].text, command.arguments[2].text);
  NoteReused(text, id);
}

void Model::AddPiece(std::string_view text, const KoraCommand& command) {
  if (!Shaped(command, {Kind::kString, Kind::kInteger, Kind::kInteger, Kind::kInteger,
                        Kind::kString})) {
    Fault(text, "CM takes an attribute name, an object number, a piece number, a total or "
                "piece kind, and a piece");
    return;
  }
  const std::vector<KoraArgument>& args = command.arguments;
  const int64_t id = args[1].integer;
  if (ListOf(id).first == nullptr) {
    Fault(text, "attribute for object " + Number(id) + ", which was never created");
    return;
  }
  NoteReused(text, id);
  const int64_t number = args[2].integer;
  const int64_t kind = args[3].integer;
  const std::string_view piece = args[4].text;
  auto key = std::make_pair(id, std::string(args[0].text));
  auto open = series_.find(key);
  if (number == 1 && kind <= 0) {
    if (open != series_.end()) {
      Fault(open->second.last_command, "no final piece before a new series began");
      series_.erase(open);
    }
    // The head is the command up to the piece number.
    const size_t head = static_cast<size_t>(args[2].text.data() - text.data());
    PieceSeries series(-kind, head < kPieceBase ? kPieceBase - head : 1);
    series.Add(piece);
    if (series.CompleteWithoutBreaks()) {
      SetAttribute(id, args[0].text, piece);
    } else {
      series_.emplace(std::move(key), OpenSeries{std::move(series), std::string(text)});
    }
    return;
  }
  if (kind != 2 && kind != 3) {
    Fault(text, "piece kind " + Number(kind) + ": 2 or 3 after the first piece");
    return;
  }
  if (open == series_.end()) {
    Fault(text, "a gap: piece " + Number(number) + " without a first piece");
    return;
  }
  PieceSeries& series = open->second.pieces;
  if (number != series.next_number()) {
    Fault(text, "a gap: piece " + Number(number) + " where piece " +
                    Number(series.next_number()) + " was due");
    series_.erase(open);
    return;
  }
  series.Add(piece);
  open->second.last_command.assign(text);
  if (kind == 2) return;
  std::string value;
  if (series.Join(&value)) {
    SetAttribute(id, args[0].text, value);
  } else {
    Fault(text, "the pieces do not make the total length the first piece gave");
  }
  series_.erase(open);
}

void Model::SetPosition(std::string_view text, const KoraCommand& command) {
  if (!Shaped(command, {Kind::kInteger, Kind::kInteger, Kind::kInteger})) {
    Fault(text, "pO takes a node number and two positions");
    return;
  }
  const int64_t id = command.arguments[0].integer;
  const uint32_t slot = Lookup(id);
  if (slot == kNone || (slot & kEdgeBit)) {
    Fault(text, "position for object " + Number(id) +
                    (slot == kNone ? ", which was never created" : ", which is an edge"));
    return;
  }
  const int64_t h = command.arguments[1].integer;
  const int64_t v = command.arguments[2].integer;
  if (h < INT16_MIN || h > INT16_MAX || v < INT16_MIN || v > INT16_MAX) {
    Fault(text, "a position outside the signed 16-bit range");
    return;
  }
  Node& node = nodes_[slot];
  node.h = static_cast<int16_t>(h);
  node.v = static_cast<int16_t>(v);
  node.positioned = true;
  NoteReused(text, id);
}

void Model::Finish() {
  for (const auto& [key, open] : series_)
    Fault(open.last_command, "no final piece at the end of the run");
  series_.clear();
  // An edge joins nodes created before it, as the host rebuilds the model in
  // the order the commands arrive; the ends are checked once every command
  // has come, so that the report tells a node that came late from one that
  // never came.
  for (size_t i = 0; i < edges_.size(); ++i) {
    const Edge& edge = edges_[i];
    const auto text = [&] {
      const std::string kind = names_[edge.kind];
      return "CA(" + Number(static_cast<int64_t>(kind.size())) + ":" + kind + "," +
             Number(edge.id) + "," + Number(edge.from) + "," + Number(edge.to) + ")";
    };
    const uint32_t edge_slot = static_cast<uint32_t>(i) | kEdgeBit;
    for (const int64_t end : {edge.from, edge.to}) {
      const uint32_t slot = Lookup(end);
      if (slot != kNone && !(slot & kEdgeBit) && slot < edge.nodes_before) {
        // The end is the node first given that number; the command that gave
        // it again may have meant another.
        if (const auto at = reused_.find(end); at != reused_.end()) {
          Fault(text(), "end node " + Number(end) + " is the first object of that number, though " +
                            at->second + " gave it again",
                edge_slot);
        }
        continue;
      }
      Fault(text(), "end node " + Number(end) +
                        (slot == kNone        ? " was never created"
                         : slot & kEdgeBit    ? " is an edge"
                                              : " came after the edge"),
            edge_slot);
    }
  }
}

}  // namespace qxhost
