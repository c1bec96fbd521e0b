// SPDX-License-Identifier: MIT
// The frame reader, on a byte stream as it arrives on a descriptor: the input
// (after its first byte, which chooses blocking or non-blocking reads) is
// written into a real pipe whose writing end is then closed, and frames are
// read until the end of the stream.
//
// Oracles: a read never stores more than kQx_MaxMessageLength bytes (the
// buffer has exactly that size, so ASan sees any byte past it), its result is
// a frame length, the end-of-link marker (-2) or a failure (-1), never 0 (the
// writer is gone, so nothing is "not yet waiting"), and the reads end.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <memory>

#include "fuzz_support.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXLink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool async = (data[0] & 1) != 0;
  ++data;
  --size;

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) qxfuzz::Fail("pipe");
  const int capacity = fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
  if (capacity > 0 && size > static_cast<size_t>(capacity)) size = static_cast<size_t>(capacity);
  if (capacity <= 0 && size > 65536) size = 65536;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fds[1], data + done, size - done);
    if (n <= 0) qxfuzz::Fail("cannot fill the pipe");
    done += static_cast<size_t>(n);
  }
  close(fds[1]);

  static std::unique_ptr<char[]> buffer(new char[kQx_MaxMessageLength]);
  // Each read consumes at least the 8-byte length word, or ends the stream.
  for (size_t reads = 0; reads <= size / 8 + 2; ++reads) {
    const int r = async ? QX_Read_Async(fds[0], buffer.get()) : QX_Read_Sync(fds[0], buffer.get());
    if (r > kQx_MaxMessageLength) qxfuzz::Fail("a read reported more than the maximum length");
    if (r == 0 || r < -2) qxfuzz::Fail("a read gave an undefined result");
    if (r == -1) {
      int waiting = 0;
      if (ioctl(fds[0], FIONREAD, &waiting) != 0) qxfuzz::Fail("FIONREAD");
      if (waiting == 0) {
        close(fds[0]);
        return 0;
      }
    }
  }
  qxfuzz::Fail("the reads did not reach the end of the stream");
}
