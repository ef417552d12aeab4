// Text lines from a byte stream, in bounded memory.
#include "io/line_reader.h"

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
      lender_(dynamic_cast<block_source*>(&source)),
      // Lent blocks need room only for the one line that spans two of them;
      // read blocks, room for the longest line besides the block.
      most_((lender_ != nullptr ? kLongestWithEnd : block_size) + kLongestWithEnd),
      // That room is made when a line needs it: few files have such lines,
      // and a reader is made for every input, however small.
      capacity_(lender_ != nullptr ? 0 : block_size),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity_)),
      data_(buffer_.get()) {}

// The buffer at its full size, keeping its first `kept` bytes.
void line_reader::grow(std::size_t kept) {
  auto larger = std::make_unique_for_overwrite<char[]>(most_);
  std::memcpy(larger.get(), buffer_.get(), kept);
  if (data_ == buffer_.get()) data_ = larger.get();
  buffer_ = std::move(larger);
  capacity_ = most_;
}

// Moves the unread rest to the front and reads more after it. False when
// nothing more could be read.
bool line_reader::fill() {
  if (at_end_) return false;
  if (lender_ != nullptr) return fill_lent();
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == capacity_) grow(end_);
  std::size_t got = source_.read(buffer_.get() + end_, capacity_ - end_);
  if (got == 0) {
    at_end_ = true;
    return false;
  }
  end_ += got;
  return true;
}

// The window moves onto the next lent block when nothing of the current line
// is unread; otherwise that rest goes to the front of buffer_, followed by the
// line's continuation: up to its LF, or as much as buffer_ holds.
bool line_reader::fill_lent() {
  std::size_t pending = end_ - begin_;
  if (pending > 0 && capacity_ == 0) grow(0);
  if (pending > 0) std::memmove(buffer_.get(), data_ + begin_, pending);
  data_ = buffer_.get();
  begin_ = 0;
  end_ = pending;
  if (lent_rest_.empty()) {
    // The block before is handed back here: nothing points into it any more.
    lent_rest_ = lender_->next_block();
    if (lent_rest_.empty()) {
      at_end_ = true;
      return false;
    }
  }
  if (pending == 0) {
    data_ = lent_rest_.data();
    end_ = lent_rest_.size();
    lent_rest_ = {};
    return true;
  }
  std::size_t take = std::min(lent_rest_.size(), capacity_ - end_);
  if (const void* nl = std::memchr(lent_rest_.data(), '\n', take)) {
    take = static_cast<std::size_t>(static_cast<const char*>(nl) - lent_rest_.data()) + 1;
  }
  std::memcpy(buffer_.get() + end_, lent_rest_.data(), take);
  end_ += take;
  lent_rest_.remove_prefix(take);
  return true;
}

void line_reader::skip_rest_of_line() {
  for (;;) {
    const auto* nl = static_cast<const char*>(std::memchr(data_ + begin_, '\n', end_ - begin_));
    if (nl != nullptr) {
      begin_ = static_cast<std::size_t>(nl - data_) + 1;
      return;
    }
    begin_ = end_;
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
    const char* start = data_ + begin_;
    const auto* nl = static_cast<const char*>(std::memchr(start + scanned, '\n', end_ - begin_ - scanned));
    if (nl != nullptr) {
      auto length = static_cast<std::size_t>(nl - start);
      if (length > 0 && start[length - 1] == '\r') --length;
      line.number = ++number_;
      line.too_long = length > kMaxLineLength;
      line.text = std::string_view(start, std::min(length, kMaxLineLength));
      begin_ = static_cast<std::size_t>(nl - data_) + 1;
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
      line.text = std::string_view(data_ + begin_, std::min(pending, kMaxLineLength));
      begin_ = end_;
      return true;
    }
  }
}

}  // namespace quelvarn
