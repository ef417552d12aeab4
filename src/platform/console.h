// The console: whole lines, made safe to show, to standard output or error.
#ifndef QUELVARN_CONSOLE_H_
#define QUELVARN_CONSOLE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quelvarn {

/// The text with every control character and every byte that is not part
/// of valid UTF-8 shown as "?".
std::string printable(std::string_view text);

/// Console lines, each written and flushed as a whole the moment it is said,
/// through printable().
class console {
 public:
  explicit console(standard_stream to) : to_(to) {}
  /// Says nothing (fuzzing, or no stream is free for messages).
  static console silent() { return console(); }
  void say(std::string_view line);
  /// Whether a line could not be written.
  bool failed() const { return failed_; }
  /// Where the lines go; nothing when silent.
  std::optional<standard_stream> stream() const { return to_; }

 private:
  console() = default;
  std::optional<standard_stream> to_;
  bool failed_ = false;
};

/// n in plain decimal, as the console messages print numbers.
std::string decimal(std::uint64_t n);

}  // namespace quelvarn

#endif  // QUELVARN_CONSOLE_H_
