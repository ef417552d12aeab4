#include "io.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace quelvarn {

std::size_t fd_source::read(char* buf, std::size_t n) {
  for (;;) {
    ssize_t got = ::read(fd_, buf, n);
    if (got > 0) {
      consumed_ += got;
      return static_cast<std::size_t>(got);
    }
    if (got == 0) {
      if (expected_size_ >= 0 && consumed_ < expected_size_) throw read_error("input shrank while being read");
      return 0;
    }
    if (errno != EINTR) throw read_error(std::strerror(errno));
  }
}

void fd_sink::write(std::string_view data) {
  while (!data.empty()) {
    ssize_t put = ::write(fd_, data.data(), data.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      throw write_error(std::strerror(errno));
    }
    if (put == 0) throw write_error("write made no progress");
    data.remove_prefix(static_cast<std::size_t>(put));
  }
}

std::size_t memory_source::read(char* buf, std::size_t n) {
  std::size_t take = std::min(n, data_.size());
  if (take > 0) std::memcpy(buf, data_.data(), take);
  data_.remove_prefix(take);
  return take;
}

}  // namespace quelvarn
