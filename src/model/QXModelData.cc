// Start-up reset of the model module, the model file names, the default
// attribute values of the TAV-Net formalism and the object table of
// "-obj_file".
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "model/model_internal.h"
#include "quarnel/QXModel.h"
#include "support/memory_guard.h"
#include "support/stdio_file.h"

namespace {

struct t_Objet {
  int page;
  QxObjectID numero;
};

// The rows actually read. NbrObjets keeps the count the file announced; rows
// announced but missing from the file read as zeros.
std::vector<t_Objet> TabObjets;
int NbrObjets = 0;

bool IsBlank(int c) { return c != EOF && std::isspace(c) != 0; }

// Reads the next white-space separated word of the file into word (cap bytes);
// false at the end of the file. A word longer than any number is cut, which
// makes it fail the conversion below.
bool ReadWord(std::FILE* file, char* word, size_t cap) {
  int c;
  do {
    c = std::fgetc(file);
  } while (IsBlank(c));
  if (c == EOF) return false;
  size_t n = 0;
  while (c != EOF && !IsBlank(c)) {
    if (n + 1 < cap) word[n++] = static_cast<char>(c);
    c = std::fgetc(file);
  }
  word[n] = '\0';
  return true;
}

// Reads the next word as a decimal integer of type T; false at the end of the
// file or when the word is not a number that fits T.
template <typename T>
bool ReadNumber(std::FILE* file, T* value) {
  char word[32];
  if (!ReadWord(file, word, sizeof word)) return false;
  const char* end = word + std::strlen(word);
  const char* begin = word;
  if (*begin == '+') ++begin;
  auto [ptr, ec] = std::from_chars(begin, end, *value);
  return ec == std::errc() && ptr == end && begin != end;
}

}  // namespace

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

void QxDataInit(void) noexcept { g_qxModelTraceLevel = kQx_Model_NoTrace; }

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

const char* QxGetModelFileName(void) noexcept { return "QX_MNGR/.model"; }
const char* QxTAVNetGetModelFileName(void) noexcept { return "QX_MNGR/.dec_model"; }
const char* QxTAVNetGetAesteticFileName(void) noexcept { return "QX_MNGR/.aestetic"; }
const char* QxTAVNetGetMatrixFileName(void) noexcept { return "QX_MNGR/.rdp_matrix"; }
const char* QxTAVNetGetPNMatrixFileName(void) noexcept { return "QX_MNGR/.ord_pn_desc"; }

static void ReadObjectTable(const char* filename) {
  if (filename == nullptr) return;
  const qx::StdioFile owned = qx::OpenStdio(filename, "r");  // never blocks on a FIFO
  std::FILE* file = owned.get();
  if (file == nullptr) return;

  // A new file replaces the earlier table. The table grows with the rows
  // really read, whatever count the file announces; a count that is missing,
  // not a number or negative gives an empty table.
  std::vector<t_Objet> rows;
  int announced = 0;
  if (!ReadNumber(file, &announced) || announced < 0) announced = 0;
  while (static_cast<int>(rows.size()) < announced) {
    t_Objet row{};
    if (!ReadNumber(file, &row.page) || !ReadNumber(file, &row.numero)) break;
    rows.push_back(row);
  }
  unlink(filename);

  TabObjets.swap(rows);
  NbrObjets = announced;
}

void Create_SDD_Obj_File(const char* filename) noexcept {
  qx::GuardMemory("Create_SDD_Obj_File", [&] { ReadObjectTable(filename); });
}

int GetObjectsNbr(void) noexcept { return NbrObjets; }

void GetObjectInfo(int indice, int* page, QxObjectID* numero) noexcept {
  if (indice < 0 || indice >= NbrObjets) return;
  t_Objet row{};
  if (static_cast<size_t>(indice) < TabObjets.size()) row = TabObjets[static_cast<size_t>(indice)];
  if (page != nullptr) *page = row.page;
  if (numero != nullptr) *numero = row.numero;
}

}  // extern "C"
