// Fixed blocks handed between two threads, in order.
#include "io/chunk_pipe.h"

#include <chrono>
#include <thread>

namespace quelvarn {
namespace {

// A sleeping thread takes tens of microseconds to wake, more on a virtual
// machine, which is as long as a block takes to come; looking again for a
// little longer than that costs less than the idle core.
constexpr std::chrono::microseconds kEagerWait{300};

}  // namespace

chunk_pipe::chunk_pipe(std::size_t count, std::size_t capacity, bool eager)
    : capacity_(capacity), eager_(eager && std::thread::hardware_concurrency() > 1), storage_(count) {
  free_.reserve(count);
  full_.reserve(count);
  for (chunk& c : storage_) {
    c.data = std::make_unique_for_overwrite<char[]>(capacity);
    free_.push_back(&c);
  }
}

template <typename Ready>
void chunk_pipe::wait(std::unique_lock<std::mutex>& lock, Ready ready) {
  if (eager_ && !ready()) {
    auto until = std::chrono::steady_clock::now() + kEagerWait;
    do {
      lock.unlock();
      std::this_thread::yield();
      lock.lock();
    } while (!ready() && std::chrono::steady_clock::now() < until);
  }
  changed_.wait(lock, ready);
}

chunk* chunk_pipe::take_free() {
  if (cancelled_ || free_.empty()) return nullptr;
  chunk* c = free_.front();
  free_.erase(free_.begin());
  c->size = 0;
  return c;
}

chunk* chunk_pipe::take_full() {
  if (cancelled_ || full_.empty()) return nullptr;
  chunk* c = full_.front();
  full_.erase(full_.begin());
  return c;
}

chunk* chunk_pipe::acquire_free() {
  std::unique_lock lock(mutex_);
  wait(lock, [&] { return cancelled_ || !free_.empty(); });
  return take_free();
}

chunk* chunk_pipe::try_acquire_free() {
  std::lock_guard lock(mutex_);
  return take_free();
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
  wait(lock, [&] { return cancelled_ || finished_ || !full_.empty(); });
  return take_full();
}

chunk* chunk_pipe::try_acquire_full() {
  std::lock_guard lock(mutex_);
  return take_full();
}

std::size_t chunk_pipe::full_count() {
  std::lock_guard lock(mutex_);
  return full_.size();
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
