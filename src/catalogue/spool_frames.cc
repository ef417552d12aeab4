// The frames of --update's scratch file, written and read back.
#include "catalogue/spool_frames.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quelvarn {
namespace {

// The body's key, then the section's length, in the machine's own byte
// order: the spool never leaves the run that wrote it.
constexpr std::size_t kFrameSize = sizeof(std::uint64_t) + sizeof(std::uint32_t);
constexpr std::size_t kLargestRead = 64 << 10;

}  // namespace

std::size_t write_frame(output_buffer& spool, std::uint64_t key, std::string_view section) {
  auto size = static_cast<std::uint32_t>(section.size());
  char frame[kFrameSize];
  std::memcpy(frame, &key, sizeof key);
  std::memcpy(frame + sizeof key, &size, sizeof size);
  spool.append(std::string_view(frame, sizeof frame));
  spool.append(section);
  return sizeof frame + section.size();
}

frame_reader::frame_reader(byte_source& spool, std::size_t written)
    : spool_(spool),
      capacity_(std::clamp(written, kFrameSize, kLargestRead)),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity_)) {}

bool frame_reader::have(std::size_t n) {
  if (end_ - begin_ >= n) return true;
  std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  if (capacity_ < n) {
    auto larger = std::make_unique_for_overwrite<char[]>(n);
    std::memcpy(larger.get(), buffer_.get(), end_);
    buffer_ = std::move(larger);
    capacity_ = n;
  }
  while (end_ < n) {
    std::size_t got = spool_.read(buffer_.get() + end_, capacity_ - end_);
    if (got == 0) return false;
    end_ += got;
  }
  return true;
}

bool frame_reader::next(std::uint64_t& key, std::string_view& section) {
  if (!have(kFrameSize)) {
    if (end_ > begin_) throw read_error("scratch file cut short");
    return false;
  }
  std::uint32_t size = 0;
  std::memcpy(&key, buffer_.get() + begin_, sizeof key);
  std::memcpy(&size, buffer_.get() + begin_ + sizeof key, sizeof size);
  begin_ += kFrameSize;
  if (!have(size)) throw read_error("scratch file cut short");
  section = std::string_view(buffer_.get() + begin_, size);
  begin_ += size;
  return true;
}

}  // namespace quelvarn
