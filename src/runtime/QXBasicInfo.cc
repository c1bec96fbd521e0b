// SPDX-License-Identifier: MIT
// Basic information of the installation ("qx_basic_info" and
// "QX_MNGR/.formalism" in the model workspace) and the paths composed from it.
//
// Every path is composed into a caller buffer of kQx_PathCapacity bytes. The
// strings joined are not bounded together, so a composed path that would not
// fit is refused whole (empty buffer, kQx_ParamErr, trace) rather than cut:
// a cut path names another file.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXMemory.h"
#include "runtime/basic_info.h"
#include "runtime/trace.h"
#include "support/format.h"
#include "support/heap_copy.h"
#include "support/stdio_file.h"

extern "C" {
char* g_qxModelWorkSpace = nullptr;
char* g_qxOSDirectoryName = nullptr;
char* g_qxGlobalAdminData = nullptr;
char* g_qxMainWorkSpace = nullptr;
char* g_qxExecutables = nullptr;
char* g_qxTmpData = nullptr;
char* g_qxTools = nullptr;
char* g_qxFormalismName = nullptr;
}

namespace {

constexpr size_t kLineBufferSize = 4096;


// Appends "/" to a string read by QxReadNextLine (which leaves room for it).
void AppendSlash(char* value) {
  const size_t len = std::strlen(value);
  value[len] = '/';
  value[len + 1] = '\0';
}

void SetPlaceholders() {
  g_qxOSDirectoryName = qx::HeapCopy("OSDirectoryName a faire/");
  g_qxGlobalAdminData = qx::HeapCopy("GlobalAdminData a faire/");
  g_qxMainWorkSpace = qx::HeapCopy("MainWorkSpace a faire/");
  g_qxExecutables = qx::HeapCopy("Executables a faire/");
  g_qxTmpData = qx::HeapCopy("TmpData a faire/");
  g_qxTools = qx::HeapCopy("Tools a faire/");
}

// Writes the joined parts into path when the whole text fits; otherwise leaves
// path empty, sets kQx_ParamErr and traces.
void ComposePath(char* path, const char* operation, std::initializer_list<const char*> parts) {
  size_t total = 0;
  for (const char* part : parts) total += std::strlen(part);
  if (total >= static_cast<size_t>(kQx_PathCapacity)) {
    path[0] = '\0';
    g_qxErrno = kQx_ParamErr;
    qx::TraceF("Qx %s:path of %zu bytes longer than %d", operation, total, kQx_PathCapacity - 1);
    return;
  }
  char* end = path;
  for (const char* part : parts) {
    const size_t len = std::strlen(part);
    std::memcpy(end, part, len);
    end += len;
  }
  *end = '\0';
}

}  // namespace

extern "C" {

int QxReadNextLine(FILE* qx_basic_info, char** pqxGlobalStr) {
  char line[kLineBufferSize];
  if (std::fgets(line, sizeof line, qx_basic_info) == nullptr) return 1;
  size_t len = std::strlen(line);
  if (len > 0 && line[len - 1] == '\n') {
    line[--len] = '\0';
  } else if (len == sizeof line - 1) {
    // A full buffer without a newline is a whole line only when the file ends
    // right there (a last line of 4095 bytes has no newline to hold). Any
    // other line does not fit the buffer: taking its head would give a wrong
    // value and shift every later line, so the line counts as unreadable.
    int c = std::fgetc(qx_basic_info);
    if (c != EOF) {
      while (c != EOF && c != '\n') c = std::fgetc(qx_basic_info);
      return 1;
    }
  }
  *pqxGlobalStr = qx::HeapCopy(line, 1);
  if (*pqxGlobalStr == nullptr) {
    QxTrace("Qx ReadNextBasicInfoLine:QxCalloc");
    g_qxErrno = kQx_MemFullErr;
    return -2;
  }
  return 0;
}

void QxEnvReadBasicInfo(void) noexcept {
  char cwd[kLineBufferSize];
  if (getcwd(cwd, sizeof cwd) == nullptr) {
    QxTrace("Qx EnvReadBasicInfo: getcwd error");
    return;
  }
  g_qxModelWorkSpace = qx::HeapCopy(cwd, 1);
  if (g_qxModelWorkSpace != nullptr) AppendSlash(g_qxModelWorkSpace);
  g_qxErrno = kQx_NoErr;

  {
    const qx::StdioFile info = qx::OpenStdio("qx_basic_info", "r");
    if (!info) {
      if (g_qxStartedByQuarnel) QxTrace("Qx EnvReadBasicInfo: Could not fopen file 'qx_basic_info'");
      SetPlaceholders();
      return;
    }
    struct LineTarget {
      char** target;
      const char* name;
      bool directory;
    };
    const LineTarget lines[] = {
        {&g_qxOSDirectoryName, "OSDirectoryName", false},
        {&g_qxGlobalAdminData, "GlobalAdminData", true},
        {&g_qxMainWorkSpace, "MainWorkSpace", true},
        {&g_qxExecutables, "Executables", true},
        {&g_qxTmpData, "TmpData", true},
        {&g_qxTools, "Tools", true},
    };
    for (const LineTarget& line : lines) {
      if (QxReadNextLine(info.get(), line.target) != 0) {
        qx::TraceF("Qx EnvReadBasicInfo: Could not read line %s of qx_basic_info", line.name);
        return;
      }
      if (line.directory) AppendSlash(*line.target);
    }
  }

  const qx::StdioFile formalism = qx::OpenStdio("QX_MNGR/.formalism", "r");
  if (!formalism) {
    if (g_qxStartedByQuarnel) QxTrace("Qx EnvReadBasicInfo: Could not fopen file 'QX_MNGR/.formalism'");
    return;
  }
  if (QxReadNextLine(formalism.get(), &g_qxFormalismName) != 0) {
    QxTrace("Qx EnvReadBasicInfo: Could not read line FormalismName of QX_MNGR/.formalism");
  }
}

void QxEnvGetModelWorkSpacePath(char* path) noexcept {
  if (path == nullptr) {
    QxTrace("Qx EnvGetModelWorkSpacePath:path==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  if (g_qxModelWorkSpace == nullptr) {
    path[0] = '\0';
    g_qxErrno = kQx_InternalErr;
    return;
  }
  ComposePath(path, "EnvGetModelWorkSpacePath", {g_qxModelWorkSpace});
}

void QxEnvGetMainWorkSpacePath(char* path) noexcept {
  if (path == nullptr) {
    QxTrace("Qx EnvGetMainWorkspacePath:path==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  path[0] = '\0';
  if (g_qxMainWorkSpace == nullptr) {
    QxTrace("Qx EnvGetMainWorkspacePath:g_qxMainWorkSpace==NULL");
    g_qxErrno = kQx_InternalErr;
    return;
  }
  ComposePath(path, "EnvGetMainWorkspacePath", {g_qxMainWorkSpace, "GWS_", QxEnvKitName(), "/"});
}

void QxEnvGetToolPath(char* path) noexcept {
  if (path == nullptr) {
    QxTrace("Qx EnvGetToolPath:path==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  path[0] = '\0';
  const struct {
    const char* value;
    const char* missing;
  } required[] = {
      {g_qxTools, "Qx EnvGetToolPath:g_qxTools==NULL"},
      {g_qxFormalismName, "Qx EnvGetToolPath:g_qxFormalismName==NULL"},
      {g_qxOSDirectoryName, "Qx EnvGetToolPath:g_qxOSDirectoryName==NULL"},
  };
  for (const auto& r : required) {
    if (r.value == nullptr) {
      QxTrace(r.missing);
      g_qxErrno = kQx_InternalErr;
      return;
    }
  }
  ComposePath(path, "EnvGetToolPath",
              {g_qxTools, g_qxFormalismName, "/", g_qxOSDirectoryName, "/", QxEnvKitName(), "/"});
}

}  // extern "C"

namespace qx {

void ResetBasicInfoForTesting() {
  for (char** s : {&g_qxModelWorkSpace, &g_qxOSDirectoryName, &g_qxGlobalAdminData,
                   &g_qxMainWorkSpace, &g_qxExecutables, &g_qxTmpData, &g_qxTools,
                   &g_qxFormalismName}) {
    QxFree(*s);
    *s = nullptr;
  }
}

}  // namespace qx
