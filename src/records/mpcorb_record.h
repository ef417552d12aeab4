// The MPCORB record, as MPCORB.DAT and the MPC's smaller minor-planet files
// lay it out: its columns, checks, identity, section and update keys.
#ifndef QUELVARN_MPCORB_RECORD_H_
#define QUELVARN_MPCORB_RECORD_H_

#include <cstddef>
#include <string_view>

#include "common/text.h"
#include "records/record_format.h"
#include "records/selection.h"

namespace quelvarn {

/// The columns of the record layout that quelvarn reads.
namespace mpcorb_columns {
inline constexpr column kMagnitude{8, 5};  // H, may be blank
inline constexpr column kSlope{14, 5};     // G, may be blank
inline constexpr column kEpoch{20, 5};     // packed
inline constexpr column kMeanAnomaly{26, 9};
inline constexpr column kArgOfPericenter{37, 9};
inline constexpr column kAscendingNode{48, 9};
inline constexpr column kInclination{59, 9};
inline constexpr column kEccentricity{70, 9};
inline constexpr column kMeanMotion{80, 11};
inline constexpr column kSemiMajorAxis{92, 11};
inline constexpr column kFlags{161, 4};         // orbit type and flag bits, hexadecimal
inline constexpr column kDesignation{165, 29};  // "(433) Eros", "2024 YR4"
inline constexpr column kNumber{165, 9};        // "(433)"
inline constexpr column kName{175, 19};         // "Eros", or the provisional designation
}  // namespace mpcorb_columns

/// Shorter record lines do not reach the name column.
inline constexpr std::size_t kShortestRecord = 175;

/// Writes the section for one record into memory with room for
/// kMaxSectionSize bytes, and returns its end: "[name]", the key lines and
/// an empty line. Element columns are copied as text; only the epoch is
/// computed. Any line is accepted; fields beyond its end come out empty.
/// `current` leaves out coord_func, gives a body without a number its name
/// as iau_designation, and writes G (columns 15-19) as slope_parameter
/// unless it is blank.
char* record2section(std::string_view line, char* out, section_layout layout = section_layout::classic);

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
/// nullptr for any other line. The layout is chosen once for a run, not
/// looked at for every record.
template <section_layout Layout = section_layout::classic>
char* writable_record2section(std::string_view line, char* out);
extern template char* writable_record2section<section_layout::classic>(std::string_view line, char* out);
extern template char* writable_record2section<section_layout::current>(std::string_view line, char* out);

/// Upper bound of what record2section() writes for any line.
inline constexpr std::size_t kMaxSectionSize = 1024;

/// Whether a line passes every column test of the record layout: a packed
/// designation in 1-7, numbers (or blanks for H and G) where the layout has
/// numbers and blanks between them, a packed epoch in 21-25 that names a
/// date, and a designation from 166 that makes a usable section.
bool is_minor_planet_record(std::string_view line);

/// What the selection and the catalogue update know a record by.
body_identity minor_planet_identity(std::string_view line);

/// What a record's new elements change in a section of the same body.
const update_keys& minor_planet_update_keys();

/// The record in the shape the record loop takes (record_format.h).
struct mpcorb_record {
  /// The section at room, or why the line is skipped: "too short", "bad
  /// epoch XXXXX" or "bad designation". The checks are made as the section
  /// is written; only a line that fails them is looked at again.
  template <section_layout Layout>
  static skip_reason write(std::string_view line, char* room, char*& end);
  static body_identity identity(std::string_view line) { return minor_planet_identity(line); }
  static const update_keys& keys() { return minor_planet_update_keys(); }
};

extern template skip_reason mpcorb_record::write<section_layout::classic>(std::string_view line, char* room,
                                                                          char*& end);
extern template skip_reason mpcorb_record::write<section_layout::current>(std::string_view line, char* room,
                                                                          char*& end);

/// Writes a Julian Day as printf's "%.10g" would, without the C library's
/// locale look-ups. Returns the end of the text; needs 32 bytes of room.
char* format_julian_day(double day, char* out);

}  // namespace quelvarn

#endif  // QUELVARN_MPCORB_RECORD_H_
