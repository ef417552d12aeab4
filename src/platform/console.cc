// Console lines made safe to show, written whole.
#include "platform/console.h"

#include <charconv>

#include "platform/status_line.h"

namespace quelvarn {

std::string decimal(std::uint64_t n) {
  char digits[24];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

namespace {

// The length of the UTF-8 sequence at the start of text that encodes a
// printable character, or 0.
std::size_t printable_sequence(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  if (lead < 0x80) return lead >= 0x20 && lead != 0x7f ? 1 : 0;
  std::size_t size = lead >= 0xc2 && lead <= 0xdf   ? 2
                     : lead >= 0xe0 && lead <= 0xef ? 3
                     : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                    : 0;
  if (size == 0 || text.size() < size) return 0;
  for (std::size_t i = 1; i < size; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return 0;
  }
  // Overlong forms, surrogates, values past U+10FFFF and the C1 controls.
  if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) > 0x9f) || (lead == 0xf0 && byte(1) < 0x90) ||
      (lead == 0xf4 && byte(1) > 0x8f) || (lead == 0xc2 && byte(1) < 0xa0)) {
    return 0;
  }
  return size;
}

}  // namespace

std::string printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    std::size_t size = printable_sequence(text);
    shown.append(size == 0 ? std::string_view("?") : text.substr(0, size));
    text.remove_prefix(size == 0 ? 1 : size);
  }
  return shown;
}

void console::say(std::string_view line) {
  if (!to_) return;
  // Paths and record fields are echoed: an escape sequence in them must not
  // reach the user's terminal. A console that has gone away must not stop
  // the conversion; it is only remembered, for the runs whose whole purpose
  // is what they print.
  if (!write_line_below_status(*to_, printable(line))) failed_ = true;
}

}  // namespace quelvarn
