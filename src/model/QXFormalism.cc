// SPDX-License-Identifier: MIT
// The default attribute values of the formalisms the library knows (TAV-Net).
// An object of its own with no other dependency, so that a program can read
// the table without linking the rest of the library.
#include <cstring>

#include "quarnel/QXModel.h"

extern "C" {

const QxDefaultStruct QxDefaultStructTab[] = {
    {"TAV-Net", "place", "domain", "null"},
    {"TAV-Net", "transition", "guard", "true"},
    {"TAV-Net", "transition", "priority", "0"},
    {"TAV-Net", "arc", "valuation", "1"},
    {"TAV-Net", "immediate transition", "guard", "true"},
    {"TAV-Net", "immediate transition", "priority", "0"},
    {"TAV-Net", "queue", "domain", "null"},
    {"TAV-Net", "net", "version", "0.0"},
    {nullptr, nullptr, nullptr, nullptr},
};

QxConstISOStr QxGetFormalismDefaultAttributeValue(
    QxConstFormalismName pFormalismInternalName, QxConstObjectName qxObjectName,
    QxConstAttributeName pAttributeInternalName) noexcept {
  // A null name matches no row.
  if (pFormalismInternalName == nullptr || qxObjectName == nullptr ||
      pAttributeInternalName == nullptr) {
    return nullptr;
  }
  for (const QxDefaultStruct* row = QxDefaultStructTab; row->pFormalismInternalName != nullptr;
       ++row) {
    if (std::strcmp(row->pFormalismInternalName, pFormalismInternalName) == 0 &&
        std::strcmp(row->qxObjectName, qxObjectName) == 0 &&
        std::strcmp(row->pAttributeInternalName, pAttributeInternalName) == 0) {
      return row->pDefaultAttributeValue;
    }
  }
  return nullptr;
}

}  // extern "C"
