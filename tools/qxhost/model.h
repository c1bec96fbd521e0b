// SPDX-License-Identifier: MIT
// The model a tool traces, rebuilt from its model commands (CN, CA, CT, the
// numbered CM pieces, pO) as they arrive, and checked on the way.
#ifndef QUARNEL_TOOLS_QXHOST_MODEL_H
#define QUARNEL_TOOLS_QXHOST_MODEL_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kora_syntax.h"
#include "piece_series.h"

namespace qxhost {

// Node and edge numbers share one space. Memory grows with the model: a fixed
// record per node and per edge, one per attribute, and the value bytes; kinds
// and attribute names are held once each.
class Model {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  struct Node {
    int64_t id;
    uint32_t kind;        // index into kinds()
    uint32_t first = kNone;  // first attribute, kNone when it has none
    uint32_t last = kNone;
    int16_t h = 0, v = 0;
    bool positioned = false;
  };
  struct Edge {
    int64_t id, from, to;
    uint32_t kind;
    uint32_t nodes_before;  // how many nodes were created before it
    uint32_t first = kNone;
    uint32_t last = kNone;
  };
  struct Attribute {
    uint32_t name;  // index into names()
    uint32_t next = kNone;
    uint64_t offset;  // of the value in values()
    uint64_t length;
  };

  // kinds: the node and edge kinds of the workspace's formalism; empty when
  // they are not known, and then every kind is taken. Without keep_values
  // the model is only checked: attribute values are not held.
  Model(std::vector<std::string> kinds, bool keep_values);

  // Takes one command of the tool; commands other than the model's are left
  // alone. Each fault is printed at once as a "qxhost: model: " line; with
  // keep_values it is also kept, on the object it concerns (see FaultsOf).
  void Take(std::string_view text, const KoraCommand& command);
  // The end of the run: edges whose end nodes never came or came after them,
  // and CM series without their final piece.
  void Finish();

  size_t faults() const { return faults_; }
  const std::vector<Node>& nodes() const { return nodes_; }
  const std::vector<Edge>& edges() const { return edges_; }
  const std::vector<Attribute>& attributes() const { return attributes_; }
  std::string_view Kind(uint32_t index) const { return names_[index]; }
  std::string_view Name(uint32_t index) const { return names_[index]; }
  std::string_view Value(const Attribute& a) const {
    return std::string_view(values_).substr(a.offset, a.length);
  }
  // The value of the attribute called name in the list starting at first.
  const Attribute* Find(uint32_t first, std::string_view name) const;
  // The fault lines ("COMMAND: what") on node index i or edge index i, in the
  // order found; null when it has none. Kept only with keep_values.
  const std::vector<std::string>* NodeFaults(size_t i) const { return FaultsOf(static_cast<uint32_t>(i)); }
  const std::vector<std::string>* EdgeFaults(size_t i) const {
    return FaultsOf(static_cast<uint32_t>(i) | kEdgeBit);
  }
  // The fault lines that concern no object (an attribute for an object never
  // created, ...).
  const std::vector<std::string>& OtherFaults() const { return other_faults_; }
  // True when id names a node (an edge end that does not is drawn as missing).
  bool IsNode(int64_t id) const {
    const uint32_t slot = Lookup(id);
    return slot != kNone && !(slot & kEdgeBit);
  }

 private:
  // Where an object number points: the index in nodes_ or edges_, the top
  // bit set for an edge.
  static constexpr uint32_t kEdgeBit = 0x80000000u;

  // A fault of the command text; slot: the object it concerns, kNone for none.
  void Fault(std::string_view text, const std::string& what, uint32_t slot = kNone);
  const std::vector<std::string>* FaultsOf(uint32_t slot) const;
  // A command that touched object id after its number was given again: the
  // object takes it, as it would without the second creation, and lists it.
  void NoteReused(std::string_view text, int64_t id);
  // A creation with a number already taken.
  void Reused(std::string_view text, int64_t id);
  void NewNode(std::string_view text, const KoraCommand& command);
  void NewEdge(std::string_view text, const KoraCommand& command);
  void SetText(std::string_view text, const KoraCommand& command);
  void AddPiece(std::string_view text, const KoraCommand& command);
  void SetPosition(std::string_view text, const KoraCommand& command);

  uint32_t Intern(std::string_view name);
  bool KnownKind(std::string_view kind) const;
  // The slot of object id, kNone when there is none.
  uint32_t Lookup(int64_t id) const;
  bool Register(int64_t id, uint32_t slot);
  // The attribute list of object id, null when there is no such object.
  std::pair<uint32_t*, uint32_t*> ListOf(int64_t id);
  void SetAttribute(int64_t id, std::string_view name, std::string_view value);

  std::vector<std::string> formalism_kinds_;
  const bool keep_values_;
  std::vector<Node> nodes_;
  std::vector<Edge> edges_;
  std::vector<Attribute> attributes_;
  std::string values_;
  std::vector<std::string> names_;  // kinds and attribute names
  std::unordered_map<std::string, uint32_t> name_index_;
  // Object numbers: small ones in a table indexed by number, others in a map.
  std::vector<uint32_t> dense_;
  std::unordered_map<int64_t, uint32_t> sparse_;
  // CM series under way, by object number and attribute name, with the last
  // piece command that came.
  struct OpenSeries {
    PieceSeries pieces;
    std::string last_command;
  };
  std::map<std::pair<int64_t, std::string>, OpenSeries> series_;
  size_t faults_ = 0;
  std::unordered_map<uint32_t, std::vector<std::string>> object_faults_;  // by slot
  std::vector<std::string> other_faults_;
  // Numbers given twice, with the command that gave one again.
  std::unordered_map<int64_t, std::string> reused_;
};

}  // namespace qxhost

#endif
