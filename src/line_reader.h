// Splits a byte stream into text lines, in bounded memory.
#ifndef QUELVARN_LINE_READER_H_
#define QUELVARN_LINE_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "io.h"

namespace quelvarn {

struct text_line {
  /// The line without its end (LF, or CR LF). For a line that is too long,
  /// only its first kMaxLineLength bytes.
  std::string_view text;
  /// The line is longer than kMaxLineLength; the rest of it was skipped.
  bool too_long = false;
  /// 1 for the first line of the stream.
  std::uint64_t number = 0;
};

/// Reads lines as a text-mode stream would: LF ends a line, a CR right
/// before it belongs to the line end, and a last line without an end still
/// counts. No line is ever held longer than kMaxLineLength, so a hostile file
/// without line ends cannot make memory grow.
class line_reader {
 public:
  static constexpr std::size_t kMaxLineLength = 64 * 1024UL;

  explicit line_reader(byte_source& source, std::size_t block_size = 1 << 20);

  /// The next line, valid until the following call; false at the end of the
  /// stream. Throws read_error.
  bool next(text_line& line);

 private:
  bool fill();
  void skip_rest_of_line();

  byte_source& source_;
  std::size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
  std::uint64_t number_ = 0;
  bool rest_pending_ = false;  // the last line was too long; its rest is unread
};

}  // namespace quelvarn

#endif  // QUELVARN_LINE_READER_H_
