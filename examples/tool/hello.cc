// SPDX-License-Identifier: MIT
// hello_cxx: the same tool as hello.c, written in C++.
//
// Parameters (all optional): -places N (1 to 9, default 2) and -wait SEC (0 to
// 3600, default 5). One run sends a trace and a progress message, a small net
// (CN, CA and CT commands), a text response, answers the host's commands with
// traces until the input ends, QUIT() arrives or the wait runs out, and ends
// without problem. See hello.c for the whole story and the commands it
// answers.
//
// Two things differ from C:
// - the identity constants and QxServiceMain need C linkage: a namespace-scope
//   const array has internal linkage in C++, so without extern "C" (and
//   without the declarations of quarnel/QXEnv.h seen first) the library's
//   references stay unresolved ("undefined reference to kQx_ToolName");
// - QxExit unwinds the C++ frames between the call and main: destructors run.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "quarnel/Quarnel.h"

extern "C" const char kQx_KitName[] = "EXAMPLE";
extern "C" const char kQx_ToolName[] = "HelloCxx";
extern "C" const char kQx_ToolVersion[] = "1.0";
extern "C" const char kQx_ToolCopyright[] = "(c) the Varnost authors";

namespace {

// A whole decimal number between low and high, or false.
bool ReadNumber(std::string_view text, long low, long high, long* value) {
  long number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number < low || number > high)
    return false;
  *value = number;
  return true;
}

// The library keeps the list and the attribute (they live until the process
// ends): nothing here is freed.
QxAttributeList OneAttribute(PQxModel model, const char* object, const char* name,
                             const std::string& value) {
  QxAttributeList list = QxNewAttributeList();
  PQxAttribute attribute = QxNewStringAttribute(model, object, name, value.c_str());
  if (attribute == nullptr) QxExit(kQx_EndOnError);
  QxAppendAttribute(list, attribute);
  return list;
}

// Places are nodes 2 to places+1, the transition places+2, then the arcs.
void SendModel(long places) {
  const QxObjectID transition = static_cast<QxObjectID>(places) + 2;
  QxSetModelTrace(kQx_Model_TraceError | kQx_Model_TraceKORA);
  PQxModel model = QxNewModel("TAV-Net");
  if (model == nullptr) QxExit(kQx_EndOnError);

  for (long i = 1; i <= places; ++i) {
    std::string name = "p";
    name += std::to_string(i);
    PQxNode node = QxNewNode("place", static_cast<QxObjectID>(i) + 1,
                             OneAttribute(model, "place", "name", name));
    if (node == nullptr) QxExit(kQx_EndOnError);
    QxSetNodeCenter(node, static_cast<short>(40 * i), 40);
    QxAppendNodeToModel(model, node);
    QxUserStep("places", kQx_MainStepLevel, places, i);
  }
  PQxNode node = QxNewNode("transition", transition,
                           OneAttribute(model, "transition", "name", "t"));
  if (node == nullptr) QxExit(kQx_EndOnError);
  QxAppendNodeToModel(model, node);

  for (long i = 1; i <= places; ++i) {
    PQxEdge arc = QxNewEdge("arc", transition + static_cast<QxObjectID>(i),
                            static_cast<QxObjectID>(i) + 1, transition,
                            OneAttribute(model, "arc", "valuation", "1"));
    if (arc == nullptr) QxExit(kQx_EndOnError);
    QxAppendEdgeToModel(model, arc);
  }
}

// The wait list, destroyed on every way out (QxExit included).
class WaitList {
 public:
  explicit WaitList(PQxChannelIOParams request) : list_(CreerListe()) {
    AjoutFinListe(list_, request);
  }
  ~WaitList() {
    ViderListe(list_);  // a list must be empty when it is destroyed
    DetruireListe(list_);
  }
  WaitList(const WaitList&) = delete;
  WaitList& operator=(const WaitList&) = delete;
  CListe get() const { return list_; }

 private:
  CListe list_;
};

// A command of the host as QxParseKora gives it: the name and the strings
// are views into the received text.
class Command {
 public:
  // Parses text; ok() tells whether it is one command.
  explicit Command(std::string_view text) : fault_(QxParseKora(text.data(), text.size(), &parsed_)) {}

  bool ok() const { return fault_ == 0; }
  // Bytes before the one where a malformed command breaks.
  size_t breaksAfter() const { return fault_ - 1; }
  std::string_view name() const { return {parsed_.name, parsed_.nameLength}; }
  // True when the command is name with these argument kinds.
  bool Is(std::string_view name, std::initializer_list<QxKoraArgKind> kinds) const {
    if (this->name() != name || parsed_.argCount != static_cast<int>(kinds.size())) return false;
    int i = 0;
    for (QxKoraArgKind kind : kinds)
      if (parsed_.args[i++].kind != kind) return false;
    return true;
  }
  long integer(int i) const { return parsed_.args[i].integer; }
  std::string_view text(int i) const { return {parsed_.args[i].text, parsed_.args[i].length}; }

 private:
  QxKoraCommand parsed_;
  size_t fault_;
};

// The answer to one command of the host (see hello.c), and whether the tool
// stops reading.
std::string Answer(const Command& command, long places, bool* stop) {
  if (!command.ok())
    return "malformed command, breaks after " + std::to_string(command.breaksAfter()) + " bytes";
  if (command.Is("HELLO", {kQx_KoraString})) return "hello, " + std::string(command.text(0).substr(0, 100));
  if (command.Is("NAME", {kQx_KoraInteger})) {
    const long node = command.integer(0);  // places are nodes 2 to places+1
    const std::string number = std::to_string(node);
    if (node >= 2 && node <= places + 1) return "node " + number + " is p" + std::to_string(node - 1);
    if (node == places + 2) return "node " + number + " is t";
    return "no node " + number;
  }
  if (command.Is("QUIT", {})) {
    *stop = true;
    return "bye";
  }
  return "unknown command " + std::string(command.name());
}

// Commands reach the tool only over a FIFO pair.
void ReadCommands(long waitSeconds, long places) {
  if (g_qxPDefaultInputChannelIOParams == nullptr || waitSeconds == 0) return;
  static char command[kQx_ReceiveBufferSize];
  WaitList waitList(g_qxPDefaultInputChannelIOParams);
  for (;;) {
    QxWaitForChannelMessages(waitList.get(), static_cast<time_t>(waitSeconds), 0);
    if (QxErrno() != kQx_NoErr) break;  // kQx_TimeOut: the host said nothing
    QxClRecoitKORA(command);
    if (QxErrno() != kQx_NoErr || command[0] == '\0') break;  // the input ended
    // The received length: counted strings may hold NUL bytes.
    const Command received({command, g_qxPDefaultInputChannelIOParams->actualLength});
    bool stop = false;
    QxTrace(Answer(received, places, &stop).c_str());
    if (stop) break;
  }
}

}  // namespace

extern "C" QxEndStatus QxServiceMain(int argc, char** argv) {
  long places = 2;
  long waitSeconds = 5;
  // argv[0] is the empty string standing for the program name.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-places" && i + 1 < argc && ReadNumber(argv[i + 1], 1, 9, &places)) {
      ++i;
    } else if (arg == "-wait" && i + 1 < argc && ReadNumber(argv[i + 1], 0, 3600, &waitSeconds)) {
      ++i;
    } else {
      std::fputs("usage: hello_cxx [-places 1..9] [-wait SECONDS]\n", stderr);
      return kQx_EndOnError;
    }
  }

  QxTrace("hello from C++");
  QxSendWaitingMessage("building the model");
  SendModel(places);
  std::string result = "a net of ";
  result += std::to_string(places);
  result += " places and one transition";
  QxSendTextResponse(result.c_str());
  ReadCommands(waitSeconds, places);
  return kQx_EndNoProblem;
}
