// Byte streams in and out: the few that need no system.
#include "common/io.h"

#include <algorithm>
#include <cstring>

namespace quelvarn {

void crlf_sink::write(std::string_view data) {
  converted_.clear();
  converted_.reserve(data.size() + data.size() / 16);
  for (std::size_t nl; (nl = data.find('\n')) != std::string_view::npos; data.remove_prefix(nl + 1)) {
    converted_.append(data.substr(0, nl)).append("\r\n");
  }
  converted_.append(data);
  inner_.write(converted_);
}

std::size_t memory_source::read(char* buf, std::size_t n) {
  std::size_t take = std::min(n, data_.size());
  if (take > 0) std::memcpy(buf, data_.data(), take);
  data_.remove_prefix(take);
  return take;
}

}  // namespace quelvarn
