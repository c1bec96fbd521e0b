// SPDX-License-Identifier: MIT
#include "options.h"

#include <charconv>
#include <string_view>

namespace pnconv {

namespace {

struct FormatEntry {
  const char* name;
  const char* suffix;
  Format format;
  bool readable;
};

constexpr FormatEntry kFormats[] = {
    {"pnml", ".pnml", Format::kPnml, true},  {"pep", ".ll_net", Format::kPep, true},
    {"mat", ".mat", Format::kMatrix, true},  {"prod", ".net", Format::kProd, false},
    {"dot", ".dot", Format::kDot, false},
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// A format as users type it: its name or its file suffix, with or without
// the dot, in any letter case (pep, PEP, ll_net, .ll_net).
const FormatEntry* ByName(std::string_view name) {
  for (const FormatEntry& f : kFormats) {
    const std::string_view suffix = f.suffix;
    if (SameLetters(name, f.name) || SameLetters(name, suffix) || SameLetters(name, suffix.substr(1))) return &f;
  }
  return nullptr;
}

// The format a file's suffix names, in any letter case (net.PNML).
const FormatEntry* ByFile(std::string_view file) {
  for (const FormatEntry& f : kFormats) {
    const std::string_view suffix = f.suffix;
    if (file.size() > suffix.size() && SameLetters(file.substr(file.size() - suffix.size()), suffix)) return &f;
  }
  return nullptr;
}

const FormatEntry& Entry(Format format) {
  for (const FormatEntry& f : kFormats) {
    if (f.format == format) return f;
  }
  return kFormats[0];
}

}  // namespace

const char* FormatName(Format format) { return Entry(format).name; }

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
  Options options;
  std::vector<std::string> files;
  auto fail = [&](std::string message) {
    *error = std::move(message);
    return std::nullopt;
  };
  bool optionsEnd = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnd || arg == "-" || arg.empty() || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    // --name VALUE or --name=VALUE
    std::string name = arg;
    std::optional<std::string> value;
    const size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    auto takeValue = [&]() -> std::optional<std::string> {
      if (value) return value;
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    if (name == "--from" || name == "--to") {
      const std::optional<std::string> v = takeValue();
      if (!v) return fail(name + " needs a format (pnml, pep, mat, prod, dot)");
      const FormatEntry* f = ByName(*v);
      if (f == nullptr) return fail("unknown format \"" + *v + "\" (pnml, pep, mat, prod, dot)");
      if (name == "--from" && !f->readable) return fail(std::string("format ") + f->name + " can be written, not read");
      (name == "--from" ? options.from : options.to) = f->format;
    } else if (name == "--max-nodes") {
      const std::optional<std::string> v = takeValue();
      uint64_t n = 0;
      const char* end = v ? v->data() + v->size() : nullptr;
      if (!v || v->empty() || std::from_chars(v->data(), end, n).ptr != end || n == 0) {
        return fail("--max-nodes needs a whole number of places and transitions above 0");
      }
      options.maxNodes = n;
    } else if (name == "--net") {
      const std::optional<std::string> v = takeValue();
      if (!v || v->empty()) return fail("--net needs the id of a net");
      options.netId = *v;
    } else if (value) {
      return fail("option " + name + " takes no value");
    } else if (name == "--read-arcs") {
      options.readArcs = true;
    } else if (name == "--strict") {
      options.strict = true;
    } else if (name == "-q" || name == "--quiet") {
      options.quiet = true;
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else {
      return fail("unknown option " + arg);
    }
  }
  if (options.help || options.version) {
    if (!files.empty() || (options.help && options.version)) {
      return fail(std::string(options.help ? "--help" : "--version") + " takes no other argument");
    }
    return options;
  }
  if (files.size() != 2) {
    return fail(files.size() < 2 ? "an input and an output file are needed" : "too many arguments");
  }
  options.input = files[0];
  options.output = files[1];
  if (!options.from) {
    const FormatEntry* f = options.input == "-" ? nullptr : ByFile(options.input);
    if (f == nullptr || !f->readable) {
      return fail("the format of " + options.input +
                  " cannot be told from its name: give --from (pnml, pep or mat)");
    }
    options.from = f->format;
  }
  if (!options.to) {
    const FormatEntry* f = options.output == "-" ? nullptr : ByFile(options.output);
    if (f == nullptr) {
      return fail("the format of " + options.output +
                  " cannot be told from its name: give --to (pnml, pep, mat, prod or dot)");
    }
    options.to = f->format;
  }
  if (!options.netId.empty() && options.from != Format::kPnml) return fail("--net applies to PNML input only");
  if (options.readArcs && options.to != Format::kPep) return fail("--read-arcs applies to PEP output only");
  return options;
}

}  // namespace pnconv
