// SPDX-License-Identifier: MIT
#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qxhost {

const char kUsage[] =
    "usage: qxhost [options] TOOL [ARG...]\n"
    "\n"
    "Starts TOOL the way the Quarnel host does and prints every KORA command it\n"
    "sends, one per line, on standard output. It checks the syntax of every\n"
    "command, that START_TOOL(...) comes first and END_TOOL(n) last, and waits\n"
    "for the tool within a time limit.\n"
    "\n"
    "TOOL is taken from the current directory; a name without a slash is searched\n"
    "in PATH. The tool runs in the model workspace (its current directory):\n"
    "relative paths in ARG are taken from there.\n"
    "\n"
    "FIFO mode (default): the tool is started as\n"
    "  TOOL -framwrk_on_fifo -fifo_in_out IN OUT [OPT...] -end_env_p [ARG...]\n"
    "with a FIFO pair the stand-in creates; every frame the tool writes is a\n"
    "command, and the tool's standard output goes to the stand-in's standard\n"
    "error. Once the tool has opened IN, the stand-in sends the --send commands\n"
    "and then closes its end of IN, so that a tool that reads commands meets the\n"
    "end of its input (at once without --send).\n"
    "\n"
    "Standard-output mode (--std-out): the tool is started as\n"
    "  TOOL -std_out [OPT...] -end_env_p [ARG...]\n"
    "Its lines that begin like a command (a name followed by \"(\") are commands;\n"
    "its other lines go to standard error. The empty end lock file\n"
    "QX_MNGR/QX_exec_finished.lock must exist once standard output holds\n"
    "END_TOOL(n).\n"
    "\n"
    "Command syntax (the library's reader, QxParseKora): a name (a letter, then\n"
    "letters, digits or _), \"(\", the arguments separated by commas, \")\" ending\n"
    "the command. An argument is empty, a signed decimal integer without leading\n"
    "zeros that fits a long, or a counted string N: followed by exactly N bytes;\n"
    "at most 128 arguments. A command that does not parse is printed, followed\n"
    "on standard error by the place where it breaks.\n"
    "\n"
    "SEND_KORA_FILE(N:PATH,C): the stand-in does the host's part. It reads PATH\n"
    "(relative to the workspace) and takes each of its lines (empty lines\n"
    "skipped) as a command of the tool, printed and checked like the others, so\n"
    "that the printed conversation is the same in both modes; the command itself\n"
    "is noted on standard error. C = 1 deletes the file afterwards.\n"
    "\n"
    "options:\n"
    "  -w, --workspace DIR   model workspace; qx_basic_info and QX_MNGR/.formalism\n"
    "                        are written when missing (never overwritten). Default:\n"
    "                        a fresh temporary workspace, removed afterwards\n"
    "      --std-out         standard-output mode instead of a FIFO pair\n"
    "      --send FILE       FIFO mode only: once START_TOOL(...) has arrived, send\n"
    "                        each line of FILE (- for standard input, read as it\n"
    "                        comes) to the tool as one command frame, in order;\n"
    "                        empty lines are skipped. Each is printed with \"> \"\n"
    "                        before it, once written\n"
    "  -o, --tool-option OPT framework option put before -end_env_p (repeatable),\n"
    "                        e.g. -o -language -o FRENCH\n"
    "  -t, --timeout SEC     time limit of the run (default 60); the tool is\n"
    "                        killed after it\n"
    "      --close-after N   close the host's ends after N commands, as a host\n"
    "                        that goes away mid-run; the order checks are then off\n"
    "      --model FILE      rebuild the model the tool traces (CN, CA, CT, CM, pO)\n"
    "                        and write it to FILE when the run ends, however it\n"
    "                        ends: FILE.json (nodes and edges as JSON), FILE.dot\n"
    "                        (a Graphviz graph) or FILE.svg (drawn by Graphviz's\n"
    "                        dot program): an object with a fault is listed with\n"
    "                        its faults (JSON) or drawn in red with them (DOT,\n"
    "                        SVG); nodes keep their pO positions in DOT, and in\n"
    "                        SVG when every node has one\n"
    "      --label ATTR      show ATTR=value in the drawing, on each node and edge\n"
    "                        that has the attribute ATTR (repeatable)\n"
    "      --strict          model faults (always checked, and printed as\n"
    "                        \"qxhost: model: ...\" lines) end the run as a\n"
    "                        protocol fault\n"
    "      --script FILE     check the conversation against FILE: \"> TEXT\" sends\n"
    "                        TEXT (FIFO mode only), a lone \">\" closes the tool's\n"
    "                        input, \"< PATTERN\" waits for a command matching\n"
    "                        PATTERN whole (* any bytes, \\* a star, \"text\" a\n"
    "                        counted string N:text), \"= PATTERN\" wants the next\n"
    "                        command to match, \"! PATTERN\" forbids matching\n"
    "                        commands from there to the end of the run; lines\n"
    "                        beginning with # and empty lines are comments; the\n"
    "                        tool's input is closed after the last line\n"
    "      --expect-timeout SEC  bound of each wait of --script (default 10)\n"
    "      --record FILE     write the conversation to FILE, when the run ends, as\n"
    "                        a script that replays it: \"> TEXT\" for each command\n"
    "                        sent, \">\" where the tool's input was closed, \"=\n"
    "                        PATTERN\" for each command received (counted strings\n"
    "                        as \"text\" where printable)\n"
    "  -h, --help            this text\n"
    "      --version         print the version (qxhost and the package version)\n"
    "\n"
    "exit status:\n"
    "  0  success: well-formed conversation and the tool exited with status 0\n"
    "  1  set-up error: bad usage (--send with --std-out included), or the\n"
    "     workspace, FIFOs, tool or --send input could not be set up or read, or a\n"
    "     --send line longer than 65536 bytes; a --model, --script or --record\n"
    "     file that cannot be used (a \">\" line with --std-out included)\n"
    "  2  protocol fault: a malformed command, START_TOOL not first, END_TOOL(n)\n"
    "     missing or not last, a bad frame (even if the tool then dies of the\n"
    "     broken pipe), END_TOOL(n) against the exit status, no end lock file, a\n"
    "     SEND_KORA_FILE that cannot be carried out (arguments other than a path\n"
    "     and 0 or 1, a file that is not a readable regular file, files that\n"
    "     name each other more than 8 deep), a model fault with --strict\n"
    "  3  tool failure: the tool exited with a non-zero status\n"
    "  4  abnormal end: the tool was killed by a signal (abort included) or by the\n"
    "     time limit\n"
    "  5  the conversation differs from the --script: the tool ended, or a wait\n"
    "     ran out of time, before a script line was met, or a command broke a\n"
    "     \"=\" or \"!\" line (the tool is then stopped at once)\n"
    "When several apply, the first of 4, 2, 5, 1 and 3 is the status.\n";

namespace {

bool ParseNumber(const char* text, double* value) {
  errno = 0;
  char* end = nullptr;
  *value = std::strtod(text, &end);
  return errno == 0 && end != text && *end == '\0' && std::isfinite(*value);
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* options, bool* help, std::string* error) {
  *help = false;
  int i = 1;
  auto value = [&](const char* name) -> const char* {
    if (i + 1 >= argc) {
      *error = std::string("option ") + name + " needs a value";
      return nullptr;
    }
    return argv[++i];
  };
  // A time limit in seconds (more than 0, at most a day), kept in ms.
  auto seconds = [&](const char* name, int* ms) {
    const char* v = value(name);
    if (v == nullptr) return false;
    double s = 0;
    if (!ParseNumber(v, &s) || s <= 0 || s > 86400) {
      *error = std::string("bad time limit: ") + v;
      return false;
    }
    *ms = static_cast<int>(s * 1000);
    return true;
  };
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.empty() || arg[0] != '-') break;
    if (arg == "-h" || arg == "--help") {
      *help = true;
      return true;
    } else if (arg == "--version") {
      options->version = true;
      return true;
    } else if (arg == "-w" || arg == "--workspace") {
      const char* v = value("--workspace");
      if (v == nullptr) return false;
      options->workspace = v;
    } else if (arg == "--std-out") {
      options->std_out = true;
    } else if (arg == "--send") {
      const char* v = value("--send");
      if (v == nullptr) return false;
      if (v[0] == '\0') {
        *error = "--send needs a file name (- for standard input)";
        return false;
      }
      options->send = v;
    } else if (arg == "-o" || arg == "--tool-option") {
      const char* v = value("--tool-option");
      if (v == nullptr) return false;
      options->tool_options.emplace_back(v);
    } else if (arg == "-t" || arg == "--timeout") {
      if (!seconds("--timeout", &options->timeout_ms)) return false;
    } else if (arg == "--model" || arg == "--script" || arg == "--record") {
      const char* v = value(arg.c_str());
      if (v == nullptr) return false;
      if (v[0] == '\0') {
        *error = arg + " needs a file name";
        return false;
      }
      (arg == "--model" ? options->model : arg == "--script" ? options->script : options->record) = v;
    } else if (arg == "--label") {
      const char* v = value("--label");
      if (v == nullptr) return false;
      if (v[0] == '\0') {
        *error = "--label needs an attribute name";
        return false;
      }
      options->labels.emplace_back(v);
    } else if (arg == "--strict") {
      options->strict = true;
    } else if (arg == "--expect-timeout") {
      if (!seconds("--expect-timeout", &options->expect_timeout_ms)) return false;
    } else if (arg == "--close-after") {
      const char* v = value("--close-after");
      if (v == nullptr) return false;
      double count = 0;
      if (!ParseNumber(v, &count) || count < 0 || count != std::floor(count) || count > 1e9) {
        *error = std::string("bad command count: ") + v;
        return false;
      }
      options->close_after = static_cast<long>(count);
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  if (i >= argc) {
    *error = "no tool given";
    return false;
  }
  if (options->std_out && !options->send.empty()) {
    *error = "--send needs FIFO mode: in standard-output mode the tool has no input channel";
    return false;
  }
  if (!options->labels.empty() && options->model.empty()) {
    *error = "--label " + options->labels.front() + " needs --model: it labels the drawn model";
    return false;
  }
  if (!options->script.empty() && !options->send.empty()) {
    *error = "--script and --send both give the tool's commands: use one of them";
    return false;
  }
  options->tool = argv[i++];
  for (; i < argc; ++i) options->tool_args.emplace_back(argv[i]);
  return true;
}

}  // namespace qxhost
