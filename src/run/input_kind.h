// What kind of MPC orbit file the input is, told from its first lines.
#ifndef QUELVARN_INPUT_KIND_H_
#define QUELVARN_INPUT_KIND_H_

#include <string_view>

namespace quelvarn {

enum class input_kind {
  /// Not an orbit file quelvarn reads.
  bad,
  /// MPCORB.DAT: the title line, a header, then minor-planet records.
  mpcorb,
  /// Minor-planet records in MPCORB's layout without its header (NEA.txt,
  /// Distant.txt, Unusual.txt, DAILY.DAT).
  minor_planets,
  /// One comet per line (CometEls.txt).
  comets,
};

/// Whether the line holds MPCORB's title.
bool is_title_line(std::string_view line);

/// The kind of a file without MPCORB's title, from its first non-empty
/// line: only a line that passes every column test of a layout makes the
/// file one of that layout, so that no random text is ever converted.
input_kind kind_from_first_record(std::string_view line);

}  // namespace quelvarn

#endif  // QUELVARN_INPUT_KIND_H_
