// Splits a byte stream into text lines, in bounded memory.
#ifndef QUELVARN_LINE_READER_H_
#define QUELVARN_LINE_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "common/io.h"

namespace quelvarn {

/// A source whose bytes already lie in blocks of its own, which it lends out
/// so that they are read where they lie rather than copied.
class block_source : public byte_source {
 public:
  /// The rest of the stream's next block, valid until the following call (or
  /// read()); empty only at the end of the stream. Throws read_error.
  virtual std::string_view next_block() = 0;
};

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
/// without line ends cannot make memory grow. The blocks of a block_source
/// are read in place: only a line that spans two of them is copied.
class line_reader {
 public:
  static constexpr std::size_t kMaxLineLength = 64 * 1024UL;

  explicit line_reader(byte_source& source, std::size_t block_size = 1 << 20);

  /// The next line, valid until the following call; false at the end of the
  /// stream. Throws read_error.
  bool next(text_line& line);

 private:
  bool fill();
  bool fill_lent();
  void grow(std::size_t kept);
  void skip_rest_of_line();

  byte_source& source_;
  block_source* lender_;  // the same source, when it lends its blocks
  std::size_t most_;      // what buffer_ may grow to
  std::size_t capacity_;  // what it holds now
  std::unique_ptr<char[]> buffer_;
  // The bytes being searched for lines: part of buffer_, or of a lent block.
  const char* data_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::string_view lent_rest_;  // what the window on buffer_ has not taken yet
  bool at_end_ = false;
  std::uint64_t number_ = 0;
  bool rest_pending_ = false;  // the last line was too long; its rest is unread
};

}  // namespace quelvarn

#endif  // QUELVARN_LINE_READER_H_
