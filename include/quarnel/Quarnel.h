// SPDX-License-Identifier: MIT
/* Everything a tool needs from the Quarnel library. */
#ifndef QUARNEL_QUARNEL_H
#define QUARNEL_QUARNEL_H

#include "quarnel/CListes.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXKoraParse.h"
#include "quarnel/QXLink.h"
#include "quarnel/QXMain.h"
#include "quarnel/QXMemory.h"
#include "quarnel/QXModel.h"
#include "quarnel/QXQuestions.h"
#include "quarnel/QXResults.h"
#include "quarnel/QXTypes.h"
#include "quarnel/SqTypes.h"

#endif
