// SPDX-License-Identifier: MIT
// A memory limit kept by the test program itself, so that it binds to the
// byte and under the sanitizers too: while counting, every operator new and
// every mmap of the process is counted, and a block of at least the given
// size that would take the bytes in use past the limit is refused
// (std::bad_alloc, or ENOMEM as the kernel gives under an address space
// limit). Smaller blocks are counted but never refused. Meant for children
// of the test (qxtest::RunInChild), one limit per child.
#ifndef VARNOST_TESTS_MEMORY_COUNTED_MEMORY_H
#define VARNOST_TESTS_MEMORY_COUNTED_MEMORY_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace memtest {

// Counts from now on, from zero bytes in use, refusing blocks of refuseFrom
// bytes or more past limit; forgets the marks of an earlier count.
void StartCounting(int64_t limit, size_t refuseFrom);
void StopCounting();
// The bytes in use just after each block that could have been refused was
// taken, in the order taken (at most a few thousand). Call after StopCounting.
std::vector<int64_t> Marks();

}  // namespace memtest

#endif
