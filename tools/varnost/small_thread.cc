// SPDX-License-Identifier: MIT
#include "small_thread.h"

#include <utility>

namespace varnost {

SmallThread::SmallThread(std::function<void()> body) : body_(std::move(body)), stack_(kStack, true) {
  if (!stack_.ok()) return;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return;
  started_ = pthread_attr_setstack(&attr, stack_.data(), stack_.size()) == 0 &&
             pthread_create(&thread_, &attr, &SmallThread::Run, this) == 0;
  pthread_attr_destroy(&attr);
}

SmallThread::~SmallThread() {
  if (started_) pthread_join(thread_, nullptr);
}

void* SmallThread::Run(void* self) {
  static_cast<SmallThread*>(self)->body_();
  return nullptr;
}

}  // namespace varnost
