// SPDX-License-Identifier: MIT
// The framework's command line (QxEnvInit), the host channel it opens, and the
// small accessors of the environment module: system error texts, random
// numbers (the identity: identity.cc).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quarnel/QXCLSend.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXMemory.h"
#include "quarnel/QXModel.h"
#include "runtime/env_init.h"
#include "runtime/env_state.h"
#include "runtime/trace.h"

namespace {

// A heap copy of text that lives until the process ends; null when memory is
// exhausted.
char* HeapCopy(const char* text) {
  const size_t len = std::strlen(text);
  auto* copy = static_cast<char*>(QxCalloc(len + 1));
  if (copy != nullptr) std::memcpy(copy, text, len);
  return copy;
}

bool Is(const char* arg, const char* option) { return std::strcmp(arg, option) == 0; }

int TooFewParameters(int argc) {
  std::fprintf(stderr, "There is too few parameters (%d).\n", argc);
  return 0;
}

}  // namespace

extern "C" {

QxChannelParam g_qxChannelParam;
PQxChannel g_qxDefaultChannel = nullptr;

QxSLong QxEnvOpen(const char* chan_in, const char* chan_out) {
  QxInitChannelParam(&g_qxChannelParam, kQx_ChannelFIFO);
  QxChannelFIFOParam& fifo = g_qxChannelParam.channel.fifoParam;
  fifo.pChannelIn = HeapCopy(chan_in);
  fifo.pChannelOut = HeapCopy(chan_out);
  if (fifo.pChannelIn == nullptr || fifo.pChannelOut == nullptr) {
    g_qxErrno = kQx_MemFullErr;
  } else {
    g_qxDefaultChannel = QxOpenChannel(&g_qxChannelParam, kQx_ServerConsumer, nullptr);
    if (g_qxErrno != kQx_NoErr) {
      qx::TraceF("Qx EnvInit: Qx OpenChannel: QxErrno=%ld", static_cast<long>(g_qxErrno));
    } else {
      // Each step sets the error code; a failed one stops the set-up, so no
      // half-made request ever becomes current.
      PQxChannelIOParams input = QxNewChannelIOParams();
      g_qxPDefaultInputChannelIOParams = input;
      PQxChannelIOParams output = input != nullptr ? QxNewChannelIOParams() : nullptr;
      g_qxPDefaultOutputChannelIOParams = output;
      if (output != nullptr) {
        QxSetChannelIOParams(input, g_qxDefaultChannel, kQx_Read, kQx_Sync, kQx_NotGivenPtr,
                             kQx_NotGivenPtr, kQx_NotGivenLength);
      }
      if (output != nullptr && g_qxErrno == kQx_NoErr) {
        QxSetChannelIOParams(output, g_qxDefaultChannel, kQx_Write, kQx_Sync, kQx_NotGivenPtr,
                             kQx_NotGivenPtr, kQx_NotGivenLength);
      }
      if (g_qxErrno == kQx_NoErr) QxClSetCurrentChannelIO(input, output);
    }
  }
  if (g_qxErrno != kQx_NoErr) {
    std::fprintf(stderr, "### Qx EnvInit: Qx OpenChannel: QxErrno=%ld\n",
                 static_cast<long>(g_qxErrno));
  }
  return g_qxErrno;
}

int QxEnvInit(int argc, char** argv) noexcept {
  g_qxStdOut = kQx_False;
  g_qxStandalone = kQx_False;
  g_qxStartedByQuarnel = kQx_False;
  g_qxSTT_MSG_Allowed = kQx_False;
  QxChannelInit();

  if (argc <= 0 || argv == nullptr) {
    g_qxStandalone = kQx_True;
    g_qxStdOut = kQx_True;
    return -99;
  }
  if (argc == 1) {
    std::fprintf(stderr, "standalone usage %s -version | -kit_name | -s [your parameters]\n",
                 argv[0] != nullptr ? argv[0] : "");
    return 0;
  }
  if (Is(argv[1], "-version")) return -1;
  if (Is(argv[1], "-kit_name")) return -2;

  g_qxOnFifo = kQx_False;
  g_qxUserName = nullptr;
  g_qxLanguage = 0;

  for (int i = 1;;) {
    const char* arg = argv[i];
    // Number of arguments after argv[i] that exist.
    const int remaining = argc - i - 1;
    if (Is(arg, "-s")) {
      g_qxStdOut = kQx_True;
      g_qxStandalone = kQx_True;
      return i;
    }
    if (Is(arg, "-end_env_p")) return i;
    if (Is(arg, "-stt_msg_allowed")) {
      g_qxSTT_MSG_Allowed = kQx_True;
    } else if (Is(arg, "-send_kora_file_allowed")) {
      g_qxSEND_KORA_FILE_Allowed = kQx_True;
    } else if (Is(arg, "-framwrk_on_fifo")) {
      g_qxOnFifo = kQx_True;
      g_qxStartedByQuarnel = kQx_True;
    } else if (Is(arg, "-std_out")) {
      g_qxStdOut = kQx_True;
      g_qxStartedByQuarnel = kQx_True;
    } else if (Is(arg, "-fifo_in_out")) {
      if (remaining < 2) return TooFewParameters(argc);
      if (QxEnvOpen(argv[i + 1], argv[i + 2]) != kQx_NoErr) return 0;
      i += 2;
    } else if (Is(arg, "-u_name")) {
      if (remaining < 1) return TooFewParameters(argc);
      QxFree(g_qxUserName);
      g_qxUserName = HeapCopy(argv[i + 1]);
      i += 1;
    } else if (Is(arg, "-language")) {
      if (remaining < 1) return TooFewParameters(argc);
      const char* value = argv[i + 1];
      if (Is(value, "ENGLISH")) {
        g_qxLanguage = 0;
      } else if (Is(value, "FRENCH")) {
        g_qxLanguage = 1;
      } else {
        std::fprintf(stderr, "Waiting for 'ENGLISH' or 'FRENCH' found '%s'\n", value);
        return 0;
      }
      i += 1;
    } else if (Is(arg, "-obj_file")) {
      if (remaining < 1) return TooFewParameters(argc);
      Create_SDD_Obj_File(argv[i + 1]);
      i += 1;
    }
    // Anything else is skipped without a message.
    ++i;
    if (i >= argc) return TooFewParameters(argc);
  }
}

QxConstISOStr QxSysErrList(int myErrno) noexcept {
  // strerror gives the platform's "Unknown error" text for a number outside
  // its table, never a read outside it.
  return std::strerror(myErrno);
}

void QxSetRandomSeed(QxULong randSeed) noexcept {
  std::srand(static_cast<unsigned>(randSeed & 0xFFFFFFFFu));
}

QxULong QxRandom(void) noexcept { return static_cast<QxULong>(std::rand()); }

}  // extern "C"
