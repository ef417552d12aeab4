// Large-block output, written by a thread of its own.
#ifndef QUELVARN_OUTPUT_BUFFER_H_
#define QUELVARN_OUTPUT_BUFFER_H_

#include <cstddef>
#include <string_view>
#include <thread>

#include "chunk_pipe.h"
#include "io.h"

namespace quelvarn {

/// Collects the catalogue in large blocks and hands each full block to a
/// writer thread, so that formatting the next block overlaps the write system
/// calls of the last one. Lines are deliberately not flushed one by one: the
/// file is not visible under its name before the run succeeds anyway.
class output_buffer {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;

  /// threaded = false writes each block on the caller's thread; for callers
  /// such as fuzzers that want no threads.
  explicit output_buffer(byte_sink& sink, bool threaded = true);
  ~output_buffer();
  output_buffer(const output_buffer&) = delete;
  output_buffer& operator=(const output_buffer&) = delete;

  /// Room for at least n bytes (n at most kBlockSize); fill it and pass the
  /// end of what was written to commit().
  char* reserve(std::size_t n) {
    if (static_cast<std::size_t>(end_ - pos_) < n) next_block();
    return pos_;
  }
  void commit(char* end) { pos_ = end; }

  void append(std::string_view text);

  /// Writes what is left and waits for the writer. Throws write_error.
  void finish();

 private:
  void next_block();
  void hand_over();
  void stop_writer(bool drain);

  byte_sink& sink_;
  chunk_pipe pipe_;
  std::thread writer_;
  chunk* current_ = nullptr;
  char* pos_ = nullptr;
  char* end_ = nullptr;
};

}  // namespace quelvarn

#endif  // QUELVARN_OUTPUT_BUFFER_H_
