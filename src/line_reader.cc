#include "line_reader.h"

#include <algorithm>
#include <cstring>

namespace quelvarn {
namespace {

// A line of the maximum length with its CR LF; without an LF within this
// many bytes, a line is certainly too long.
constexpr std::size_t kLongestWithEnd = line_reader::kMaxLineLength + 2;

}  // namespace

line_reader::line_reader(byte_source& source, std::size_t block_size)
    : source_(source),
      capacity_(std::max(block_size, kLongestWithEnd) + kLongestWithEnd),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity_)) {}

// Moves the unread rest to the front and reads more after it. False when
// nothing more could be read.
bool line_reader::fill() {
  if (at_end_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  std::size_t got = source_.read(buffer_.get() + end_, capacity_ - end_);
  if (got == 0) {
    at_end_ = true;
    return false;
  }
  end_ += got;
  return true;
}

void line_reader::skip_rest_of_line() {
  for (;;) {
    char* data = buffer_.get();
    auto* nl = static_cast<char*>(std::memchr(data + begin_, '\n', end_ - begin_));
    if (nl != nullptr) {
      begin_ = static_cast<std::size_t>(nl - data) + 1;
      return;
    }
    begin_ = end_ = 0;
    if (!fill()) return;
  }
}

bool line_reader::next(text_line& line) {
  if (rest_pending_) {
    rest_pending_ = false;
    skip_rest_of_line();
  }
  std::size_t scanned = 0;  // bytes already known to hold no LF
  for (;;) {
    char* data = buffer_.get();
    char* start = data + begin_;
    auto* nl = static_cast<char*>(std::memchr(start + scanned, '\n', end_ - begin_ - scanned));
    if (nl != nullptr) {
      auto length = static_cast<std::size_t>(nl - start);
      if (length > 0 && start[length - 1] == '\r') --length;
      line.number = ++number_;
      line.too_long = length > kMaxLineLength;
      line.text = std::string_view(start, std::min(length, kMaxLineLength));
      begin_ = static_cast<std::size_t>(nl - data) + 1;
      return true;
    }
    std::size_t pending = end_ - begin_;
    if (pending >= kLongestWithEnd) {
      // Hand out the head as it lies in the buffer, and drop the rest of the
      // line only on the next call: a caller that has seen enough (the title
      // search, on an endless stream without line ends) never waits for it.
      line.number = ++number_;
      line.too_long = true;
      line.text = std::string_view(start, kMaxLineLength);
      begin_ += kMaxLineLength;
      rest_pending_ = true;
      return true;
    }
    scanned = pending;
    if (!fill()) {
      if (begin_ == end_) return false;
      // The last line has no end; a CR there is not part of one.
      line.number = ++number_;
      line.too_long = pending > kMaxLineLength;
      line.text = std::string_view(data + begin_, std::min(pending, kMaxLineLength));
      begin_ = end_;
      return true;
    }
  }
}

}  // namespace quelvarn
