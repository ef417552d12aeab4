// Large-block output, written while the next block is being filled.
#ifndef QUELVARN_OUTPUT_BUFFER_H_
#define QUELVARN_OUTPUT_BUFFER_H_

#include <cstddef>
#include <mutex>
#include <string_view>
#include <thread>

#include "common/io.h"
#include "io/chunk_pipe.h"

namespace quelvarn {

/// Who writes the full blocks.
enum class block_writer {
  thread,  // a thread of the buffer's own
  caller,  // the caller, as each block fills: no threads (fuzzers, tests)
  shared,  // any thread with time to spare, through write_ready_block()
};

/// Collects the catalogue in large blocks and hands each full block to
/// another thread to write, so that formatting the next block overlaps the
/// write system calls of the last one. Blocks are written in the order they
/// were filled, whichever thread writes them. Lines are deliberately not
/// flushed one by one: the file is not visible under its name before the run
/// succeeds anyway.
class output_buffer {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;
  static constexpr std::size_t kSmallBlockSize = 4 << 10;  // block_writer::caller

  explicit output_buffer(byte_sink& sink, block_writer writer = block_writer::thread);
  ~output_buffer();
  output_buffer(const output_buffer&) = delete;
  output_buffer& operator=(const output_buffer&) = delete;

  /// Room for at least n bytes (n at most kSmallBlockSize); fill it and pass the
  /// end of what was written to commit().
  char* reserve(std::size_t n) {
    if (static_cast<std::size_t>(end_ - pos_) < n) next_block();
    return pos_;
  }
  void commit(char* end) { pos_ = end; }

  void append(std::string_view text);

  /// Writes what is left and waits for the writer. Throws write_error.
  /// A buffer its caller writes (block_writer::caller) takes more after it,
  /// so that one made once serves many small outputs.
  void finish();

  /// block_writer::shared: writes the oldest full block, from any thread,
  /// unless none is waiting or another thread is writing one; whether it did.
  /// A write error is kept for the filling thread, which throws it.
  bool write_ready_block();

 private:
  void next_block();
  void hand_over();
  bool write_and_release(chunk* c);
  void stop_writer(bool drain);

  byte_sink& sink_;
  chunk_pipe pipe_;
  std::thread writer_;
  bool shared_;
  // Held while a shared block is written, so that blocks go out in order.
  std::mutex writing_;
  chunk* current_ = nullptr;
  char* pos_ = nullptr;
  char* end_ = nullptr;
};

}  // namespace quelvarn

#endif  // QUELVARN_OUTPUT_BUFFER_H_
