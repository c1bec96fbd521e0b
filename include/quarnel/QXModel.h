// SPDX-License-Identifier: MIT
/* Model construction and tracing; formalism defaults, model file names and the
 * object table.
 *
 * The interface traces and keeps nothing: with kQx_Model_TraceKORA set, every
 * node, edge, attribute and position is sent to the host as a KORA command
 * (CN, CA, CT, CM, pO) when it is created, and that is all the host learns;
 * nothing can be sent again or changed later. Node and edge numbers start at
 * 2. Records and string copies come from QxCalloc and live until the process
 * ends: the interface has no destroy operation, and the caller frees none of
 * them. Refused arguments set kQx_ParamErr (traced only with
 * kQx_Model_TraceError), failed allocations kQx_MemFullErr. */
#ifndef QUARNEL_QXMODEL_H
#define QUARNEL_QXMODEL_H

#include "quarnel/CListes.h"
#include "quarnel/QXTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef QxISOStr QxAttributeName;
typedef QxConstISOStr QxConstFormalismName;
typedef QxConstISOStr QxConstObjectName;
typedef CListe QxAttributeList; /* elements: PQxAttribute */
typedef QxSShort QxModelTraceLevel;

enum {
  kQx_Model_NoTrace = 0,
  kQx_Model_TraceError = 1,
  kQx_Model_TraceRoutineCalls = 2,
  kQx_Model_TraceKORA = 4
};

typedef struct QxModel {
  QxAttributeName pFormalismInternalName;
} QxModel, *PQxModel;

typedef struct QxAttribute {
  QxAttributeName pAttributeInternalName;
  QxISOStr pAttributeValue;
} QxAttribute, *PQxAttribute;

typedef struct QxNode {
  QxObjectID qxNodeID;
  QxAttributeList qxAttributeList;
} QxNode, *PQxNode;

typedef struct QxEdge {
  QxObjectID qxEdgeID;
  QxAttributeList qxAttributeList;
} QxEdge, *PQxEdge;

/* Sets the model trace level (a set of the kQx_Model_ bits). It starts at
 * kQx_Model_NoTrace, where nothing is sent: set kQx_Model_TraceKORA before
 * creating anything, since each command goes out at creation only. */
QX_API void QxSetModelTrace(QxModelTraceLevel qxModelTraceLevel) QX_NOEXCEPT;
/* A model record holding a copy of the formalism's name (for instance
 * "TAV-Net"); null for a null or empty name. Sends nothing, keeps nothing
 * else. */
QX_API PQxModel QxNewModel(QxConstFormalismName pFormalismInternalName) QX_NOEXCEPT;
/* A new empty list for the attributes of one node or edge. */
QX_API QxAttributeList QxNewAttributeList(void) QX_NOEXCEPT;
/* An attribute holding copies of its name and value; null for a null model.
 * qxObjectName is not used. Sends nothing: the attribute is sent with the
 * node or edge whose list holds it. */
QX_API PQxAttribute QxNewStringAttribute(PQxModel pQxModel, QxConstObjectName qxObjectName,
                                         QxConstAttributeName pAttributeInternalName,
                                         QxConstISOStr pAttributeValue) QX_NOEXCEPT;
/* Appends text to the attribute's value; returns the attribute, or null
 * (attribute unchanged). Does not clear g_qxErrno. */
QX_API PQxAttribute QxAppendStringAttribute(PQxAttribute pQxAttribute,
                                            QxConstISOStr pAttributeValue) QX_NOEXCEPT;
/* Appends the attribute to the list. Sends nothing. */
QX_API void QxAppendAttribute(QxAttributeList qxAttributeList, PQxAttribute pQxAttribute) QX_NOEXCEPT;
/* Creates node number qxNodeID of the kind pNodeInternalName ("place",
 * "transition", ...) and, with kQx_Model_TraceKORA, sends CN(n:kind,id) and
 * then each attribute of the list in order: CT(n:name,id,n:value) for a
 * one-line value whose command fits kQx_MaxKoraCommand bytes, numbered CM
 * pieces for any other value (line breaks, or a longer command). Object
 * numbers start at 2: a number below 2, a null or empty kind gives null,
 * kQx_ParamErr and sends nothing. The list must be complete: attributes
 * appended afterwards are never sent. The list is kept, not copied; it may be
 * null. A command that still does not fit (a CN or CA with a name of about
 * 250 bytes, an attribute name too long for a CM head) is dropped
 * (kQx_ParamErr) and the node is still created. */
QX_API PQxNode QxNewNode(QxConstObjectName pNodeInternalName, QxObjectID qxNodeID,
                         QxAttributeList qxAttributeList) QX_NOEXCEPT;
/* As QxNewNode for edge number qxEdgeID from node qxBeginNodeID to node
 * qxEndNodeID: CA(n:kind,id,begin,end) then the attributes. All three numbers
 * must be 2 or more. */
QX_API PQxEdge QxNewEdge(QxConstObjectName pEdgeInternalName, QxObjectID qxEdgeID,
                         QxObjectID qxBeginNodeID, QxObjectID qxEndNodeID,
                         QxAttributeList qxAttributeList) QX_NOEXCEPT;
/* Sends pO(id,posH,posV) for an existing node; the position is not stored. */
QX_API void QxSetNodeCenter(PQxNode pQxNode, short posH, short posV) QX_NOEXCEPT;
/* Check their arguments only: a model record lists no nodes or edges. */
QX_API void QxAppendNodeToModel(PQxModel pQxModel, PQxNode pQxNode) QX_NOEXCEPT;
QX_API void QxAppendEdgeToModel(PQxModel pQxModel, PQxEdge pQxEdge) QX_NOEXCEPT;

/* Formalism defaults. */
typedef struct QxDefaultStruct {
  QxConstFormalismName pFormalismInternalName;
  QxConstObjectName qxObjectName;
  QxConstAttributeName pAttributeInternalName;
  QxConstISOStr pDefaultAttributeValue;
} QxDefaultStruct;

/* The formalism defaults, ended by an entry of null pointers. Its element type
 * and its number of entries are part of the ABI and frozen while the SONAME
 * is libquarnel.so.1 (QXExport.h): a program that names it holds a copy of
 * its size. Read it through QxGetFormalismDefaultAttributeValue where a lookup
 * is enough. */
QX_API extern const QxDefaultStruct QxDefaultStructTab[];

/* Resets the model trace level; main calls it before QxServiceMain. */
QX_API void QxDataInit(void) QX_NOEXCEPT;
/* The default value (a static string) the formalism gives the attribute of
 * that kind of object, or null; names compared exactly. Leaves g_qxErrno. */
QX_API QxConstISOStr QxGetFormalismDefaultAttributeValue(
           QxConstFormalismName pFormalismInternalName, QxConstObjectName qxObjectName,
           QxConstAttributeName pAttributeInternalName) QX_NOEXCEPT;

/* Model file names, relative to the model workspace; static strings. */
QX_API const char* QxGetModelFileName(void) QX_NOEXCEPT;
QX_API const char* QxTAVNetGetModelFileName(void) QX_NOEXCEPT;
QX_API const char* QxTAVNetGetAesteticFileName(void) QX_NOEXCEPT;
QX_API const char* QxTAVNetGetMatrixFileName(void) QX_NOEXCEPT;
QX_API const char* QxTAVNetGetPNMatrixFileName(void) QX_NOEXCEPT;

/* Object table of "-obj_file": read once by QxEnvInit, the file deleted
 * afterwards; a file that cannot be opened leaves the table as it was (empty
 * at start). Sets no error code: when
 * memory runs out while reading, the previous table stays, the file is not
 * deleted, and a trace says so. GetObjectInfo leaves its outputs untouched
 * for an index outside 0 to GetObjectsNbr()-1. */
QX_API void Create_SDD_Obj_File(const char* filename) QX_NOEXCEPT;
QX_API int GetObjectsNbr(void) QX_NOEXCEPT;
QX_API void GetObjectInfo(int indice, int* page, QxObjectID* numero) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
