// SPDX-License-Identifier: MIT
// Start-up reset of the model module, the model file names and the object
// table of "-obj_file".
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "model/model_internal.h"
#include "quarnel/QXModel.h"
#include "support/memory_guard.h"
#include "support/number_scan.h"
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

}  // namespace

extern "C" {

void QxDataInit(void) noexcept { g_qxModelTraceLevel = kQx_Model_NoTrace; }

const char* QxGetModelFileName(void) noexcept { return "QX_MNGR/.model"; }
const char* QxTAVNetGetModelFileName(void) noexcept { return "QX_MNGR/.dec_model"; }
const char* QxTAVNetGetAesteticFileName(void) noexcept { return "QX_MNGR/.aestetic"; }
const char* QxTAVNetGetMatrixFileName(void) noexcept { return "QX_MNGR/.rdp_matrix"; }
const char* QxTAVNetGetPNMatrixFileName(void) noexcept { return "QX_MNGR/.ord_pn_desc"; }

static void ReadObjectTable(const char* filename) {
  if (filename == nullptr) return;
  const qx::StdioFile owned = qx::OpenStdio(filename, "r");
  std::FILE* file = owned.get();
  if (file == nullptr) return;

  // The numbers are read as "%d" (count, page) and "%ld" (object number) read
  // them. A new file replaces the earlier table. The count stays as written,
  // a negative one included (no row is read then); a count that is missing,
  // not a number or out of the int range gives an empty table. The table
  // grows with the rows really read, whatever count the file announces: the
  // reading stops at the end of the file or at the first row that is not two
  // numbers, keeping the rows before it.
  std::vector<t_Objet> rows;
  int announced = 0;
  if (!qx::ScanInt(file, &announced)) announced = 0;
  for (int i = 0; i < announced; ++i) {
    t_Objet row{};
    if (!qx::ScanInt(file, &row.page) || !qx::ScanWord64(file, &row.numero)) break;
    rows.push_back(row);
  }
  unlink(filename);

  TabObjets.swap(rows);
  NbrObjets = announced;
}

// This reader sets no error code. Memory exhausted while reading: the
// previous table stays, the file is not deleted, and a trace says why.
void Create_SDD_Obj_File(const char* filename) noexcept {
  try {
    ReadObjectTable(filename);
  } catch (const std::bad_alloc&) {
    qx::TraceMemoryExhausted("Create_SDD_Obj_File");
  }
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
