// SPDX-License-Identifier: MIT
// How a public operation keeps its error-code contract when the C++ standard
// library runs out of memory: no exception ever crosses the C seam.
#ifndef QUARNEL_SRC_SUPPORT_MEMORY_GUARD_H
#define QUARNEL_SRC_SUPPORT_MEMORY_GUARD_H

#include <new>
#include <type_traits>
#include <utility>

namespace qx {

// Traces "Qx <operation>:memory exhausted". Allocates nothing.
void TraceMemoryExhausted(const char* operation) noexcept;

// The same trace, then sets kQx_MemFullErr.
void ReportMemoryExhausted(const char* operation) noexcept;

// Runs body and returns its result. When body runs out of memory
// (std::bad_alloc), reports it for operation and returns failed instead.
template <typename Body, typename Result = std::invoke_result_t<Body&>>
Result GuardMemory(const char* operation, Body&& body, Result failed) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    ReportMemoryExhausted(operation);
    return failed;
  }
}

// The same for a body without result.
template <typename Body>
void GuardMemory(const char* operation, Body&& body) noexcept {
  try {
    body();
  } catch (const std::bad_alloc&) {
    ReportMemoryExhausted(operation);
  }
}

}  // namespace qx

#endif
