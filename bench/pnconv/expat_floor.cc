// SPDX-License-Identifier: MIT
// The floor of a PNML conversion: expat parsing the file with empty element
// and text handlers, 1 MiB at a time into expat's own buffer, as pnconv
// reads. Exits 0 when the document is well-formed.
//
//   pnconv_expat_floor FILE
#include <expat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

void XMLCALL Start(void*, const char*, const char**) {}
void XMLCALL End(void*, const char*) {}
void XMLCALL Text(void*, const char*, int) {}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 1;
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetElementHandler(parser, Start, End);
  XML_SetCharacterDataHandler(parser, Text);
  constexpr int kChunk = 1 << 20;
  int status = 0;
  for (;;) {
    void* buf = XML_GetBuffer(parser, kChunk);
    const ssize_t n = buf != nullptr ? read(fd, buf, kChunk) : -1;
    if (n < 0 || XML_ParseBuffer(parser, static_cast<int>(n), n == 0) != XML_STATUS_OK) {
      status = 1;
      break;
    }
    if (n == 0) break;
  }
  XML_ParserFree(parser);
  close(fd);
  return status;
}
