// SPDX-License-Identifier: MIT
// The rebuilt model written to a file: JSON, a Graphviz graph (DOT), or that
// graph drawn as SVG by Graphviz's dot program.
#ifndef QUARNEL_TOOLS_QXHOST_MODEL_OUTPUT_H
#define QUARNEL_TOOLS_QXHOST_MODEL_OUTPUT_H

#include <string>

#include "model.h"
#include "output_file.h"

namespace qxhost {

// Writes the model as JSON to fd: {"nodes":[...],"edges":[...]} on one line,
// in the order the objects were created. False when a write failed.
bool WriteModelJson(const Model& model, int fd);
// Writes the model as a DOT digraph to fd.
bool WriteModelDot(const Model& model, int fd);

// The file --model names. Open checks everything that can be checked before
// the tool starts; Write replaces the file whole, through a temporary file in
// the same directory, so that the file is never seen half-written.
class ModelFile {
 public:
  // path ends in .json, .dot or .svg; for .svg the dot program must be found
  // in PATH. Creates the temporary file. False with a message otherwise.
  bool Open(const std::string& path, std::string* error);
  bool Write(const Model& model, std::string* error);

 private:
  enum class Format { kJson, kDot, kSvg };
  bool Draw(const Model& model, std::string* error);

  OutputFile file_;
  Format format_ = Format::kJson;
  std::string dot_program_;
};

}  // namespace qxhost

#endif
