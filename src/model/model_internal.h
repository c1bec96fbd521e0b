// SPDX-License-Identifier: MIT
// State and private operations of the model module shared between its files.
// Not part of the public interface.
#ifndef QUARNEL_SRC_MODEL_MODEL_INTERNAL_H
#define QUARNEL_SRC_MODEL_MODEL_INTERNAL_H

#include "quarnel/QXModel.h"

extern "C" {

// Trace level of the model module: a set of the kQx_Model_* bits. Starts at
// kQx_Model_NoTrace; QxSetModelTrace and QxDataInit change it.
extern QxModelTraceLevel g_qxModelTraceLevel;

// A QxCalloc copy of text (never null), or null with kQx_MemFullErr.
QxISOStr QxModelAllocCopy(QxConstISOStr text);

// Sends one attribute of the object *pObjectID as a CT command or a numbered
// series of CM commands. Always returns null, so that a list walk visits every
// attribute; a refused attribute sets kQx_ParamErr.
void* QxTraceKoraAttribute(PQxAttribute pQxAttribute, QxObjectID* pObjectID);

// Sends every attribute of the list, in list order, for object objectID.
void QxTraceKoraAttributes(QxAttributeList qxAttributeList, QxObjectID objectID);

}  // extern "C"

#endif
