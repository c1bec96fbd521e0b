// SPDX-License-Identifier: MIT
#include "model_output.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>
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

// A "faults" list of the fault lines given; nothing for none.
void AppendJsonFaults(const std::vector<std::string>* faults, std::string* out) {
  if (faults == nullptr || faults->empty()) return;
  out->append(",\"faults\":[");
  for (size_t i = 0; i < faults->size(); ++i) {
    if (i != 0) out->push_back(',');
    out->push_back('"');
    AppendJsonString((*faults)[i], out);
    out->push_back('"');
  }
  out->push_back(']');
}

// An object with a fault is drawn in red, its fault lines under its label.
constexpr const char* kFaultStyle = "color=red, fontcolor=red, ";

// The lines a label gets after its first: ATTR=value for each attribute of
// --label the object has, then its faults.
void AppendDotLabelLines(const Model& model, uint32_t first, const std::vector<std::string>& labels,
                         const std::vector<std::string>* faults, std::string* out) {
  for (const std::string& label : labels) {
    if (const Model::Attribute* attribute = model.Find(first, label)) {
      out->append("\\n");
      AppendDotString(label, out);
      out->push_back('=');
      AppendDotString(model.Value(*attribute), out);
    }
  }
  if (faults == nullptr) return;
  for (const std::string& fault : *faults) {
    out->append("\\nfault: ");
    AppendDotString(fault, out);
  }
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
    if (ok_ && !outfile::WriteAll(fd_, text_)) ok_ = false;
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
  for (size_t i = 0; i < model.nodes().size(); ++i) {
    const Model::Node& node = model.nodes()[i];
    if (i != 0) out.push_back(',');
    out.append("{\"id\":").append(std::to_string(node.id));
    AppendKind(model, node.kind, &out);
    AppendJsonAttributes(model, node.first, &out);
    if (node.positioned) {
      out.append(",\"position\":[").append(std::to_string(node.h)).push_back(',');
      out.append(std::to_string(node.v)).push_back(']');
    }
    AppendJsonFaults(model.NodeFaults(i), &out);
    out.push_back('}');
    output.Step();
  }
  out.append("],\"edges\":[");
  for (size_t i = 0; i < model.edges().size(); ++i) {
    const Model::Edge& edge = model.edges()[i];
    if (i != 0) out.push_back(',');
    out.append("{\"id\":").append(std::to_string(edge.id));
    AppendKind(model, edge.kind, &out);
    out.append("\"from\":").append(std::to_string(edge.from));
    out.append(",\"to\":").append(std::to_string(edge.to)).push_back(',');
    AppendJsonAttributes(model, edge.first, &out);
    AppendJsonFaults(model.EdgeFaults(i), &out);
    out.push_back('}');
    output.Step();
  }
  out.push_back(']');
  if (!model.OtherFaults().empty()) AppendJsonFaults(&model.OtherFaults(), &out);
  out.append("}\n");
  return output.Finish();
}

bool EveryNodePlaced(const Model& model) {
  if (model.nodes().empty()) return false;
  for (const Model::Node& node : model.nodes())
    if (!node.positioned) return false;
  for (const Model::Edge& edge : model.edges())
    if (!model.IsNode(edge.from) || !model.IsNode(edge.to)) return false;
  return true;
}

bool WriteModelDot(const Model& model, const std::vector<std::string>& labels, int fd) {
  ChunkedOutput output(fd);
  std::string& out = *output.text();
  out = "digraph model {\n";
  for (size_t i = 0; i < model.nodes().size(); ++i) {
    const Model::Node& node = model.nodes()[i];
    const std::string_view kind = model.Kind(node.kind);
    const std::vector<std::string>* faults = model.NodeFaults(i);
    out.append("  n").append(std::to_string(node.id)).append(" [shape=");
    out.append(Shape(kind)).append(", ");
    if (faults != nullptr) out.append(kFaultStyle);
    if (node.positioned) {
      // Graphviz's y axis points up, the host's down: v is negated.
      out.append("pos=\"").append(std::to_string(node.h)).push_back(',');
      out.append(std::to_string(-static_cast<int>(node.v))).append("!\", ");
    }
    out.append("label=\"");
    AppendDotString(kind, &out);
    out.append(" ").append(std::to_string(node.id));
    if (const Model::Attribute* name = model.Find(node.first, "name")) {
      out.append("\\n");
      AppendDotString(model.Value(*name), &out);
    }
    AppendDotLabelLines(model, node.first, labels, faults, &out);
    out.append("\"];\n");
    output.Step();
  }
  // Edge ends that are no node: drawn apart, so that they cannot pass for
  // nodes of the model. Each once.
  std::unordered_set<int64_t> missing;
  for (const Model::Edge& edge : model.edges()) {
    for (const int64_t end : {edge.from, edge.to}) {
      if (model.IsNode(end) || !missing.insert(end).second) continue;
      out.append("  n").append(std::to_string(end)).append(" [shape=ellipse, style=dashed, ");
      out.append(kFaultStyle).append("label=\"missing node ").append(std::to_string(end));
      out.append("\"];\n");
    }
  }
  for (size_t i = 0; i < model.edges().size(); ++i) {
    const Model::Edge& edge = model.edges()[i];
    const std::vector<std::string>* faults = model.EdgeFaults(i);
    out.append("  n").append(std::to_string(edge.from)).append(" -> n");
    out.append(std::to_string(edge.to)).append(" [");
    if (faults != nullptr) out.append(kFaultStyle);
    out.append("label=\"");
    AppendDotString(model.Kind(edge.kind), &out);
    AppendDotLabelLines(model, edge.first, labels, faults, &out);
    out.append("\"];\n");
    output.Step();
  }
  out.append("}\n");
  return output.Finish();
}

bool ModelFile::Open(const std::string& path, std::vector<std::string> labels,
                     std::string* error) {
  labels_ = std::move(labels);
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
  file_.emplace(path);
  if (file_->ok()) return true;
  *error = CannotWrite();
  return false;
}

std::string ModelFile::CannotWrite() const {
  return "cannot write the model file " + file_->target() + ": " + file_->Reason();
}

bool ModelFile::Draw(const Model& model, std::string* error) {
  // dot reads the graph from a file of its own, removed from its directory at
  // once, and writes the drawing into the temporary file.
  const std::string& beside = file_->temporary().empty() ? file_->target() : file_->temporary();
  const std::string input_name = beside + ".dot";
  int input = ::open(input_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ::unlink(input_name.c_str());
  if (input < 0 || !WriteModelDot(model, labels_, input) || ::lseek(input, 0, SEEK_SET) != 0) {
    *error = "cannot write the graph for dot in " + input_name + ": " + std::strerror(errno);
    CloseFd(&input);
    return false;
  }
  // Positions for every node: drawn where the tool put them (neato -n takes
  // them as they are); otherwise dot's own layout.
  std::vector<std::string> argv{dot_program_, "-Tsvg"};
  if (EveryNodePlaced(model)) {
    argv.push_back("-Kneato");
    argv.push_back("-n");
  }
  const pid_t pid = StartProgram(argv, ".", input, file_->Descriptor(), error);
  CloseFd(&input);
  if (pid < 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = argv[0] + " -Tsvg failed";
    return false;
  }
  return true;
}

bool ModelFile::Write(const Model& model, std::string* error) {
  if (format_ == Format::kSvg) {
    if (!Draw(model, error)) return false;
  } else {
    const int fd = file_->Descriptor();
    if (!(format_ == Format::kJson ? WriteModelJson(model, fd) : WriteModelDot(model, labels_, fd))) {
      file_->Fail(errno);
    }
  }
  if (file_->Commit()) return true;
  *error = CannotWrite();
  return false;
}

}  // namespace qxhost
