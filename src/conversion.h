// The record loop: catalogue lines in, sections and progress messages out.
#ifndef QUELVARN_CONVERSION_H_
#define QUELVARN_CONVERSION_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue_update.h"
#include "line_reader.h"
#include "output_buffer.h"
#include "platform.h"
#include "selection.h"

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

/// Reads the first line and tells whether it is a catalogue's title line.
/// Only the first 64 KiB of the line are searched.
bool read_title(line_reader& lines);

struct conversion_counts {
  /// Non-empty lines after the header, converted or not. 64 bits: the
  /// catalogue grows, and a count that wraps would misreport silently.
  std::uint64_t records = 0;
  std::uint64_t skipped = 0;
  /// Records fit to convert, selected or not. None at all means the input
  /// was no catalogue.
  std::uint64_t converted = 0;
  /// Records that passed the selection and were written or merged.
  std::uint64_t selected = 0;
};

/// Skips the rest of the header, then converts every non-empty line that
/// passes the selection (every line without one), announcing progress and
/// skipped lines on the console.
conversion_counts convert_records(line_reader& lines, output_buffer& out, console& con, selection* select = nullptr);

/// The same, merging the sections into a catalogue instead.
conversion_counts update_records(line_reader& lines, catalogue_update& update, console& con, selection* select);

}  // namespace quelvarn

#endif  // QUELVARN_CONVERSION_H_
