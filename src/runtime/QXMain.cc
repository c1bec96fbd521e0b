// SPDX-License-Identifier: MIT
// The body of every tool's main (QxMain): command line, announcement, service
// and end of the run. main itself is in libquarnel_main.a (src/main).
#include <cstdio>
#include <cstring>
#include <exception>

#include "channel/commip.h"
#include "kora/kora_compose.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXMain.h"
#include "quarnel/QXModel.h"
#include "quarnel/QXQuestions.h"
#include "runtime/exit_internal.h"

namespace {

// Component versions of the library: DataMngr, EnvCom, UsrInterf, Tools.
constexpr int kDataMngrMajor = 2, kDataMngrMinor = 1;
constexpr int kEnvComMajor = 2, kEnvComMinor = 6;
constexpr int kUsrInterfMajor = 2, kUsrInterfMinor = 3;
constexpr int kToolsMajor = 3, kToolsMinor = 5;

void PrintVersion() {
  std::printf("%s %s [%s]\nDataMngr %d.%d EnvCom %d.%d UsrInterf %d.%d Tools %d.%d\n",
              QxEnvToolName(), QxEnvToolVersion(), QxEnvToolCopyright(), kDataMngrMajor,
              kDataMngrMinor, kEnvComMajor, kEnvComMinor, kUsrInterfMajor, kUsrInterfMinor,
              kToolsMajor, kToolsMinor);
}

void ListArguments(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) std::fprintf(stderr, "argv[%d] = %s\n", i, argv[i]);
}

// START_TOOL: the language ("C"), the component versions, then the tool's
// name, version and copyright.
void AnnounceTool() {
  if (!g_qxStartedByQuarnel) return;
  qx::KoraCommand("START_TOOL")
      .Text("C")
      .Number(kDataMngrMajor)
      .Number(kDataMngrMinor)
      .Number(kEnvComMajor)
      .Number(kEnvComMinor)
      .Number(kUsrInterfMajor)
      .Number(kUsrInterfMinor)
      .Text(QxEnvToolName())
      .Text(QxEnvToolVersion())
      .Text(QxEnvToolCopyright())
      .Send();
}

// Initialises the library, announces the tool, reads the basic information and
// runs the service on the tool's own arguments.
QxEndStatus RunService(QxServiceEntry service, int paramShift, int argc, char** argv) {
  if (service == nullptr) {
    QxTrace("Qx Main:service==NULL");
    return kQx_EndOnError;
  }
  if (std::strcmp(QxEnvKitName(), "DEFAULT") == 0) {
    std::fputs(
        "Please\n* copy file QXServVersions in you interface directory,\n"
        "* change the static strings.\n"
        "* put $(PROJECT_ROOT)/interface at the beginning of the INCDIR section\n"
        "  of your specific.make,\n"
        "* gmake clean or remove *.d file before gmake\n",
        stderr);
  }
  QxDataInit();
  QxUserInit();
  AnnounceTool();
  QxEnvReadBasicInfo();
  if (paramShift >= 1) {
    // The marker stands as the service's program name.
    argv[paramShift][0] = '\0';
    return service(argc - paramShift, argv + paramShift);
  }
  return service(argc, argv);
}

// A tool's uncaught exception still ends the run as a failure the host hears
// of (END_TOOL(2)) instead of a silent abort: traced, then its text (a fixed
// one for an exception that has none).
QxEndStatus UncaughtInService(const char* text) {
  QxTrace("Qx Main: uncaught exception in the service");
  QxTrace(text);
  return kQx_EndOnError;
}

}  // namespace

int QxMain(int argc, char** argv, QxServiceEntry service) {
  qx::ArmToolExit();
  qx::TakeLaunchedPeerMark();
  // A write to a host that has gone must fail with EPIPE (the channel layer
  // then reports kQx_BrokenCom) instead of killing the tool, so that the run
  // still ends through the end routine with its exit status.
  QXLSurviveBrokenPipes();
  QxEndStatus status = kQx_EndOnError;
  try {
    const int paramShift = QxEnvInit(argc, argv);
    switch (paramShift) {
      case -1:
        PrintVersion();
        return 0;
      case -2:
        std::printf("%s\n", QxEnvKitName());
        return 0;
      case 0:
        ListArguments(argc, argv);
        return 1;
      default:
        status = RunService(service, paramShift, argc, argv);
    }
  } catch (const qx::ToolExit& exit) {
    status = exit.status();
  } catch (const std::exception& error) {
    status = UncaughtInService(error.what());
  } catch (...) {
    status = UncaughtInService("Qx Main: not a std::exception");
  }
  return QXMainEndTool(status);
}
