// SPDX-License-Identifier: MIT
/* Error codes of the Quarnel library.
 *
 * Most operations set g_qxErrno to kQx_NoErr on entry and to one of these codes
 * on failure; each header says which operations leave it untouched. */
#ifndef QUARNEL_QXERRORS_H
#define QUARNEL_QXERRORS_H

#include "quarnel/QXTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  kQx_NoErr = 0,
  kQx_ParamErr = -1,
  kQx_MemFullErr = -2,
  kQx_NotImplementedErr = -3,
  kQx_InternalErr = -4,
  kQx_InUse = -5,
  kQx_ForkError = -6,
  kQx_ExecvError = -7,
  kQx_SelectInterupt = -8,
  kQx_TimeOut = -9,
  kQx_OpenError = -10,
  kQx_AccessError = -11,
  kQx_BrokenCom = -12
};

/* The process-wide error code. */
QX_API extern QxSLong g_qxErrno;

/* Returns g_qxErrno. */
QX_API QxSLong QxErrno(void) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
