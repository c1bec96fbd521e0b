/* Model construction and tracing; formalism defaults, model file names and the
 * object table.
 *
 * With kQx_Model_TraceKORA set, every node, edge, attribute and position is
 * sent to the host as a KORA command (CN, CA, CT, CM, pO) when it is created.
 * Records and string copies come from QxCalloc and are never freed by the
 * module. Refused arguments set kQx_ParamErr (traced only with
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

void QxSetModelTrace(QxModelTraceLevel qxModelTraceLevel) QX_NOEXCEPT;
PQxModel QxNewModel(QxConstFormalismName pFormalismInternalName) QX_NOEXCEPT;
QxAttributeList QxNewAttributeList(void) QX_NOEXCEPT;
PQxAttribute QxNewStringAttribute(PQxModel pQxModel, QxConstObjectName qxObjectName,
                                  QxConstAttributeName pAttributeInternalName,
                                  QxConstISOStr pAttributeValue) QX_NOEXCEPT;
PQxAttribute QxAppendStringAttribute(PQxAttribute pQxAttribute,
                                     QxConstISOStr pAttributeValue) QX_NOEXCEPT;
void QxAppendAttribute(QxAttributeList qxAttributeList, PQxAttribute pQxAttribute) QX_NOEXCEPT;
PQxNode QxNewNode(QxConstObjectName pNodeInternalName, QxObjectID qxNodeID,
                  QxAttributeList qxAttributeList) QX_NOEXCEPT;
PQxEdge QxNewEdge(QxConstObjectName pEdgeInternalName, QxObjectID qxEdgeID,
                  QxObjectID qxBeginNodeID, QxObjectID qxEndNodeID,
                  QxAttributeList qxAttributeList) QX_NOEXCEPT;
void QxSetNodeCenter(PQxNode pQxNode, short posH, short posV) QX_NOEXCEPT;
void QxAppendNodeToModel(PQxModel pQxModel, PQxNode pQxNode) QX_NOEXCEPT;
void QxAppendEdgeToModel(PQxModel pQxModel, PQxEdge pQxEdge) QX_NOEXCEPT;

/* Formalism defaults. */
typedef struct QxDefaultStruct {
  QxConstFormalismName pFormalismInternalName;
  QxConstObjectName qxObjectName;
  QxConstAttributeName pAttributeInternalName;
  QxConstISOStr pDefaultAttributeValue;
} QxDefaultStruct;

extern const QxDefaultStruct QxDefaultStructTab[];

void QxDataInit(void) QX_NOEXCEPT;
QxConstISOStr QxGetFormalismDefaultAttributeValue(
    QxConstFormalismName pFormalismInternalName, QxConstObjectName qxObjectName,
    QxConstAttributeName pAttributeInternalName) QX_NOEXCEPT;

/* Model file names, relative to the model workspace; static strings. */
const char* QxGetModelFileName(void) QX_NOEXCEPT;
const char* QxTAVNetGetModelFileName(void) QX_NOEXCEPT;
const char* QxTAVNetGetAesteticFileName(void) QX_NOEXCEPT;
const char* QxTAVNetGetMatrixFileName(void) QX_NOEXCEPT;
const char* QxTAVNetGetPNMatrixFileName(void) QX_NOEXCEPT;

/* Object table of "-obj_file": read once, the file deleted afterwards. */
void Create_SDD_Obj_File(const char* filename) QX_NOEXCEPT;
int GetObjectsNbr(void) QX_NOEXCEPT;
void GetObjectInfo(int indice, int* page, QxObjectID* numero) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
