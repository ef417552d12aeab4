// The record loop: lines in, sections and progress messages out.
#include "run/conversion.h"

#include <charconv>
#include <string>

#include "catalogue/catalogue_update.h"
#include "catalogue/identity_set.h"
#include "io/line_reader.h"
#include "io/output_buffer.h"
#include "platform/console.h"
#include "records/comet_record.h"
#include "records/mpcorb_record.h"
#include "records/selection.h"
#include "run/input_kind.h"

namespace quelvarn {
namespace {

// The title line and 42 more.
constexpr int kHeaderLines = 43;
constexpr std::uint64_t kProgressInterval = 10000;
// A file of nothing but bad lines must not flood the terminal.
constexpr std::uint64_t kShownSkips = 100;

}  // namespace

input_kind recognise_input(line_reader& lines, text_line& first) {
  if (!lines.next(first)) return input_kind::bad;
  // What Windows editors put before the text: no part of the first line.
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  if (first.text.starts_with(kUtf8Mark)) first.text.remove_prefix(kUtf8Mark.size());
  if (is_title_line(first.text)) return input_kind::mpcorb;
  while (first.text.empty()) {
    if (!lines.next(first)) return input_kind::bad;
  }
  return first.too_long ? input_kind::bad : kind_from_first_record(first.text);
}

namespace {

// The record loop, one instance per format, whose functions it calls
// directly. room() gives where a record's section is written; take() keeps
// it if its record is selected, and tells whether it was. `line` holds the
// first line to convert when have_line is set.
template <typename Format, section_layout Layout, typename Room, typename Take>
void record_loop(line_reader& lines, text_line& line, bool have_line, console& con, conversion_counts& counts,
                 Room room, Take take) {
  while (have_line || lines.next(line)) {
    have_line = false;
    if (line.text.empty()) continue;
    ++counts.records;
    if (counts.records % kProgressInterval == 0) con.say(" Processing line: " + decimal(counts.records));

    char* section = room();
    char* end = nullptr;
    skip_reason skip =
        line.too_long ? skip_reason{"too long"} : Format::template write<Layout>(line.text, section, end);
    if (skip.fine()) {
      ++counts.converted;
      if (take(line.text, section, end)) ++counts.selected;
    } else if (++counts.skipped <= kShownSkips) {
      con.say(" Skipped line " + decimal(line.number) + ": " + std::string(skip.reason) + std::string(skip.field));
    } else if (counts.skipped == kShownSkips + 1) {
      con.say(" Further skipped lines are not shown.");
    }
  }
}

// A loop for each layout, so that the choice costs nothing per record.
template <typename Format, typename Room, typename Take>
void record_loop(line_reader& lines, text_line& line, bool have_line, section_layout layout, console& con,
                 conversion_counts& counts, Room room, Take take) {
  if (layout == section_layout::current) {
    record_loop<Format, section_layout::current>(lines, line, have_line, con, counts, room, take);
  } else {
    record_loop<Format, section_layout::classic>(lines, line, have_line, con, counts, room, take);
  }
}

// Every record of the input, after MPCORB's header, in its format.
template <typename Room, typename Take>
conversion_counts records_of(line_reader& lines, input_kind kind, text_line& first, section_layout layout, console& con,
                             Room room, Take take) {
  conversion_counts counts;
  switch (kind) {
    case input_kind::mpcorb:
      for (int i = 1; i < kHeaderLines && lines.next(first); ++i) {
      }
      record_loop<mpcorb_record>(lines, first, false, layout, con, counts, room, take);
      break;
    case input_kind::minor_planets:
      record_loop<mpcorb_record>(lines, first, true, layout, con, counts, room, take);
      break;
    case input_kind::comets:
      record_loop<comet_record>(lines, first, true, layout, con, counts, room, take);
      break;
    case input_kind::bad:
      break;
  }
  return counts;
}

template <typename Format>
bool selected(selection* select, std::string_view line) {
  return select == nullptr || (select->passes(Format::identity(line)) && select->take());
}

// --update: a body the selection passes, and with --existing only one the
// catalogue holds, is merged.
template <typename Format>
bool merged(catalogue_update& update, selection* select, std::string_view line, std::string_view section) {
  body_identity body = Format::identity(line);
  if (select != nullptr && !select->passes(body)) return false;
  if (select != nullptr && select->existing_only() && !update.holds(body, section)) return false;
  if (select != nullptr && !select->take()) return false;
  update.add(body, section, Format::keys());
  return true;
}

// "name" of a section's "[name]" line.
std::string_view section_name(const char* section, const char* end) {
  std::string_view text(section, static_cast<std::size_t>(end - section));
  return text.substr(1, text.find(']') - 1);
}

}  // namespace

// Past the number that decides the size note every name counts as a body
// without being looked at, so a whole MPCORB costs no more than before.
conversion_counts convert_records(line_reader& lines, input_kind kind, text_line& first, output_buffer& out,
                                  console& con, selection* select, section_layout layout) {
  auto room = [&] { return out.reserve(kMaxSectionSize); };
  name_tally bodies(kBodiesLoadedQuickly + 1);
  conversion_counts counts =
      records_of(lines, kind, first, layout, con, room, [&](std::string_view line, char* section, char* end) {
        bool chosen =
            kind == input_kind::comets ? selected<comet_record>(select, line) : selected<mpcorb_record>(select, line);
        if (!chosen) return false;
        if (bodies.looking()) {
          bodies.add(section_name(section, end));
        } else {
          bodies.add_without_looking();
        }
        out.commit(end);
        return true;
      });
  counts.bodies = bodies.count();
  return counts;
}

conversion_counts update_records(line_reader& lines, input_kind kind, text_line& first, catalogue_update& update,
                                 console& con, selection* select, section_layout layout) {
  char buffer[kMaxSectionSize];
  return records_of(
      lines, kind, first, layout, con, [&] { return buffer; },
      [&](std::string_view line, char* section, char* end) {
        std::string_view text(section, static_cast<std::size_t>(end - section));
        return kind == input_kind::comets ? merged<comet_record>(update, select, line, text)
                                          : merged<mpcorb_record>(update, select, line, text);
      });
}

}  // namespace quelvarn
