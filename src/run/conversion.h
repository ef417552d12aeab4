// The record loop: catalogue lines in, sections and progress messages out.
#ifndef QUELVARN_CONVERSION_H_
#define QUELVARN_CONVERSION_H_

#include <cstdint>

#include "records/record_format.h"

namespace quelvarn {

class catalogue_update;
class console;
class line_reader;
class output_buffer;
class selection;
struct text_line;
enum class input_kind;

/// Reads the first lines and tells what kind of file they begin: MPCORB's
/// title on the first line (only its first 64 KiB are searched), or else
/// the first non-empty line, which then stays in `first` to be converted.
input_kind recognise_input(line_reader& lines, text_line& first);

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
  /// The bodies among the sections written (plain conversion only): their
  /// distinct names, counted exactly up to kBodiesLoadedQuickly + 1 (see
  /// name_tally).
  std::uint64_t bodies = 0;
};

/// Converts every non-empty line as its kind of file wants (for MPCORB after
/// the rest of its header; for the others from `first` on, as
/// recognise_input() left it) that passes the selection (every line without
/// one), announcing progress and skipped lines on the console. Selection
/// applies to minor planets; comet lines are all converted. Sections are
/// written in the given layout.
conversion_counts convert_records(line_reader& lines, input_kind kind, text_line& first, output_buffer& out,
                                  console& con, selection* select = nullptr,
                                  section_layout layout = section_layout::classic);

/// The same, merging the sections into a catalogue instead; those it
/// appends are in the given layout.
conversion_counts update_records(line_reader& lines, input_kind kind, text_line& first, catalogue_update& update,
                                 console& con, selection* select, section_layout layout);

}  // namespace quelvarn

#endif  // QUELVARN_CONVERSION_H_
