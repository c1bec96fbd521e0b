// Opening the tool's input files (the matrix file and the reference file).
#ifndef VARNOST_INPUT_FILE_H
#define VARNOST_INPUT_FILE_H

#include <cstdio>

namespace varnost {

// Opens path for reading as fopen(path, "r") does, without ever blocking in
// the open: a FIFO that has no writer opens at once and reads as an empty
// file (a FIFO whose writer is there reads what it writes). A directory is
// refused (null, errno EISDIR): it holds no net.
FILE* OpenInput(const char* path);

}  // namespace varnost

#endif
