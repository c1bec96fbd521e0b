// SPDX-License-Identifier: MIT
#include "common/failing_call.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>

#include <vector>

namespace qxtest {

namespace {

#if defined(__x86_64__)
constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
constexpr uint32_t kArch = 0;
#endif

sock_filter Statement(uint16_t code, uint32_t k) { return sock_filter{code, 0, 0, k}; }
sock_filter Jump(uint16_t code, uint32_t k, uint8_t yes, uint8_t no) {
  return sock_filter{code, yes, no, k};
}

}  // namespace

bool FailCalls(const FailingCall& call) {
  if (kArch == 0) return false;
  const uint32_t fail = SECCOMP_RET_ERRNO | (static_cast<uint32_t>(call.error) & SECCOMP_RET_DATA);
  std::vector<sock_filter> program = {
      Statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      Jump(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
      Statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      Statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      Jump(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(call.number), 1, 0),
      Statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  if (call.argument >= 0) {
    // The low 32 bits of the argument (first in memory on little-endian).
    program.push_back(Statement(BPF_LD | BPF_W | BPF_ABS,
                                static_cast<uint32_t>(offsetof(seccomp_data, args) +
                                                      8 * static_cast<unsigned>(call.argument))));
    program.push_back(Statement(BPF_ALU | BPF_AND | BPF_K, call.bits));
    program.push_back(Jump(BPF_JMP | BPF_JEQ | BPF_K, call.bits, 1, 0));
    program.push_back(Statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  }
  program.push_back(Statement(BPF_RET | BPF_K, fail));
  const sock_fprog filter = {static_cast<unsigned short>(program.size()), program.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

}  // namespace qxtest
