// The status line drawn in place, and the console lines that clear it first.
#include "platform/status_line.h"

#include <algorithm>
#include <mutex>
#include <string>

namespace quelvarn {
namespace {

// The status line drawn last, and how wide it was (0: none shown). The
// download's thread draws it while the converting thread says its lines.
std::mutex status_mutex;
std::size_t status_width = 0;

void erase_status() {
  if (status_width == 0) return;
  std::string blank(status_width + 2, ' ');
  blank.front() = blank.back() = '\r';
  (void)write_to_terminal(blank);
  status_width = 0;
}

}  // namespace

void show_status(std::string_view text) {
  std::lock_guard lock(status_mutex);
  if (text.empty()) return erase_status();
  std::string line = "\r";
  line.append(text);
  // Blanks over what is left of a longer line drawn before.
  if (text.size() < status_width) line.append(status_width - text.size(), ' ');
  if (write_to_terminal(line)) status_width = std::max(status_width, text.size());
}

bool write_line_below_status(standard_stream to, std::string_view line) {
  std::lock_guard lock(status_mutex);
  erase_status();
  return write_line(to, line);
}

}  // namespace quelvarn
