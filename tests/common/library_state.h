// SPDX-License-Identifier: MIT
// A test fixture that gives every test the library's process-wide state as at
// process start (mode flags off, no current or default channel records, channel
// traces off) and restores what it found afterwards. Header-only: it reaches
// library internals, so only test programs built with src/ on their include
// path use it.
#ifndef QUARNEL_TESTS_COMMON_LIBRARY_STATE_H
#define QUARNEL_TESTS_COMMON_LIBRARY_STATE_H

#include <gtest/gtest.h>

#include "channel/channel_internal.h"
#include "common/qxtest.h"
#include "kora/send_state.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "runtime/env_state.h"

namespace qxtest {

class LibraryStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Snapshot();
    g_qxStdOut = g_qxStandalone = g_qxStartedByQuarnel = kQx_False;
    g_qxSTT_MSG_Allowed = kQx_False;
    g_qxPDefaultInputChannelIOParams = nullptr;
    g_qxPDefaultOutputChannelIOParams = nullptr;
    g_qxErrno = kQx_NoErr;
    qx::kora::ResetCurrentChannelIO();
    SetTraceQuietly(kQx_Channel_NoTrace);
  }

  void TearDown() override {
    // The records a test made current are gone with its scope: nothing may be
    // sent through them any more.
    qx::kora::ResetCurrentChannelIO();
    g_qxPDefaultOutputChannelIOParams = nullptr;
    g_qxStandalone = kQx_True;
    SetTraceQuietly(saved_.traceLevel);
    g_qxStdOut = saved_.stdOut;
    g_qxStandalone = saved_.standalone;
    g_qxStartedByQuarnel = saved_.startedByQuarnel;
    g_qxSTT_MSG_Allowed = saved_.sttAllowed;
    g_qxPDefaultInputChannelIOParams = saved_.defaultIn;
    g_qxPDefaultOutputChannelIOParams = saved_.defaultOut;
    g_qxErrno = saved_.errnoValue;
  }

  // Changes the channel trace level; the routine trace of the change, if
  // any, is swallowed.
  static void SetTraceQuietly(QxChannelTraceLevel level) {
    CaptureOutput([level] { QxSetChannelTrace(level); });
  }

 private:
  struct State {
    QxBoolean stdOut, standalone, startedByQuarnel, sttAllowed;
    PQxChannelIOParams defaultIn, defaultOut;
    QxSLong errnoValue;
    QxChannelTraceLevel traceLevel;
  };
  static State Snapshot() {
    return {g_qxStdOut,
            g_qxStandalone,
            g_qxStartedByQuarnel,
            g_qxSTT_MSG_Allowed,
            g_qxPDefaultInputChannelIOParams,
            g_qxPDefaultOutputChannelIOParams,
            g_qxErrno,
            qx::channel::TraceLevel()};
  }
  State saved_{};
};

}  // namespace qxtest

#endif
