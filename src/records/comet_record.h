// The comet record: one line of the MPC's comet file (CometEls.txt), its
// columns, checks, identity, section and what an update changes with it.
#ifndef QUELVARN_COMET_RECORD_H_
#define QUELVARN_COMET_RECORD_H_

#include <optional>
#include <string>
#include <string_view>

#include "records/record_format.h"
#include "records/selection.h"

namespace quelvarn {

/// Why a comet line cannot become a section the planetarium loads: "too
/// short" (it ends before the name), "bad designation" (columns 1-12 are not
/// a comet's designation, or the name in 103-158 is empty, holds a control
/// byte or "#", or gives no usable section name) or "bad elements" (a field
/// that is not a number or not blank where the layout wants one, a date that
/// does not exist, q <= 0 or e < 0). Empty when the line is fine.
std::string_view comet_line_problem(std::string_view line);

/// The section of a line that comet_line_problem() accepts. Any other line
/// gives what its fields allow, never a read past its end. `current` leaves
/// out coord_func and gives every comet but a numbered periodic one an
/// iau_designation.
std::string comet_section_text(std::string_view line, section_layout layout = section_layout::classic);

/// What the selection and --update know a comet line by: its designation
/// and name as printed, the name alone, its periodic and provisional
/// designations, and H.
body_identity comet_body_identity(std::string_view line);

/// What tells one comet from another, for selecting comets and for finding
/// them in a catalogue that already holds them. Views point into the line.
struct comet_identity {
  /// "12P" for a numbered periodic comet ("332P-B" for a fragment); empty
  /// otherwise.
  std::string periodic;
  /// The provisional designation unpacked, "C/2023 A3", "P/2013 R3-A";
  /// empty when the line has none.
  std::string provisional;
  /// Columns 103-158 trimmed: "C/2023 A3 (Tsuchinshan-ATLAS)", "12P/Pons-Brooks".
  std::string_view name;
  /// H as printed, trimmed; empty when blank.
  std::string_view magnitude;
};
comet_identity identify_comet(std::string_view line);

/// What a comet's new elements change in a section that holds it: its
/// orbit keys, H and slope replaced, and the keys that would take
/// precedence over them removed.
const update_keys& comet_update_keys();

/// The comet record in the shape the record loop takes (record_format.h).
struct comet_record {
  /// The section at room, or why the line is skipped (comet_line_problem()).
  template <section_layout Layout>
  static skip_reason write(std::string_view line, char* room, char*& end) {
    return write_section(line, Layout, room, end);
  }
  static skip_reason write_section(std::string_view line, section_layout layout, char* room, char*& end);
  static body_identity identity(std::string_view line) { return comet_body_identity(line); }
  static const update_keys& keys() { return comet_update_keys(); }
};

}  // namespace quelvarn

#endif  // QUELVARN_COMET_RECORD_H_
