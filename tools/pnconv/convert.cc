// SPDX-License-Identifier: MIT
#include "convert.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "dot_writer.h"
#include "matrix_net.h"
#include "matrix_writer.h"
#include "net_lists_of.h"
#include "pep_reader.h"
#include "pep_writer.h"
#include "pnml_reader.h"
#include "pnml_writer.h"
#include "prod_writer.h"
#include "same_file.h"

namespace pnconv {

namespace {

void Say(const std::string& text) {
  const std::string line = "pnconv: " + text + "\n";
  std::fputs(line.c_str(), stderr);
}

std::string InputName(const Options& options) {
  return options.input == "-" ? std::string("standard input") : options.input;
}
std::string OutputName(const Options& options) {
  return options.output == "-" ? std::string("standard output") : options.output;
}

// Whether the output is a stream (standard output, a FIFO, a device), which
// has no directory beside it for a matrix file's reference file.
bool OutputIsStream(const Options& options) {
  struct stat info;
  return options.output == "-" ||
         (stat(options.output.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode));
}

// A descriptor closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ > STDERR_FILENO) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::optional<netfmt::Net> Read(const Options& options, netfmt::Problem* problem,
                                netfmt::symmetric::UnfoldFigures* unfolded) {
  if (options.from == Format::kMatrix) {
    return ReadMatrixNet(options.input == "-" ? std::string("/dev/stdin") : options.input, problem);
  }
  const Descriptor fd(options.input == "-" ? STDIN_FILENO : open(options.input.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    *problem = netfmt::Problem{std::string("cannot open: ") + std::strerror(errno), {}};
    return std::nullopt;
  }
  const netfmt::ReadSome input = netfmt::FromDescriptor(fd.get());
  if (options.from == Format::kPep) return netfmt::ReadPep(input, problem);
  return netfmt::ReadPnml(input, netfmt::PnmlOptions{options.netId, options.maxNodes}, problem, unfolded);
}

// "N things", or "1 thing".
std::string Counted(uint64_t n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

// "P places, T transitions and A arcs", each in the number it has.
std::string Size(uint64_t places, uint64_t transitions, uint64_t arcs) {
  return Counted(places, "place") + ", " + Counted(transitions, "transition") + " and " + Counted(arcs, "arc");
}

// The note on an unfolded symmetric net: its size and the unfolding's.
std::string UnfoldNote(const netfmt::symmetric::UnfoldFigures& f, const netfmt::Net& net) {
  return "a symmetric net of " + Size(f.places, f.transitions, f.arcs) + ", unfolded into " +
         Size(static_cast<uint64_t>(net.places()), static_cast<uint64_t>(net.transitions()), net.arcs());
}

// What the target cannot hold, as one line per kind of loss.
struct Losses {
  std::vector<std::string> lines;
  void Add(uint64_t count, const std::string& text) {
    if (count > 0) lines.push_back(std::to_string(count) + " " + text);
  }
};

struct NetCounts {
  uint64_t heavyArcs = 0;    // weight above 1
  uint64_t fullPlaces = 0;   // more than one token
  uint64_t namedNodes = 0;
};

NetCounts Count(const netfmt::Net& net) {
  NetCounts c;
  net.ForEachArc([&](int, int, int64_t weight) { c.heavyArcs += weight > 1; });
  for (int p = 0; p < net.places(); ++p) c.fullPlaces += net.tokens(p) > 1;
  for (int i = 0; i < net.nodes(); ++i) c.namedNodes += !net.name(i).empty();
  return c;
}

// The output file's base name without its suffix when it is an XML name,
// else "net": the PNML net's id.
std::string PnmlNetId(const Options& options) {
  std::string base = options.output == "-" ? options.input : options.output;
  const size_t slash = base.rfind('/');
  if (slash != std::string::npos) base = base.substr(slash + 1);
  const size_t dot = base.find('.');
  if (dot != std::string::npos) base = base.substr(0, dot);
  return netfmt::IsXmlName(base) ? base : std::string("net");
}

Status Write(const Options& options, const netfmt::Net& net) {
  const Format to = *options.to;
  const std::string target = OutputName(options);
  const NetCounts counts = Count(net);
  const bool stream = OutputIsStream(options);
  Losses losses;
  std::vector<std::string_view> pepNames;
  switch (to) {
    case Format::kPep: {
      uint64_t replaced = 0;
      pepNames = netfmt::PepNames(net, options.from == Format::kMatrix, &replaced);
      losses.Add(replaced, "names PEP cannot hold (both quotes, or a line break) replaced by node ids");
      break;
    }
    case Format::kProd:
      losses.Add(counts.heavyArcs, "arcs of weight above 1 written as plain arcs (the PROD file holds no weights)");
      losses.Add(counts.fullPlaces, "places with more than one token written as marked (the PROD file holds no token counts)");
      losses.Add(counts.namedNodes, "node names left out (the PROD file has default names only)");
      break;
    case Format::kMatrix: {
      if (const std::string refusal = netfmt::MatrixRefusal(net); !refusal.empty()) {
        Say(target + ": " + refusal + "; nothing written");
        return kOutputFailed;
      }
      uint64_t words = 0;
      for (int i = 0; i < net.nodes(); ++i) words += !net.name(i).empty() && !netfmt::IsRefWord(net.name(i));
      if (!stream) {
        losses.Add(words, "names that are not one word replaced by node ids in the reference file");
      } else {
        losses.Add(counts.namedNodes, "node names left out (no reference file beside a stream)");
      }
      break;
    }
    case Format::kPnml: {
      uint64_t replaced = 0;
      for (int i = 0; i < net.nodes(); ++i) {
        bool changed = false;
        netfmt::XmlText(net.name(i), &changed);
        replaced += changed;
      }
      losses.Add(replaced, "names with characters XML cannot hold, written with U+FFFD");
      break;
    }
    case Format::kDot:
      if (net.nodes() > netfmt::kDotReadableNodes && !options.quiet) {
        Say(target + ": a drawing of " + std::to_string(net.nodes()) + " nodes is rarely readable (written anyway)");
      }
      break;
  }
  if (options.strict && !losses.lines.empty()) {
    for (const std::string& line : losses.lines) Say(target + ": refused (--strict): " + line);
    return kLossRefused;
  }
  if (!options.quiet) {
    for (const std::string& line : losses.lines) Say(target + ": " + line);
  }

  // The output is named by the user: a FIFO or a device there is written
  // into, as by any writer, never replaced.
  netfmt::OutputFile out(options.output, netfmt::OutputFile::Special::kWriteInto);
  bool ok = false;
  auto cannotWrite = [&](const netfmt::OutputFile& file) {
    Say((&file == &out ? target : file.target()) + ": cannot be written: " + file.Reason());
    return kOutputFailed;
  };
  switch (to) {
    case Format::kPep:
      ok = netfmt::WritePep(netfmt::NetListsOf(net, pepNames, options.readArcs), out);
      break;
    case Format::kProd: {
      const std::vector<std::string_view> none(static_cast<size_t>(net.nodes()));
      ok = netfmt::WriteProd(netfmt::NetListsOf(net, none, false), out);
      break;
    }
    case Format::kMatrix: {
      if (stream) {
        ok = netfmt::WriteMatrix(net, out);
        break;
      }
      netfmt::OutputFile ref(options.output + ".ref", netfmt::OutputFile::Special::kWriteInto);
      if (!netfmt::WriteMatrixAndReference(net, "pnconv " + InputName(options), out, ref)) {
        return cannotWrite(out.error() == 0 && ref.error() != 0 ? ref : out);
      }
      ok = true;
      break;
    }
    case Format::kPnml:
      ok = netfmt::WritePnml(net, PnmlNetId(options), out);
      break;
    case Format::kDot:
      ok = netfmt::WriteDot(net, out);
      break;
  }
  return ok ? kWritten : cannotWrite(out);
}

}  // namespace

Status Convert(const Options& options) {
  const bool withReference = options.to == Format::kMatrix && !OutputIsStream(options);
  if (const std::optional<SameFile> same = OutputThatIsInput(options, withReference)) {
    auto shown = [](const std::string& name, const char* stream) { return name == "-" ? std::string(stream) : name; };
    Say(shown(same->output, "standard output") + ": the output is the input file " +
        shown(same->input, "standard input") + ": nothing read or written");
    return kUsage;
  }
  try {
    netfmt::Problem problem;
    netfmt::symmetric::UnfoldFigures unfolded;
    std::optional<netfmt::Net> net = Read(options, &problem, &unfolded);
    if (!net) {
      Say(netfmt::Describe(problem, InputName(options)));
      return kBadInput;
    }
    if (unfolded.unfolded && !options.quiet) Say(InputName(options) + ": " + UnfoldNote(unfolded, *net));
    return Write(options, *net);
  } catch (const std::bad_alloc&) {
    Say(InputName(options) + ": not enough memory for the net");
    return kBadInput;
  }
}

}  // namespace pnconv
