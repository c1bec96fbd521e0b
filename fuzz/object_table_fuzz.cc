// SPDX-License-Identifier: MIT
// The object-table reader of "-obj_file": the input is the table file.
//
// Oracles: the file is deleted after reading; every row of the announced
// count can be asked for (rows the file cannot hold read as zeros); an index
// outside the count (every index, when the count is negative or zero) leaves
// the caller's values untouched.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "quarnel/QXModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = qxfuzz::ScratchDir() + "/objects";
  qxfuzz::WriteWholeFile(path, data, size);
  Create_SDD_Obj_File(path.c_str());
  if (access(path.c_str(), F_OK) == 0) qxfuzz::Fail("the object file was not deleted");

  const int count = GetObjectsNbr();  // kept as written, negative included
  // Rows past those the file holds are zeros; asking for a bounded number of
  // them is enough.
  const int asked = static_cast<int>(std::min<long>(count, static_cast<long>(size) / 2 + 16));
  for (int i = 0; i < asked; ++i) {
    int page = -1;
    QxObjectID number = -1;
    GetObjectInfo(i, &page, &number);
    // A row takes at least two numbers and two separators: rows from size / 2
    // on cannot come from the file and must read as zeros.
    if (static_cast<size_t>(i) >= size / 2 && (page != 0 || number != 0)) {
      qxfuzz::Fail("a row the file cannot hold is not zero");
    }
  }
  for (int outside : {-1, std::max(count, 0)}) {
    int page = 12345;
    QxObjectID number = 54321;
    GetObjectInfo(outside, &page, &number);
    if (page != 12345 || number != 54321) qxfuzz::Fail("an index outside the table gave a row");
  }
  return 0;
}
