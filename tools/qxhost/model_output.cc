// SPDX-License-Identifier: MIT
#include "model_output.h"

#include <fcntl.h>
#include <sys/stat.h>
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

bool WriteAll(int fd, std::string_view text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
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

ModelFile::~ModelFile() {
  CloseFd(&fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
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
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    *error = "cannot write the model file " + path + ": " + std::strerror(EISDIR);
    return false;
  }
  path_ = path;
  std::vector<char> name(path.begin(), path.end());
  for (const char c : std::string_view(".XXXXXX")) name.push_back(c);
  name.push_back('\0');
  fd_ = ::mkstemp(name.data());
  if (fd_ < 0) {
    *error = "cannot write the model file " + path + ": " + std::strerror(errno);
    return false;
  }
  temporary_ = name.data();
  return true;
}

bool ModelFile::Draw(const Model& model, std::string* error) {
  // dot reads the graph from a file of its own, removed from its directory at
  // once, and writes the drawing into the temporary file.
  const std::string input_name = temporary_ + ".dot";
  int input = ::open(input_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ::unlink(input_name.c_str());
  if (input < 0 || !WriteModelDot(model, input) || ::lseek(input, 0, SEEK_SET) != 0) {
    *error = "cannot write the graph for dot in " + input_name + ": " + std::strerror(errno);
    CloseFd(&input);
    return false;
  }
  const pid_t pid = StartProgram({dot_program_, "-Tsvg"}, ".", input, fd_, error);
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
  bool ok;
  if (format_ == Format::kSvg) {
    ok = Draw(model, error);
  } else {
    ok = format_ == Format::kJson ? WriteModelJson(model, fd_) : WriteModelDot(model, fd_);
    if (!ok) *error = "cannot write the model file " + path_ + ": " + std::strerror(errno);
  }
  // The file gets the mode a new file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (ok && !closed) {
    *error = "cannot write the model file " + path_ + ": " + std::strerror(errno);
    ok = false;
  }
  if (ok && ::rename(temporary_.c_str(), path_.c_str()) != 0) {
    *error = "cannot write the model file " + path_ + ": " + std::strerror(errno);
    ok = false;
  }
  if (ok) temporary_.clear();
  return ok;
}

}  // namespace qxhost
