// SPDX-License-Identifier: MIT
// State of the environment module shared between its files (command line,
// trace, basic information). Not part of the public interface.
#ifndef QUARNEL_SRC_RUNTIME_ENV_STATE_H
#define QUARNEL_SRC_RUNTIME_ENV_STATE_H

#include "quarnel/QXTypes.h"

extern "C" {
extern QxBoolean g_qxSTT_MSG_Allowed;  // waiting messages sent even when not started by the host
extern QxBoolean g_qxOnFifo;           // the host talks over FIFOs; recorded only
extern char* g_qxUserName;             // "-u_name" value, or null; recorded only
}

#endif
