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

// Why a line cannot be converted, as the console shows it: the reason, then
// the field at fault (the epoch of "bad epoch "), if any. Put together only
// for the lines that are shown.
struct skip_reason {
  std::string_view reason;
  std::string_view field = {};
};

// Writes the record's section at room and sets end after it, or says why
// the line cannot be converted. The checks are made as the section is
// written; only a line that fails them is looked at again, for the reason.
skip_reason convert_record(const text_line& line, char* room, char*& end) {
  if (line.too_long) return {"too long"};
  if (line.text.size() < kShortestRecord) return {"too short"};
  end = writable_record2section(line.text, room);
  if (end != nullptr) return {};
  std::string_view epoch = epoch_field(line.text);
  return epoch_readable(epoch) ? skip_reason{"bad designation"} : skip_reason{"bad epoch ", epoch};
}

}  // namespace

std::string decimal(std::uint64_t n) {
  char digits[24];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

namespace {

// The length of the UTF-8 sequence at the start of text that encodes a
// printable character, or 0.
std::size_t printable_sequence(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  if (lead < 0x80) return lead >= 0x20 && lead != 0x7f ? 1 : 0;
  std::size_t size = lead >= 0xc2 && lead <= 0xdf   ? 2
                     : lead >= 0xe0 && lead <= 0xef ? 3
                     : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                    : 0;
  if (size == 0 || text.size() < size) return 0;
  for (std::size_t i = 1; i < size; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return 0;
  }
  // Overlong forms, surrogates, values past U+10FFFF and the C1 controls.
  if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) > 0x9f) || (lead == 0xf0 && byte(1) < 0x90) ||
      (lead == 0xf4 && byte(1) > 0x8f) || (lead == 0xc2 && byte(1) < 0xa0)) {
    return 0;
  }
  return size;
}

}  // namespace

std::string printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    std::size_t size = printable_sequence(text);
    shown.append(size == 0 ? std::string_view("?") : text.substr(0, size));
    text.remove_prefix(size == 0 ? 1 : size);
  }
  return shown;
}

void console::say(std::string_view line) {
  if (!to_) return;
  // Paths and record fields are echoed: an escape sequence in them must not
  // reach the user's terminal. A console that has gone away must not stop
  // the conversion; it is only remembered, for the runs whose whole purpose
  // is what they print.
  if (!write_line(*to_, printable(line))) failed_ = true;
}

input_kind recognise_input(line_reader& lines, text_line& first) {
  if (!lines.next(first)) return input_kind::bad;
  if (is_title_line(first.text)) return input_kind::mpcorb;
  while (first.text.empty()) {
    if (!lines.next(first)) return input_kind::bad;
  }
  return first.too_long ? input_kind::bad : kind_from_first_record(first.text);
}

namespace {

// A comet line's section is written only once it is selected.
skip_reason check_comet(const text_line& line, char* /*room*/, char*& /*end*/) {
  return {line.too_long ? "too long" : comet_line_problem(line.text)};
}

// The record loop, one instance per layout so that the checks and the writer
// of the hot MPCORB path are called directly. Check says why a line cannot
// be converted, or writes its section at the room that room() gives and sets
// its end; take() keeps the section if its record is selected, and tells
// whether it was. `line` holds the first line to convert when have_line is set.
template <skip_reason (*Check)(const text_line&, char*, char*&), typename Room, typename Take>
void record_loop(line_reader& lines, text_line& line, bool have_line, console& con, conversion_counts& counts,
                 Room room, Take take) {
  while (have_line || lines.next(line)) {
    have_line = false;
    if (line.text.empty()) continue;
    ++counts.records;
    if (counts.records % kProgressInterval == 0) con.say(" Processing line: " + decimal(counts.records));

    char* section = room();
    char* end = nullptr;
    skip_reason skip = Check(line, section, end);
    if (skip.reason.empty()) {
      ++counts.converted;
      if (take(line.text, section, end)) ++counts.selected;
    } else if (++counts.skipped <= kShownSkips) {
      con.say(" Skipped line " + decimal(line.number) + ": " + std::string(skip.reason) + std::string(skip.field));
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

const update_keys& comet_update_keys() {
  static const update_keys keys{{kCometReplacedKeys.begin(), kCometReplacedKeys.end()},
                                {kCometRemovedKeys.begin(), kCometRemovedKeys.end()}};
  return keys;
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
      if (!comet_selected(select, line)) return false;
      update.add(comet_body_identity(line), comet_section_text(line), comet_update_keys());
      return true;
    });
  }
  char buffer[kMaxSectionSize];
  return minor_planet_loop(
      lines, kind, first, con, [&] { return buffer; },
      [&](std::string_view line, char* section, char* end) {
        if (!selected(select, line)) return false;
        update.add(minor_planet_identity(line), std::string_view(section, static_cast<std::size_t>(end - section)),
                   minor_planet_update_keys());
        return true;
      });
}

}  // namespace quelvarn
