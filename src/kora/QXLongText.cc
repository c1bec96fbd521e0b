// SPDX-License-Identifier: MIT
// Long texts and files: a text of any length goes out as numbered piece
// commands; a file is sent line by line in standard-output mode, or announced
// to the host by name with SEND_KORA_FILE.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string_view>

#include "kora/kora_compose.h"
#include "kora/long_text.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "runtime/trace.h"
#include "support/stdio_file.h"

namespace {

// Cut characters, most preferred first.
constexpr char kCutCharacters[] = {' ', '-', '+', ',', '.', ';', ':'};

// Line buffer of the standard-output file transfer: lines of up to
// kFileLineCapacity - 1 bytes are sent.
constexpr size_t kFileLineCapacity = 1024;

// A head must leave room for at least one byte of piece. Traces and sets
// kQx_ParamErr when it does not.
bool HeadFits(const char* operation, const char* koraPrefix) {
  const size_t len = std::strlen(koraPrefix);
  if (len < static_cast<size_t>(kQx_PieceBase)) return true;
  qx::TraceF("Qx %s:koraPrefix too long (%zu bytes)", operation, len);
  g_qxErrno = kQx_ParamErr;
  return false;
}

// Length of the piece taken from the start of chunk: up to and including the
// last occurrence of the most preferred cut character present, or the whole
// chunk when it holds none.
size_t PieceLength(std::string_view chunk) {
  for (char cut : kCutCharacters) {
    const size_t at = chunk.rfind(cut);
    if (at != std::string_view::npos) return at + 1;
  }
  return chunk.size();
}

// Skips white space (line feeds included) before the next line.
void SkipWhiteSpace(FILE* file) {
  int c;
  while ((c = std::fgetc(file)) != EOF) {
    if (std::strchr(" \t\n\v\f\r", c) == nullptr) {
      std::ungetc(c, file);
      return;
    }
  }
}

// Sends the lines of an open file as commands, one per line, up to its end.
// White space after each line is skipped, so empty lines and the leading
// blanks of the next line are never sent. A line that does not fit the line
// buffer cannot be sent whole: it is skipped with a trace naming the file.
void SendFileLines(FILE* file, const char* fileNamePath) {
  char line[kFileLineCapacity];
  int c = std::fgetc(file);
  while (c != EOF) {
    size_t len = 0;
    bool tooLong = false;
    for (; c != EOF && c != '\n'; c = std::fgetc(file)) {
      if (len + 1 < sizeof line) {
        line[len++] = static_cast<char>(c);
      } else {
        tooLong = true;
      }
    }
    line[len] = '\0';
    if (tooLong) {
      qx::TraceF("Qx ClSendFile: line longer than %zu bytes not sent from file %s",
                 sizeof line - 1, fileNamePath);
    } else if (len > 0) {
      QxClSendChannelKora(nullptr, line);
    }
    SkipWhiteSpace(file);
    c = std::fgetc(file);
  }
}

// What the file transfer may learn of a file without opening it.
enum class FileKind { kUnreadable, kRegular, kOther };

// A directory, a missing file, or a file other than a regular one that
// access(R_OK) refuses, is unreadable. Nothing is opened here: opening a FIFO
// would wait for a writer and, once closed again, throw away what that writer
// sent, while its reader is to be the host (or the transfer itself in
// standard-output mode).
FileKind KindOf(const char* path) {
  struct stat status;
  if (stat(path, &status) != 0 || S_ISDIR(status.st_mode)) return FileKind::kUnreadable;
  if (S_ISREG(status.st_mode)) return FileKind::kRegular;
  return access(path, R_OK) == 0 ? FileKind::kOther : FileKind::kUnreadable;
}

// The refusal of a file that cannot be read.
void TraceUnreadable(const char* path) {
  qx::TraceF("Qx ClSendFile: could not fopen file %s", path);
  g_qxErrno = kQx_ParamErr;
}

// Sends the file of a workspace: the workspace path (ending in "/") followed
// by the short name. Nothing is sent when the workspace path is unavailable or
// the whole path would not fit a path buffer.
void SendWorkSpaceFile(const char* operation, void (*getPath)(char*), const char* shortFileName,
                       QxFilePostCondition postCondition) {
  char path[kQx_PathCapacity];
  getPath(path);
  if (QxErrno() != kQx_NoErr) return;
  const size_t dirLen = std::strlen(path);
  const size_t nameLen = std::strlen(shortFileName);
  if (dirLen + nameLen >= sizeof path) {
    qx::TraceF("Qx %s:path of %zu bytes longer than %zu", operation, dirLen + nameLen,
               sizeof path - 1);
    g_qxErrno = kQx_ParamErr;
    return;
  }
  std::memcpy(path + dirLen, shortFileName, nameLen + 1);
  QxClSendFile(path, postCondition);
}

}  // namespace

extern "C" {

void QxClSendOneText(const char* koraPrefix, QxConstISOStr textBuffer, SqSize_t textLen,
                     long count, QxBoolean firstLine, QxBoolean lastLine, SqSize_t globalSize) {
  const size_t headLen = std::strlen(koraPrefix);
  if (headLen > 1021 || textLen > 1021 - headLen) {
    QxTrace("Qx ClSendOneTextResponse message too large");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  qx::KoraCommand command = qx::KoraCommand::AfterHead(koraPrefix);
  if (globalSize != 0) {
    // Numbered form: the piece number, then the first piece's negated total
    // size or the kind of a later piece (3 the last, 2 any other).
    command.Number(count).Number(firstLine ? -static_cast<long long>(globalSize)
                                           : (lastLine ? 3 : 2));
  }
  command.Text(textBuffer, textLen).Send();
}

void QxClSendSeveralText(const char* koraPrefix, QxConstISOStr textBuffer, SqSize_t textLen,
                         long* pCount, QxBoolean perhapsFirstLine, QxBoolean perhapsLastLine,
                         SqSize_t globalSize) {
  if (!HeadFits("ClSendSeveralText", koraPrefix)) return;
  const size_t deltaKORA = kQx_PieceBase - std::strlen(koraPrefix);
  std::string_view rest(textBuffer, textLen);
  QxBoolean first = perhapsFirstLine;
  while (rest.size() >= deltaKORA) {
    const size_t piece = PieceLength(rest.substr(0, deltaKORA));
    QxClSendOneText(koraPrefix, rest.data(), piece, *pCount, first, kQx_False, globalSize);
    ++*pCount;
    first = kQx_False;
    rest.remove_prefix(piece);
  }
  QxClSendOneText(koraPrefix, rest.data(), rest.size(), *pCount, first, perhapsLastLine,
                  globalSize);
}

void QxClSendText(const char* koraPrefix, QxConstISOStr textBuffer, SqSize_t globalSize) {
  g_qxErrno = kQx_NoErr;
  if (koraPrefix == nullptr) {
    QxTrace("Qx ClSendText:koraPrefix is NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  if (textBuffer == nullptr) {
    QxTrace("Qx ClSendText:textBuffer is NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  if (!HeadFits("ClSendText", koraPrefix)) return;
  long count = 1;
  QxBoolean first = kQx_True;
  std::string_view rest(textBuffer);
  for (;;) {
    const size_t feed = rest.find('\n');
    const bool last = feed == std::string_view::npos;
    const size_t lineLen = last ? rest.size() : feed;
    QxClSendSeveralText(koraPrefix, rest.data(), lineLen, &count, first, last ? kQx_True : kQx_False,
                        globalSize);
    if (last) return;
    ++count;
    first = kQx_False;
    rest.remove_prefix(feed + 1);
  }
}

void QxClSendTextResponse(QxConstISOStr textBuffer) noexcept { QxClSendText("RT(", textBuffer, 0); }

void QxClSendMultipleText(const char* koraPrefix, QxConstISOStr textBuffer) noexcept {
  QxClSendText(koraPrefix, textBuffer, textBuffer != nullptr ? std::strlen(textBuffer) : 0);
}

void QxClSendFile(const char* fileNamePath, QxFilePostCondition qxFilePostCondition) noexcept {
  if (fileNamePath == nullptr) {
    QxTrace("Qx ClSendFile:fileNamePath==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  const FileKind kind = KindOf(fileNamePath);
  if (kind == FileKind::kUnreadable) {
    TraceUnreadable(fileNamePath);
    return;
  }
  if (g_qxStdOut) {
    // The tool reads the file itself: a FIFO's open waits for its writer.
    qx::StdioFile file = qx::OpenStdio(fileNamePath, "r");
    if (!file) {
      TraceUnreadable(fileNamePath);
      return;
    }
    std::fseek(file.get(), 0, SEEK_END);
    const long size = std::ftell(file.get());
    std::fseek(file.get(), 0, SEEK_SET);
    if (size != 0) SendFileLines(file.get(), fileNamePath);
    if (qxFilePostCondition == kQx_DeleteIt) QxTrace("Qx ClSendFile: delete it not yet implemented");
    return;
  }
  // A regular file is opened only to prove that it can be read.
  if (kind == FileKind::kRegular && !qx::OpenStdio(fileNamePath, "r")) {
    TraceUnreadable(fileNamePath);
    return;
  }
  if (!g_qxStartedByQuarnel && !g_qxSEND_KORA_FILE_Allowed) {
    QxTrace(
        "Qx ClSendFile: could not use SEND_KORA_FILE if not Started By Quarnel nor "
        "SEND_KORA_FILE_Allowed");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  qx::KoraCommand("SEND_KORA_FILE")
      .Text(fileNamePath)
      .Number(static_cast<int>(qxFilePostCondition))
      .Send();
}

void QxClSendMainWorkSpaceFile(const char* shortFileName) noexcept {
  g_qxErrno = kQx_NoErr;
  if (shortFileName == nullptr) {
    QxTrace("Qx ClSendMainWorkSpaceFile:shortFileName==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  SendWorkSpaceFile("ClSendMainWorkSpaceFile", QxEnvGetMainWorkSpacePath, shortFileName,
                    kQx_DoNotDeleteIt);
}

void QxClSendModelWorkSpaceFile(const char* shortFileName,
                                QxFilePostCondition qxFilePostCondition) noexcept {
  g_qxErrno = kQx_NoErr;
  if (shortFileName == nullptr) {
    QxTrace("Qx ClSendModelWorkSpaceFile:shortFileName==NULL");
    g_qxErrno = kQx_ParamErr;
    return;
  }
  SendWorkSpaceFile("ClSendModelWorkSpaceFile", QxEnvGetModelWorkSpacePath, shortFileName,
                    qxFilePostCondition);
}

}  // extern "C"
