// SPDX-License-Identifier: MIT
#include "model_output.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "text_escape.h"
#include "tool_process.h"

namespace qxhost {

namespace {

void AppendJsonAttributes(const Model& model, uint32_t first, std::string* out) {
  out->append("\"attributes\":{");
  for (uint32_t at = first; at != Model::kNone; at = model.attributes()[at].next) {
    const Model::Attribute& attribute = model.attributes()[at];
    if (at != first) out->push_back(',');
    out->push_back('"');
    AppendJsonString(model.Name(attribute.name), out);
    out->append("\":\"");
    AppendJsonString(model.Value(attribute), out);
    out->push_back('"');
  }
  out->push_back('}');
}

void AppendKind(const Model& model, uint32_t kind, std::string* out) {
  out->append(",\"kind\":\"");
  AppendJsonString(model.Kind(kind), out);
  out->append("\",");
}

// A kind whose name ends in "transition" is drawn as a box, as transitions
// are; every other node kind (place, queue, ...) as an ellipse.
const char* Shape(std::string_view kind) {
  return kind.ends_with("transition") ? "box" : "ellipse";
}

// The text of a model goes out in chunks, so that a large model is never held
// twice in memory.
class ChunkedOutput {
 public:
  explicit ChunkedOutput(int fd) : fd_(fd) {}
  std::string* text() { return &text_; }
  // Called after each object: writes the chunk once it is large.
  void Step() {
    if (text_.size() >= kChunk) Flush();
  }
  bool Finish() {
    Flush();
    return ok_;
  }

 private:
  static constexpr size_t kChunk = 1 << 20;
  void Flush() {
    if (ok_ && !WriteAll(fd_, text_)) ok_ = false;
    text_.clear();
  }
  int fd_;
  std::string text_;
  bool ok_ = true;
};

}  // namespace

bool WriteModelJson(const Model& model, int fd) {
  ChunkedOutput output(fd);
  std::string& out = *output.text();
  out = "{\"nodes\":[";
  bool first = true;
  for (const Model::Node& node : model.nodes()) {
    if (!first) out.push_back(',');
    first = false;
    out.append("{\"id\":").append(std::to_string(node.id));
    AppendKind(model, node.kind, &out);
    AppendJsonAttributes(model, node.first, &out);
    if (node.positioned) {
      out.append(",\"position\":[").append(std::to_string(node.h)).push_back(',');
      out.append(std::to_string(node.v)).push_back(']');
    }
    out.push_back('}');
    output.Step();
  }
  out.append("],\"edges\":[");
  first = true;
  for (const Model::Edge& edge : model.edges()) {
    if (!first) out.push_back(',');
    first = false;
    out.append("{\"id\":").append(std::to_string(edge.id));
    AppendKind(model, edge.kind, &out);
    out.append("\"from\":").append(std::to_string(edge.from));
    out.append(",\"to\":").append(std::to_string(edge.to)).push_back(',');
    AppendJsonAttributes(model, edge.first, &out);
    out.push_back('}');
    output.Step();
  }
  out.append("]}\n");
  return output.Finish();
}

bool WriteModelDot(const Model& model, int fd) {
  ChunkedOutput output(fd);
  std::string& out = *output.text();
  out = "digraph model {\n";
  for (const Model::Node& node : model.nodes()) {
    const std::string_view kind = model.Kind(node.kind);
    out.append("  n").append(std::to_string(node.id)).append(" [shape=");
    out.append(Shape(kind)).append(", label=\"");
    AppendDotString(kind, &out);
    out.append(" ").append(std::to_string(node.id));
    if (const Model::Attribute* name = model.Find(node.first, "name")) {
      out.append("\\n");
      AppendDotString(model.Value(*name), &out);
    }
    out.append("\"];\n");
    output.Step();
  }
  for (const Model::Edge& edge : model.edges()) {
    out.append("  n").append(std::to_string(edge.from)).append(" -> n");
    out.append(std::to_string(edge.to)).append(" [label=\"");
    AppendDotString(model.Kind(edge.kind), &out);
    out.append("\"];\n");
    output.Step();
  }
  out.append("}\n");
  return output.Finish();
}

bool ModelFile::Open(const std::string& path, std::string* error) {
  if (path.ends_with(".json")) {
    format_ = Format::kJson;
  } else if (path.ends_with(".dot")) {
    format_ = Format::kDot;
  } else if (path.ends_with(".svg")) {
    format_ = Format::kSvg;
    dot_program_ = FindProgram("dot");
    if (dot_program_.empty()) {
      *error = "--model " + path +
               " needs Graphviz's dot program (Debian package graphviz): not found in PATH";
      return false;
    }
  } else {
    *error = "--model " + path + ": the name must end in .json, .dot or .svg";
    return false;
  }
  return file_.Open(path, "the model file", error);
}

bool ModelFile::Draw(const Model& model, std::string* error) {
  // dot reads the graph from a file of its own, removed from its directory at
  // once, and writes the drawing into the temporary file.
  const std::string input_name = file_.temporary() + ".dot";
  int input = ::open(input_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ::unlink(input_name.c_str());
  if (input < 0 || !WriteModelDot(model, input) || ::lseek(input, 0, SEEK_SET) != 0) {
    *error = "cannot write the graph for dot in " + input_name + ": " + std::strerror(errno);
    CloseFd(&input);
    return false;
  }
  const pid_t pid = StartProgram({dot_program_, "-Tsvg"}, ".", input, file_.fd(), error);
  CloseFd(&input);
  if (pid < 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = dot_program_ + " -Tsvg failed";
    return false;
  }
  return true;
}

bool ModelFile::Write(const Model& model, std::string* error) {
  if (format_ == Format::kSvg) {
    if (!Draw(model, error)) return false;
  } else if (!(format_ == Format::kJson ? WriteModelJson(model, file_.fd())
                                        : WriteModelDot(model, file_.fd()))) {
    *error = file_.WriteError();
    return false;
  }
  return file_.Commit(error);
}

}  // namespace qxhost
