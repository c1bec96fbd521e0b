// SPDX-License-Identifier: MIT
// The rebuilt model written to a file: JSON, a Graphviz graph (DOT), or that
// graph drawn as SVG by Graphviz's dot program.
#ifndef QUARNEL_TOOLS_QXHOST_MODEL_OUTPUT_H
#define QUARNEL_TOOLS_QXHOST_MODEL_OUTPUT_H

#include <optional>
#include <string>
#include <vector>

#include "model.h"
#include "output_file.h"

namespace qxhost {

// Writes the model as JSON to fd: {"nodes":[...],"edges":[...]} on one line,
// in the order the objects were created; an object with a fault carries the
// list of its fault lines ("faults"), and the faults on no object follow the
// edges as a "faults" list of the whole. False when a write failed.
bool WriteModelJson(const Model& model, int fd);
// Writes the model as a DOT digraph to fd: each node labelled with its kind,
// number and name, each edge with its kind, both with ATTR=value for each
// attribute named in labels that they have; a node's position as pos (y
// negated: Graphviz's axis points up); an object with a fault in red with its
// fault lines; an edge end that is no node as a red dashed "missing node".
bool WriteModelDot(const Model& model, const std::vector<std::string>& labels, int fd);

// True when every node has a position and every edge end is a node: the
// drawing can then keep the tool's positions.
bool EveryNodePlaced(const Model& model);

// The file --model names. Open checks everything that can be checked before
// the tool starts; Write replaces the file whole, through a temporary file in
// the same directory, so that the file is never seen half-written.
class ModelFile {
 public:
  // path ends in .json, .dot or .svg; for .svg the dot program must be found
  // in PATH. labels: the attributes of --label, for the drawing. Creates the
  // temporary file. False with a message otherwise.
  bool Open(const std::string& path, std::vector<std::string> labels, std::string* error);
  bool Write(const Model& model, std::string* error);

 private:
  enum class Format { kJson, kDot, kSvg };
  bool Draw(const Model& model, std::string* error);
  std::string CannotWrite() const;

  std::optional<outfile::OutputFile> file_;
  std::vector<std::string> labels_;
  Format format_ = Format::kJson;
  std::string dot_program_;
};

}  // namespace qxhost

#endif
