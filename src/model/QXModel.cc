// SPDX-License-Identifier: MIT
// Model construction: models, attribute lists, string attributes, nodes, edges
// and positions. With kQx_Model_TraceKORA every node, edge, attribute and
// position reaches the host as a KORA command at the moment it is created.
#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <initializer_list>

#include "kora/kora_compose.h"
#include "model/model_internal.h"
#include "quarnel/CListes.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXMemory.h"
#include "quarnel/QXModel.h"
#include "support/format.h"
#include "support/heap_copy.h"

extern "C" {
QxModelTraceLevel g_qxModelTraceLevel = kQx_Model_NoTrace;
}

namespace {

bool Traces(QxModelTraceLevel bit) { return (g_qxModelTraceLevel & bit) != 0; }

// What a trace shows for a string the caller may have left null.
const char* Shown(const char* text) { return text != nullptr ? text : "(null)"; }

void TraceIf(QxModelTraceLevel bit, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void TraceIf(QxModelTraceLevel bit, const char* fmt, ...) {
  if (!Traces(bit)) return;
  va_list ap;
  va_start(ap, fmt);
  qx::VFormatTo(g_tmpTrace, sizeof g_tmpTrace, fmt, ap);
  va_end(ap);
  QxTrace(g_tmpTrace);
}

// Records a failure: the trace (with kQx_Model_TraceError) comes first, so that
// a trace sent over a channel cannot overwrite the code set afterwards.
void Fail(QxSLong code, const char* text) {
  TraceIf(kQx_Model_TraceError, "%s", text);
  g_qxErrno = code;
}

void Refuse(const char* text) { Fail(kQx_ParamErr, text); }

// The first failure among the commands that announce one object. Some
// senders clear the error code on entry, so a refusal met early (an attribute
// without value, a command over the size limit) would otherwise be hidden by
// the next command that goes through.
class FirstFailure {
 public:
  void Note() {
    if (code_ == kQx_NoErr) code_ = g_qxErrno;
  }
  // Leaves the first failure, if any, in the error code.
  void Report() const {
    if (code_ != kQx_NoErr) g_qxErrno = code_;
  }

 private:
  QxSLong code_ = kQx_NoErr;
};

// The list walk's callback: sends one attribute with the object number and
// notes its failure.
void* VisitAttribute(void* datum, void* objectID, void* failure, void*, void*, void*, void*,
                     void*, void*) {
  QxTraceKoraAttribute(static_cast<PQxAttribute>(datum), static_cast<QxObjectID*>(objectID));
  static_cast<FirstFailure*>(failure)->Note();
  return nullptr;
}

// Sends the command announcing a node or an edge, then its attributes; the
// first failure among them stays in the error code.
void AnnounceObject(qx::KoraCommand& command, QxObjectID id, QxAttributeList attributes) {
  FirstFailure failure;
  command.Send();
  failure.Note();
  QxTraceKoraAttributes(attributes, id);
  failure.Note();
  failure.Report();
}

// An object number to check, with the text that refuses it.
struct NumberCheck {
  QxObjectID id;
  const char* refusal;
};

// Refusals shared by nodes and edges, in this order: a null name, an empty
// name, then each number below 2.
bool ObjectAccepted(const char* name, const char* nullText, const char* emptyText,
                    std::initializer_list<NumberCheck> numbers) {
  if (name == nullptr) {
    Refuse(nullText);
    return false;
  }
  if (name[0] == '\0') {
    Refuse(emptyText);
    return false;
  }
  for (const NumberCheck& number : numbers) {
    if (number.id <= 1) {
      Refuse(number.refusal);
      return false;
    }
  }
  return true;
}

// A zero-filled record, or null with kQx_MemFullErr and the failure text.
template <typename Record>
Record* NewRecord(const char* failure) {
  auto* record = static_cast<Record*>(QxCalloc(sizeof(Record)));
  if (record == nullptr) Fail(kQx_MemFullErr, failure);
  return record;
}

}  // namespace

extern "C" {

void QxSetModelTrace(QxModelTraceLevel qxModelTraceLevel) noexcept {
  TraceIf(kQx_Model_TraceRoutineCalls, "QxSetModelTrace");
  g_qxModelTraceLevel = qxModelTraceLevel;
}

QxISOStr QxModelAllocCopy(QxConstISOStr text) {
  char* copy = qx::HeapCopy(text);
  if (copy == nullptr) Fail(kQx_MemFullErr, "Qx ModelAllocCopy:QxCalloc");
  return copy;
}

PQxModel QxNewModel(QxConstFormalismName pFormalismInternalName) noexcept {
  g_qxErrno = kQx_NoErr;
  TraceIf(kQx_Model_TraceRoutineCalls, "Qx NewModel: %s", Shown(pFormalismInternalName));
  if (pFormalismInternalName == nullptr) {
    Refuse("Qx NewModel:pFormalismInternalName==NULL");
    return nullptr;
  }
  if (pFormalismInternalName[0] == '\0') {
    Refuse("Qx NewModel:strlen(pFormalismInternalName)==0");
    return nullptr;
  }
  auto* model = NewRecord<QxModel>("Qx NewModel:QxCalloc QxModel");
  if (model == nullptr) return nullptr;
  model->pFormalismInternalName = QxModelAllocCopy(pFormalismInternalName);
  return model;
}

QxAttributeList QxNewAttributeList(void) noexcept {
  g_qxErrno = kQx_NoErr;
  return CreerListe();
}

PQxAttribute QxNewStringAttribute(PQxModel pQxModel, QxConstObjectName /*qxObjectName*/,
                                  QxConstAttributeName pAttributeInternalName,
                                  QxConstISOStr pAttributeValue) noexcept {
  g_qxErrno = kQx_NoErr;
  if (pQxModel == nullptr) {
    Refuse("Qx NewStringAttribute:pQxModel==NULL");
    return nullptr;
  }
  TraceIf(kQx_Model_TraceRoutineCalls, "Qx NewStringAttribute: %s, value ='%s'",
          Shown(pAttributeInternalName), Shown(pAttributeValue));
  // An attribute without a name or a value could never be sent: refuse it now
  // rather than keep a record that every later use must step around.
  if (pAttributeInternalName == nullptr) {
    Refuse("Qx NewStringAttribute:pAttributeInternalName==NULL");
    return nullptr;
  }
  if (pAttributeValue == nullptr) {
    Refuse("Qx NewStringAttribute:pAttributeValue==NULL");
    return nullptr;
  }
  auto* attribute = NewRecord<QxAttribute>("Qx NewStringAttribute:QxCalloc QxAttribute");
  if (attribute == nullptr) return nullptr;
  attribute->pAttributeInternalName = QxModelAllocCopy(pAttributeInternalName);
  attribute->pAttributeValue = QxModelAllocCopy(pAttributeValue);
  return attribute;
}

PQxAttribute QxAppendStringAttribute(PQxAttribute pQxAttribute,
                                     QxConstISOStr pAttributeValue) noexcept {
  if (pQxAttribute == nullptr) {
    Refuse("Qx AppendStringAttribute:pQxAttribute==NULL");
    return nullptr;
  }
  if (pAttributeValue == nullptr) {
    Refuse("Qx AppendStringAttribute:pAttributeValue==NULL");
    return nullptr;
  }
  if (pQxAttribute->pAttributeValue == nullptr) {
    Refuse("Qx AppendStringAttribute:pQxAttribute->pAttributeValue==NULL");
    return nullptr;
  }
  size_t oldLength = std::strlen(pQxAttribute->pAttributeValue);
  size_t addedLength = std::strlen(pAttributeValue);
  auto* value = static_cast<char*>(QxCalloc(oldLength + addedLength + 1));
  if (value == nullptr) {
    Fail(kQx_MemFullErr, "Qx ModelAllocCopy:QxCalloc");
    return nullptr;
  }
  std::memcpy(value, pQxAttribute->pAttributeValue, oldLength);
  // The appended text may lie inside the old value: it is copied before the
  // old value is released.
  std::memcpy(value + oldLength, pAttributeValue, addedLength + 1);
  QxFree(pQxAttribute->pAttributeValue);
  pQxAttribute->pAttributeValue = value;
  return pQxAttribute;
}

void QxAppendAttribute(QxAttributeList qxAttributeList, PQxAttribute pQxAttribute) noexcept {
  g_qxErrno = kQx_NoErr;
  if (qxAttributeList == nullptr) {
    Refuse("Qx AppendAttribute:qxAttributeList==NULL");
    return;
  }
  if (pQxAttribute == nullptr) {
    Refuse("Qx AppendAttribute:pQxAttribute==NULL");
    return;
  }
  AjoutFinListe(qxAttributeList, pQxAttribute);
}

void* QxTraceKoraAttribute(PQxAttribute pQxAttribute, QxObjectID* pObjectID) {
  if (pQxAttribute == nullptr || pObjectID == nullptr) {
    Refuse("Qx TraceKoraAttribute:pQxAttribute==NULL");
    return nullptr;
  }
  const char* name = pQxAttribute->pAttributeInternalName;
  const char* value = pQxAttribute->pAttributeValue;
  if (value == nullptr) {
    Refuse("Qx TraceKoraAttribute:pQxAttribute->pAttributeValue==NULL");
    return nullptr;
  }
  if (name == nullptr) {
    Refuse("Qx TraceKoraAttribute:pQxAttribute->pAttributeInternalName==NULL");
    return nullptr;
  }
  const QxObjectID objectID = *pObjectID;
  const size_t valueLength = std::strlen(value);

  // A one-line value goes as one CT command when that command fits the KORA
  // size limit; any other value goes as numbered CM pieces, which the host
  // joins again. A CM head too long to leave room for a piece is refused by
  // the numbered-text sender.
  qx::KoraCommand single("CT");
  single.Text(name).Object(objectID).Text(value, valueLength);
  const bool singleLine = std::strchr(value, '\n') == nullptr;
  if (singleLine && single.length() + 1 <= kQx_MaxKoraCommand) {  // with its ")"
    single.Send();
    return nullptr;
  }
  qx::KoraCommand pieces("CM");
  pieces.Text(name).Object(objectID);
  QxClSendMultipleText(pieces.Head(), value);
  return nullptr;
}

void QxTraceKoraAttributes(QxAttributeList qxAttributeList, QxObjectID objectID) {
  if (qxAttributeList == nullptr) return;
  FirstFailure failure;
  ParcoursListe(qxAttributeList, VisitAttribute, &objectID, &failure, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr);
  failure.Report();
}

PQxNode QxNewNode(QxConstObjectName pNodeInternalName, QxObjectID qxNodeID,
                  QxAttributeList qxAttributeList) noexcept {
  g_qxErrno = kQx_NoErr;
  TraceIf(kQx_Model_TraceRoutineCalls, "Qx NewNode: %s", Shown(pNodeInternalName));
  if (!ObjectAccepted(pNodeInternalName, "Qx NewNode:pNodeInternalName==NULL",
                      "Qx NewNode:strlen(pNodeInternalName)==0",
                      {{qxNodeID, "Qx NewNode:qxNodeID<=1"}})) {
    return nullptr;
  }
  if (Traces(kQx_Model_TraceKORA)) {
    qx::KoraCommand command("CN");
    command.Text(pNodeInternalName).Object(qxNodeID);
    AnnounceObject(command, qxNodeID, qxAttributeList);
  }
  auto* node = NewRecord<QxNode>("Qx NewNode:QxCalloc QxNode");
  if (node == nullptr) return nullptr;
  node->qxNodeID = qxNodeID;
  node->qxAttributeList = qxAttributeList;
  return node;
}

PQxEdge QxNewEdge(QxConstObjectName pEdgeInternalName, QxObjectID qxEdgeID,
                  QxObjectID qxBeginNodeID, QxObjectID qxEndNodeID,
                  QxAttributeList qxAttributeList) noexcept {
  g_qxErrno = kQx_NoErr;
  TraceIf(kQx_Model_TraceRoutineCalls, "Qx NewEdge: %s", Shown(pEdgeInternalName));
  if (!ObjectAccepted(pEdgeInternalName, "Qx NewEdge:pEdgeInternalName==NULL",
                      "Qx NewEdge:strlen(pEdgeInternalName)==0",
                      {{qxEdgeID, "Qx NewEdge:qxEdgeID<=1"},
                       {qxBeginNodeID, "Qx NewEdge:qxBeginNodeID<=1"},
                       {qxEndNodeID, "Qx NewEdge:qxEndNodeID<=1"}})) {
    return nullptr;
  }
  if (Traces(kQx_Model_TraceKORA)) {
    qx::KoraCommand command("CA");
    command.Text(pEdgeInternalName).Object(qxEdgeID).Object(qxBeginNodeID).Object(qxEndNodeID);
    AnnounceObject(command, qxEdgeID, qxAttributeList);
  }
  auto* edge = NewRecord<QxEdge>("Qx NewEdge:QxCalloc QxEdge");
  if (edge == nullptr) return nullptr;
  edge->qxEdgeID = qxEdgeID;
  edge->qxAttributeList = qxAttributeList;
  return edge;
}

void QxSetNodeCenter(PQxNode pQxNode, short posH, short posV) noexcept {
  g_qxErrno = kQx_NoErr;
  if (pQxNode == nullptr) {
    Refuse("Qx SetNodeCenter:pQxNode==NULL");
    return;
  }
  TraceIf(kQx_Model_TraceRoutineCalls, "Qx SetNodeCenter for%" PRId64 " at %d,%d",
          static_cast<QxSLong>(pQxNode->qxNodeID), posH, posV);
  if (Traces(kQx_Model_TraceKORA)) {
    qx::KoraCommand("pO").Object(pQxNode->qxNodeID).Number(posH).Number(posV).Send();
  }
}

void QxAppendNodeToModel(PQxModel pQxModel, PQxNode pQxNode) noexcept {
  TraceIf(kQx_Model_TraceRoutineCalls, "Qx AppendNodeToModel");
  g_qxErrno = kQx_NoErr;
  if (pQxModel == nullptr) {
    Refuse("Qx AppendNodeToModel:pQxModel==NULL");
  } else if (pQxNode == nullptr) {
    Refuse("Qx AppendNodeToModel:pQxNode==NULL");
  }
}

void QxAppendEdgeToModel(PQxModel pQxModel, PQxEdge pQxEdge) noexcept {
  TraceIf(kQx_Model_TraceRoutineCalls, "Qx AppendEdgeToModel");
  g_qxErrno = kQx_NoErr;
  if (pQxModel == nullptr) {
    Refuse("Qx AppendEdgeToModel:pQxModel==NULL");
  } else if (pQxEdge == nullptr) {
    Refuse("Qx AppendEdgeToModel:pQxEdge==NULL");
  }
}

}  // extern "C"
