// SPDX-License-Identifier: MIT
// Pieces shared by the fuzz targets: a private scratch directory and whole-file
// writes. Targets write their input into real files and hand the paths to the
// real readers.
#ifndef QUARNEL_FUZZ_FUZZ_SUPPORT_H
#define QUARNEL_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace qxfuzz {

// A directory of this process, created on first use under /dev/shm when it
// exists (memory-backed: no disk traffic per input), else under $TMPDIR or
// /tmp. Removed with its contents when the process exits normally.
const std::string& ScratchDir();

// Writes the bytes as the whole content of path (created or truncated).
// Aborts when the file cannot be written: the target cannot test anything then.
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);

// Whether a matrix file announces a net whose reading would only slow the
// search down: counts that the reader accepts (the machine can hold the net)
// but that make it build millions of nodes, seconds of work and gigabytes each
// under the sanitizers. Counts the reader refuses at once for memory
// (varnost::CountsFitMemory) are kept.
bool TooSlowMatrixNet(const uint8_t* data, size_t size);

// Aborts with the message: an oracle of a target failed.
[[noreturn]] void Fail(const char* what);

}  // namespace qxfuzz

#endif
