// SPDX-License-Identifier: MIT
// Real failures of chosen system calls, for tests of the paths that handle
// them: a seccomp filter makes the kernel refuse the call with a chosen
// error, in the calling process and every program it starts afterwards.
// Meant for a child that is about to run the program under test.
#ifndef QUARNEL_TESTS_COMMON_FAILING_CALL_H
#define QUARNEL_TESTS_COMMON_FAILING_CALL_H

#include <cstdint>

namespace qxtest {

struct FailingCall {
  long number;          // the system call (__NR_...)
  int error;            // the errno it fails with
  int argument = -1;    // when >= 0, only calls whose argument number
  uint32_t bits = 0;    // `argument` has all these bits set fail
};

// Installs the filter for this process; false when the system refuses it.
bool FailCalls(const FailingCall& call);

}  // namespace qxtest

#endif
