#include "chunk_pipe.h"

namespace quelvarn {

chunk_pipe::chunk_pipe(std::size_t count, std::size_t capacity) : capacity_(capacity), storage_(count) {
  for (chunk& c : storage_) {
    c.data = std::make_unique_for_overwrite<char[]>(capacity);
    free_.push_back(&c);
  }
}

chunk* chunk_pipe::acquire_free() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return cancelled_ || !free_.empty(); });
  if (cancelled_) return nullptr;
  chunk* c = free_.front();
  free_.pop_front();
  c->size = 0;
  return c;
}

void chunk_pipe::push_full(chunk* c) {
  update([&] { full_.push_back(c); });
}

void chunk_pipe::finish(const std::exception_ptr& error) {
  update([&] {
    finished_ = true;
    if (error && !error_) error_ = error;
  });
}

chunk* chunk_pipe::acquire_full() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return cancelled_ || finished_ || !full_.empty(); });
  if (cancelled_ || full_.empty()) return nullptr;
  chunk* c = full_.front();
  full_.pop_front();
  return c;
}

void chunk_pipe::release(chunk* c) {
  update([&] { free_.push_back(c); });
}

void chunk_pipe::cancel(const std::exception_ptr& error) {
  update([&] {
    cancelled_ = true;
    if (error && !error_) error_ = error;
  });
}

std::exception_ptr chunk_pipe::error() {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace quelvarn
