// SPDX-License-Identifier: MIT
// A thread with a small stack of its own, for the reader's workers: they call
// nothing deep, and a default stack (8 MiB of address space each) would count
// against a memory limit that the net itself fits. The stack is given back to
// the system when the thread is joined, never kept in a cache.
#ifndef VARNOST_SMALL_THREAD_H
#define VARNOST_SMALL_THREAD_H

#include <pthread.h>

#include <functional>

#include "mapped_block.h"

namespace varnost {

class SmallThread {
 public:
  // Starts `body` in a new thread; started() is false when the stack or the
  // thread could not be had (body then never runs).
  explicit SmallThread(std::function<void()> body);
  // Joins the thread.
  ~SmallThread();
  SmallThread(const SmallThread&) = delete;
  SmallThread& operator=(const SmallThread&) = delete;

  bool started() const { return started_; }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The sanitizers' instrumented frames are several times larger.
  static constexpr size_t kStack = size_t{1} << 20;
#else
  static constexpr size_t kStack = size_t{256} << 10;
#endif

 private:
  static void* Run(void* self);

  std::function<void()> body_;
  MappedBlock stack_;
  pthread_t thread_{};
  bool started_ = false;
};

}  // namespace varnost

#endif
