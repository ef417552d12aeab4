// One MPCORB record line to one section of the minor-body catalogue.
#ifndef QUELVARN_SECTION_WRITER_H_
#define QUELVARN_SECTION_WRITER_H_

#include <cstddef>
#include <string_view>

#include "output_buffer.h"

namespace quelvarn {

/// The text without its leading and trailing blanks, tabs, CRs and LFs.
std::string_view trim(std::string_view text);

/// Writes the section for one record: "[name]", the key lines and an empty
/// line. Element columns are copied as text; only the epoch is computed.
/// Any line is accepted; fields beyond its end come out empty.
void record2section(std::string_view line, output_buffer& out);

/// The same into memory with room for kMaxSectionSize bytes; returns the end.
char* record2section(std::string_view line, char* out);

/// The minor_planet_number of a record line: columns 166-174 without their
/// first "(" and first ")", trimmed; text holds it.
inline constexpr std::size_t kNumberFieldSize = 9;
std::string_view number_field(std::string_view line, char (&text)[kNumberFieldSize]);

/// The packed epoch of a record line (columns 21-25), as far as the line
/// reaches.
std::string_view epoch_field(std::string_view line);

/// Whether the record's section name and name can reach the planetarium
/// intact: a name that is empty, holds "[", "]", "#", "/" or a control byte,
/// or is one the planetarium keeps for itself would merge, split or truncate
/// bodies; a "#" or a control byte in the name value would cut it short.
bool designation_writable(std::string_view line);

/// record2section() into memory for a line whose epoch is readable
/// (epoch_readable()) and whose designation designation_writable() accepts;
/// nullptr for any other line.
char* writable_record2section(std::string_view line, char* out);

/// Upper bound of what record2section() writes for any line.
inline constexpr std::size_t kMaxSectionSize = 1024;

/// Writes a Julian Day as printf's "%.10g" would, without the C library's
/// locale look-ups. Returns the end of the text; needs 32 bytes of room.
char* format_julian_day(double day, char* out);

}  // namespace quelvarn

#endif  // QUELVARN_SECTION_WRITER_H_
