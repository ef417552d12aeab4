// The frames in which --update keeps the sections it appends until the whole
// input has been read: each section behind its body's key and its length,
// so that the sections of a body given again can be passed over at the end.
#ifndef QUELVARN_SPOOL_FRAMES_H_
#define QUELVARN_SPOOL_FRAMES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "common/io.h"
#include "io/output_buffer.h"

namespace quelvarn {

/// The bytes it appended to the spool.
std::size_t write_frame(output_buffer& spool, std::uint64_t key, std::string_view section);

/// Reads back what write_frame() wrote, in order.
class frame_reader {
 public:
  /// written: what write_frame() returned, summed, so that a small spool
  /// (the usual one: few bodies are new to a catalogue) is read without a
  /// large buffer.
  frame_reader(byte_source& spool, std::size_t written);

  /// The next frame, valid until the following call; false at the end.
  /// Throws read_error when the spool ends inside a frame.
  bool next(std::uint64_t& key, std::string_view& section);

 private:
  // At least n bytes from begin_, or false at the end of the spool.
  bool have(std::size_t n);

  byte_source& spool_;
  std::size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace quelvarn

#endif  // QUELVARN_SPOOL_FRAMES_H_
