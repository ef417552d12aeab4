// The lines of a catalogue in the planetarium's INI syntax, as its own
// parser reads them: headers, key lines and the rest, with their line ends.
#ifndef QUELVARN_INI_LINES_H_
#define QUELVARN_INI_LINES_H_

#include <cstddef>
#include <string_view>

namespace quelvarn {

/// What the planetarium's parser makes of one line. A key line whose value
/// is empty is ignored by the planetarium, but it is still that key to an
/// update: its value is filled in place rather than the key added again.
struct ini_line {
  enum kind { other, header, key } kind = other;
  std::string_view name;  // the section name, or the key
  /// The value's place in the line (key lines): from its first to its last
  /// non-blank character before any comment; for an empty value, where it
  /// would begin.
  std::size_t value_begin = 0;
  std::size_t value_end = 0;
  std::size_t key_begin = 0;
  std::size_t equals = 0;
  bool has_value() const { return value_end > value_begin; }
};

/// "#" starts a comment anywhere; the rest is trimmed; "[name]" is a header
/// and "key = value" a key line when the key is not empty.
ini_line classify(std::string_view content);

/// One line and its end: LF, CR LF or a lone CR, as the planetarium splits
/// lines; the last line may have none.
struct raw_line {
  std::string_view content;
  std::string_view end;
  std::size_t next = 0;  // offset of the following line
};
raw_line line_at(std::string_view text, std::size_t pos);

/// Whether a file's bytes can be a catalogue the planetarium reads: text
/// without NUL bytes (a file saved as UTF-16, which it ignores, has them),
/// neither gzip nor zip, and with a header or a key line in its first 64 KiB,
/// unless it holds nothing but blanks and line ends.
bool reads_as_catalogue(std::string_view text);

}  // namespace quelvarn

#endif  // QUELVARN_INI_LINES_H_
