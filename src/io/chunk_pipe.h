// A fixed set of byte blocks handed back and forth between two threads.
#ifndef QUELVARN_CHUNK_PIPE_H_
#define QUELVARN_CHUNK_PIPE_H_

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace quelvarn {

struct chunk {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
};

/// Blocks travel from the producer (who fills free ones) to the consumer (who
/// drains full ones and gives them back), so memory stays at count * capacity
/// however long the stream is.
class chunk_pipe {
 public:
  /// eager: a thread that finds nothing to take keeps looking for a moment
  /// before it sleeps. Only for pipes between threads that are both busy
  /// nearly all the time, so that the wait is short and the core would
  /// otherwise stay idle while the sleeper is woken.
  chunk_pipe(std::size_t count, std::size_t capacity, bool eager = false);
  chunk_pipe(const chunk_pipe&) = delete;
  chunk_pipe& operator=(const chunk_pipe&) = delete;

  std::size_t capacity() const { return capacity_; }

  /// Producer: an empty block, or nullptr once the consumer has cancelled.
  chunk* acquire_free();
  /// The same without waiting: nullptr also when none is free yet.
  chunk* try_acquire_free();
  void push_full(chunk* c);
  /// Producer: no more blocks will come; a non-null error reaches the consumer.
  void finish(const std::exception_ptr& error = nullptr);

  /// Consumer: the next full block, or nullptr at the end of the stream.
  chunk* acquire_full();
  /// The same without waiting: nullptr also when none is full yet.
  chunk* try_acquire_full();
  /// How many full blocks wait for the consumer.
  std::size_t full_count();
  void release(chunk* c);
  /// Consumer: stop the producer, recording why.
  void cancel(const std::exception_ptr& error = nullptr);

  /// What went wrong on either side, if anything.
  std::exception_ptr error();

 private:
  // Changes the shared state under the lock and wakes whoever waits on it.
  template <typename Change>
  void update(Change change) {
    {
      std::lock_guard lock(mutex_);
      change();
    }
    changed_.notify_all();
  }

  template <typename Ready>
  void wait(std::unique_lock<std::mutex>& lock, Ready ready);
  chunk* take_free();
  chunk* take_full();

  std::size_t capacity_;
  bool eager_;
  std::vector<chunk> storage_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Queues of at most a handful of blocks: a vector taken from the front
  // costs less to make than a deque, and a pipe is made per output.
  std::vector<chunk*> free_;
  std::vector<chunk*> full_;
  bool finished_ = false;
  bool cancelled_ = false;
  std::exception_ptr error_;
};

}  // namespace quelvarn

#endif  // QUELVARN_CHUNK_PIPE_H_
