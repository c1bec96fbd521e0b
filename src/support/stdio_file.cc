#include "support/stdio_file.h"

namespace qx {

StdioFile OpenStdio(const char* path, const char* mode) { return StdioFile(std::fopen(path, mode)); }

}  // namespace qx
