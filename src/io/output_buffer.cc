// Output in large blocks, written by whichever thread has time.
#include "io/output_buffer.h"

#include <cstring>

#include "platform/platform.h"

namespace quelvarn {
namespace {

// Enough blocks that the formatter rarely waits for the writer, few enough
// that memory stays small.
constexpr std::size_t kBlocks = 4;
// Shared writers run when they find time, so more blocks wait for them.
constexpr std::size_t kSharedBlocks = 8;
// A filler that wrote only once it had run out of blocks often found the
// other thread writing, and waited for it (30-45 ms of a 400 ms .gz run).
// Writing while a few blocks are still free lets it fill those instead.
constexpr std::size_t kFreeBlocksKept = 3;

std::size_t block_count(block_writer writer) {
  switch (writer) {
    case block_writer::thread:
      return kBlocks;
    case block_writer::caller:
      return 1;
    case block_writer::shared:
      break;
  }
  return kSharedBlocks;
}

// A buffer written by its caller is for small outputs (tests, fuzzing,
// scratch work): a smaller block costs less to make.
std::size_t block_size(block_writer writer) {
  return writer == block_writer::caller ? output_buffer::kSmallBlockSize : output_buffer::kBlockSize;
}

}  // namespace

output_buffer::output_buffer(byte_sink& sink, block_writer writer)
    : sink_(sink),
      pipe_(block_count(writer), block_size(writer), writer == block_writer::shared),
      shared_(writer == block_writer::shared) {
  if (writer == block_writer::thread) {
    writer_ = start_quiet_thread([this] {
      while (chunk* c = pipe_.acquire_full()) {
        if (!write_and_release(c)) return;
      }
    });
  }
  next_block();
}

// Left without finish(): the run failed, so what is still queued is dropped.
output_buffer::~output_buffer() {
  stop_writer(false);
  std::lock_guard wait_for_shared_writer(writing_);
}

// A failed write stops the pipe with its error, for the filling thread to
// throw; the block stays taken, as nothing more will be written.
bool output_buffer::write_and_release(chunk* c) {
  try {
    sink_.write(std::string_view(c->data.get(), c->size));
  } catch (...) {
    pipe_.cancel(std::current_exception());
    return false;
  }
  pipe_.release(c);
  return true;
}

bool output_buffer::write_ready_block() {
  if (!shared_) return false;
  std::unique_lock lock(writing_, std::try_to_lock);
  if (!lock) return false;
  chunk* c = pipe_.try_acquire_full();
  return c != nullptr && write_and_release(c);
}

void output_buffer::append(std::string_view text) {
  while (!text.empty()) {
    if (pos_ == end_) next_block();
    std::size_t take = std::min(text.size(), static_cast<std::size_t>(end_ - pos_));
    std::memcpy(pos_, text.data(), take);
    pos_ += take;
    text.remove_prefix(take);
  }
}

void output_buffer::hand_over() {
  if (current_ == nullptr) return;
  current_->size = static_cast<std::size_t>(pos_ - current_->data.get());
  chunk* c = current_;
  current_ = nullptr;
  pos_ = end_ = nullptr;
  if (c->size == 0) {
    pipe_.release(c);
  } else if (writer_.joinable() || shared_) {
    pipe_.push_full(c);
  } else {
    sink_.write(std::string_view(c->data.get(), c->size));
    pipe_.release(c);
  }
}

void output_buffer::next_block() {
  hand_over();
  // With shared writers, a filler that runs short of blocks writes one itself,
  // and waits only when none is left while another thread is writing.
  if (shared_ && pipe_.full_count() + kFreeBlocksKept >= kSharedBlocks) write_ready_block();
  current_ = pipe_.try_acquire_free();
  while (current_ == nullptr && shared_ && write_ready_block()) current_ = pipe_.try_acquire_free();
  if (current_ == nullptr) current_ = pipe_.acquire_free();
  if (current_ == nullptr) std::rethrow_exception(pipe_.error());
  pos_ = current_->data.get();
  end_ = pos_ + pipe_.capacity();
}

void output_buffer::finish() {
  hand_over();
  if (shared_) {
    std::lock_guard lock(writing_);
    while (chunk* c = pipe_.try_acquire_full()) {
      if (!write_and_release(c)) break;
    }
  }
  stop_writer(true);
  if (std::exception_ptr error = pipe_.error()) std::rethrow_exception(error);
}

void output_buffer::stop_writer(bool drain) {
  if (!writer_.joinable()) return;
  if (drain) {
    pipe_.finish();
  } else {
    pipe_.cancel();
  }
  writer_.join();
}

}  // namespace quelvarn
