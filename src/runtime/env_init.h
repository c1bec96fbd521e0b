// SPDX-License-Identifier: MIT
// The host channel opened by the command line. Not part of the public
// interface.
#ifndef QUARNEL_SRC_RUNTIME_ENV_INIT_H
#define QUARNEL_SRC_RUNTIME_ENV_INIT_H

#include "quarnel/QXChannel.h"

extern "C" {

// Parameter record and channel of "-fifo_in_out"; they live until the process
// ends.
extern QxChannelParam g_qxChannelParam;
extern PQxChannel g_qxDefaultChannel;

// Opens the default channel on the FIFO pair (chan_in read, chan_out written)
// as a server consumer, creates its default input and output requests and makes
// them current. Returns kQx_NoErr, or the error code after writing
// "### Qx EnvInit: Qx OpenChannel: QxErrno=<code>" on standard error.
QxSLong QxEnvOpen(const char* chan_in, const char* chan_out);

}  // extern "C"

#endif
