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
    "sends, one per line, on standard output. It checks that START_TOOL(...) comes\n"
    "first and END_TOOL(n) last, and waits for the tool within a time limit.\n"
    "\n"
    "FIFO mode (default): the tool is started as\n"
    "  TOOL -framwrk_on_fifo -fifo_in_out IN OUT [OPT...] -end_env_p [ARG...]\n"
    "with a FIFO pair the stand-in creates; the tool's standard output goes to the\n"
    "stand-in's standard error. Standard-output mode (--std-out): the tool is\n"
    "started as TOOL -std_out [OPT...] -end_env_p [ARG...]; its lines that are KORA\n"
    "commands are printed, its other lines go to standard error, and the empty\n"
    "end lock file QX_MNGR/QX_exec_finished.lock must exist once standard output\n"
    "holds END_TOOL(n).\n"
    "\n"
    "The tool runs in the model workspace (its current directory): relative paths\n"
    "in ARG are taken from there.\n"
    "\n"
    "options:\n"
    "  -w, --workspace DIR   model workspace; qx_basic_info and QX_MNGR/.formalism\n"
    "                        are written when missing (never overwritten). Default:\n"
    "                        a fresh temporary workspace, removed afterwards\n"
    "      --std-out         standard-output mode instead of a FIFO pair\n"
    "  -o, --tool-option OPT framework option put before -end_env_p (repeatable),\n"
    "                        e.g. -o -language -o FRENCH\n"
    "  -t, --timeout SEC     time limit of the run (default 60); the tool is\n"
    "                        killed after it\n"
    "      --close-after N   close the host's ends after N commands, as a host\n"
    "                        that goes away mid-run; the order checks are then off\n"
    "  -h, --help            this text\n"
    "\n"
    "exit status:\n"
    "  0  success: well-formed conversation and the tool exited with status 0\n"
    "  1  set-up error: bad usage, or the workspace, FIFOs or tool could not be set up\n"
    "  2  protocol fault: START_TOOL not first, END_TOOL(n) missing or not last, a\n"
    "     bad frame (even if the tool then dies of the broken pipe), END_TOOL(n)\n"
    "     against the exit status, no end lock file\n"
    "  3  tool failure: the tool exited with a non-zero status\n"
    "  4  abnormal end: the tool was killed by a signal (abort included) or by the\n"
    "     time limit\n";

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
    } else if (arg == "-w" || arg == "--workspace") {
      const char* v = value("--workspace");
      if (v == nullptr) return false;
      options->workspace = v;
    } else if (arg == "--std-out") {
      options->std_out = true;
    } else if (arg == "-o" || arg == "--tool-option") {
      const char* v = value("--tool-option");
      if (v == nullptr) return false;
      options->tool_options.emplace_back(v);
    } else if (arg == "-t" || arg == "--timeout") {
      const char* v = value("--timeout");
      if (v == nullptr) return false;
      double seconds = 0;
      if (!ParseNumber(v, &seconds) || seconds <= 0 || seconds > 86400) {
        *error = std::string("bad time limit: ") + v;
        return false;
      }
      options->timeout_ms = static_cast<int>(seconds * 1000);
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
  options->tool = argv[i++];
  for (; i < argc; ++i) options->tool_args.emplace_back(argv[i]);
  return true;
}

}  // namespace qxhost
