// The record loop: lines in, sections and progress messages out.
#include "conversion.h"

#include <charconv>
#include <string>

#include "comet_section.h"
#include "packed_epoch.h"
#include "section_writer.h"

namespace quelvarn {
namespace {

// The title line and 42 more.
constexpr int kHeaderLines = 43;
constexpr std::uint64_t kProgressInterval = 10000;
// Shorter record lines do not reach the name column.
constexpr std::size_t kShortestRecord = 175;
// A file of nothing but bad lines must not flood the terminal.
constexpr std::uint64_t kShownSkips = 100;

// Writes the record's section at room and sets end after it, or says why
// the line cannot be converted. The designation is checked as its section
// is written: one pass over it.
std::string convert_record(const text_line& line, char* room, char*& end) {
  if (line.too_long) return "too long";
  if (line.text.size() < kShortestRecord) return "too short";
  std::string_view epoch = epoch_field(line.text);
  if (!epoch_readable(epoch)) return "bad epoch " + std::string(epoch);
  end = writable_record2section(line.text, room);
  if (end == nullptr) return "bad designation";
  return {};
}

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

// A comet line's section is written only once it is selected.
std::string check_comet(const text_line& line, char* /*room*/, char*& /*end*/) {
  return line.too_long ? "too long" : std::string(comet_line_problem(line.text));
}

// The record loop, one instance per layout so that the checks and the writer
// of the hot MPCORB path are called directly. Check says why a line cannot
// be converted, or writes its section at the room that room() gives and sets
// its end; take() keeps the section if its record is selected, and tells
// whether it was. `line` holds the first line to convert when have_line is set.
template <std::string (*Check)(const text_line&, char*, char*&), typename Room, typename Take>
void record_loop(line_reader& lines, text_line& line, bool have_line, console& con, conversion_counts& counts,
                 Room room, Take take) {
  while (have_line || lines.next(line)) {
    have_line = false;
    if (line.text.empty()) continue;
    ++counts.records;
    if (counts.records % kProgressInterval == 0) con.say(" Processing line: " + decimal(counts.records));

    char* section = room();
    char* end = nullptr;
    std::string reason = Check(line, section, end);
    if (reason.empty()) {
      ++counts.converted;
      if (take(line.text, section, end)) ++counts.selected;
    } else if (++counts.skipped <= kShownSkips) {
      con.say(" Skipped line " + decimal(line.number) + ": " + reason);
    } else if (counts.skipped == kShownSkips + 1) {
      con.say(" Further skipped lines are not shown.");
    }
  }
}

// The minor-planet records of either kind of file, after MPCORB's header.
template <typename Room, typename Take>
conversion_counts minor_planet_loop(line_reader& lines, input_kind kind, text_line& first, console& con, Room room,
                                    Take take) {
  conversion_counts counts;
  if (kind == input_kind::mpcorb) {
    for (int i = 1; i < kHeaderLines && lines.next(first); ++i) {
    }
  }
  if (kind == input_kind::mpcorb || kind == input_kind::minor_planets) {
    record_loop<convert_record>(lines, first, kind == input_kind::minor_planets, con, counts, room, take);
  }
  return counts;
}

template <typename Take>
conversion_counts comet_loop(line_reader& lines, text_line& first, console& con, Take take) {
  conversion_counts counts;
  record_loop<check_comet>(
      lines, first, true, con, counts, [] { return nullptr; }, take);
  return counts;
}

bool selected(selection* select, std::string_view line) {
  return select == nullptr || (select->passes(minor_planet_identity(line)) && select->take());
}

bool comet_selected(selection* select, std::string_view line) {
  return select == nullptr || (select->passes(comet_body_identity(line)) && select->take());
}

// --update: a body the selection passes, and with --existing only one the
// catalogue holds, is merged.
bool merged(catalogue_update& update, selection* select, const body_identity& body, std::string_view section,
            const update_keys& keys) {
  if (select != nullptr && !select->passes(body)) return false;
  if (select != nullptr && select->existing_only() && !update.holds(body, section)) return false;
  if (select != nullptr && !select->take()) return false;
  update.add(body, section, keys);
  return true;
}

}  // namespace

conversion_counts convert_records(line_reader& lines, input_kind kind, text_line& first, output_buffer& out,
                                  console& con, selection* select) {
  if (kind == input_kind::comets) {
    return comet_loop(lines, first, con, [&](std::string_view line, char*, char*) {
      if (!comet_selected(select, line)) return false;
      comet2section(line, out);
      return true;
    });
  }
  auto room = [&] { return out.reserve(kMaxSectionSize); };
  return minor_planet_loop(lines, kind, first, con, room, [&](std::string_view line, char*, char* end) {
    if (!selected(select, line)) return false;
    out.commit(end);
    return true;
  });
}

conversion_counts update_records(line_reader& lines, input_kind kind, text_line& first, catalogue_update& update,
                                 console& con, selection* select) {
  if (kind == input_kind::comets) {
    return comet_loop(lines, first, con, [&](std::string_view line, char*, char*) {
      return merged(update, select, comet_body_identity(line), comet_section_text(line), comet_update_keys());
    });
  }
  char buffer[kMaxSectionSize];
  return minor_planet_loop(
      lines, kind, first, con, [&] { return buffer; },
      [&](std::string_view line, char* section, char* end) {
        return merged(update, select, minor_planet_identity(line),
                      std::string_view(section, static_cast<std::size_t>(end - section)), minor_planet_update_keys());
      });
}

}  // namespace quelvarn
