// One MPCORB record line to one section of the catalogue.
#include "section_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "packed_epoch.h"

namespace quelvarn {
namespace {

// Keys padded to 31 characters and followed by "= ", so that every value
// starts in column 34 as the catalogue's readers expect.
constexpr std::string_view kMagnitude = "absolute_magnitude             = ";
constexpr std::string_view kCoordFunc = "coord_func                     = comet_orbit\n";
constexpr std::string_view kNumber = "minor_planet_number            = ";
constexpr std::string_view kName = "name                           = ";
constexpr std::string_view kArgOfPericenter = "orbit_ArgOfPericenter          = ";
constexpr std::string_view kAscendingNode = "orbit_AscendingNode            = ";
constexpr std::string_view kEccentricity = "orbit_Eccentricity             = ";
constexpr std::string_view kEpoch = "orbit_Epoch                    = ";
constexpr std::string_view kInclination = "orbit_Inclination              = ";
constexpr std::string_view kMeanAnomaly = "orbit_MeanAnomaly              = ";
constexpr std::string_view kMeanMotion = "orbit_MeanMotion               = ";
constexpr std::string_view kSemiMajorAxis = "orbit_SemiMajorAxis            = ";
constexpr std::string_view kTypeAndEnd = "type                           = asteroid\n\n";

static_assert(kMagnitude.size() == 33 && kNumber.size() == 33 && kSemiMajorAxis.size() == 33);

// Blank, tab, LF and CR, tested with one look at a bit mask.
constexpr std::uint64_t kTrimSpaces = (1ULL << ' ') | (1ULL << '\t') | (1ULL << '\n') | (1ULL << '\r');
bool is_trim_space(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' && ((kTrimSpaces >> byte) & 1U) != 0;
}

// The part of the line from a 0-based offset, at most width long; empty where
// the line ends before the offset.
std::string_view field(std::string_view line, std::size_t offset, std::size_t width) {
  return offset < line.size() ? line.substr(offset, width) : std::string_view();
}

// memcpy must not see the null pointer of an empty view, even for 0 bytes.
char* put(char* out, std::string_view text) {
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

char* put_line(char* out, std::string_view key, std::string_view value) {
  out = put(out, key);
  out = put(out, value);
  *out++ = '\n';
  return out;
}

// trim() runs a dozen times for every record: keep it inline here.
[[gnu::always_inline]] inline std::string_view trimmed(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && is_trim_space(text[first])) ++first;
  while (last > first && is_trim_space(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// A value of at most 16 bytes, copied as 16 where the line holds as many from
// its start: one fixed-size move instead of a copy of any length. What is
// written past the value is overwritten by what follows, within the room the
// section reserved.
[[gnu::always_inline]] inline char* put_short_value(char* out, std::string_view value, const char* line_end) {
  if (value.empty()) return out;
  if (line_end - value.data() >= 16) {
    std::memcpy(out, value.data(), 16);
    return out + value.size();
  }
  return put(out, value);
}

[[gnu::always_inline]] inline char* put_field_line(char* out, std::string_view key, std::string_view line,
                                                   std::size_t offset, std::size_t width) {
  out = put(out, key);
  out = put_short_value(out, trimmed(field(line, offset, width)), line.data() + line.size());
  *out++ = '\n';
  return out;
}

constexpr bool is_control(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// The planetarium reads a "#" as the start of a comment, splits section names
// on "/", and needs "[" and "]" to frame exactly one name.
constexpr bool unsafe_in_section_name(char c) { return is_control(c) || c == '#' || c == '/' || c == '[' || c == ']'; }
constexpr bool unsafe_in_name(char c) { return is_control(c) || c == '#'; }

// Bytes looked up in a table: the designation is read for every record.
struct byte_table {
  bool set[256] = {};
  constexpr explicit byte_table(bool (*member)(char)) {
    for (int b = 0; b < 256; ++b) set[b] = member(static_cast<char>(b));
  }
  bool operator()(char c) const { return set[static_cast<unsigned char>(c)]; }
};
constexpr byte_table kUnsafeInSectionName(unsafe_in_section_name);
constexpr byte_table kUnsafeInName(unsafe_in_name);

// Removing the first "(", then the first ")", then the first blank twice
// is the same as passing over the first "(", the first ")" and the first two
// blanks: the removals never change which occurrence of another character
// comes first. So the name is edited in one pass as it is copied, without a
// branch on the bytes: each one is written, and kept by moving on past it.
// Returns the end of the name; it takes at most 28 bytes. unsafe tells
// whether the name holds a byte that unsafe_in_section_name() refuses (none
// of the bytes passed over is one).
[[gnu::always_inline]] inline char* put_name_text(char* out, std::string_view line, bool& unsafe) {
  std::string_view name = trimmed(field(line, 165, 28));
  bool open_seen = false;
  bool close_seen = false;
  int blanks_seen = 0;
  bool any_unsafe = false;
  for (char c : name) {
    bool open = c == '(';
    bool close = c == ')';
    bool blank = c == ' ';
    bool dropped = (open && !open_seen) || (close && !close_seen) || (blank && blanks_seen < 2);
    open_seen = open_seen || open;
    close_seen = close_seen || close;
    blanks_seen += blank ? 1 : 0;
    any_unsafe = any_unsafe || kUnsafeInSectionName(c);
    *out = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    out += dropped ? 0 : 1;
  }
  unsafe = any_unsafe;
  return out;
}

char* put_section_name(char* out, std::string_view line) {
  *out++ = '[';
  bool unsafe = false;  // the loop has checked the name already
  out = put_name_text(out, line, unsafe);
  *out++ = ']';
  *out++ = '\n';
  return out;
}

// The check behind designation_writable(), given the section name as written
// and the name value.
bool writable(std::string_view section, bool unsafe, std::string_view name) {
  if (unsafe) return false;
  // The planetarium keeps these names for its own bodies.
  bool blank = section.find_first_not_of(' ') == std::string_view::npos;
  if (blank || section == "sun" || section == "earth" || section == "moon") return false;
  return std::ranges::none_of(name, kUnsafeInName);
}

char* put_number(char* out, std::string_view line) {
  char text[kNumberFieldSize];
  std::string_view value = number_field(line, text);
  return value.empty() ? out : put_line(out, kNumber, value);
}

}  // namespace

std::string_view trim(std::string_view text) { return trimmed(text); }

std::string_view epoch_field(std::string_view line) { return field(line, 20, 5); }

// The number field loses its first "(" and first ")" before it is trimmed.
std::string_view number_field(std::string_view line, char (&text)[kNumberFieldSize]) {
  std::size_t size = 0;
  bool open_seen = false;
  bool close_seen = false;
  for (char c : field(line, 165, kNumberFieldSize)) {
    if (c == '(' && !open_seen) {
      open_seen = true;
    } else if (c == ')' && !close_seen) {
      close_seen = true;
    } else {
      text[size++] = c;
    }
  }
  return trimmed(std::string_view(text, size));
}

bool designation_writable(std::string_view line) {
  char buffer[28];
  bool unsafe = false;
  std::string_view section(buffer, static_cast<std::size_t>(put_name_text(buffer, line, unsafe) - buffer));
  return writable(section, unsafe, trimmed(field(line, 175, 19)));
}

char* format_julian_day(double day, char* out) {
  // Every packed epoch gives a whole number of days plus one half, with
  // fewer than ten digits: "%.10g" then prints it in full, so the integer
  // part and ".5" say the same without the general formatter's cost.
  double whole = std::floor(day);
  if (day - whole == 0.5 && whole >= 0 && whole < 1e9) {
    out = std::to_chars(out, out + 16, static_cast<long>(whole)).ptr;
    return put(out, ".5");
  }
  return std::to_chars(out, out + 32, day, std::chars_format::general, 10).ptr;
}

namespace {

// Everything after the section's name line.
[[gnu::always_inline]] inline char* put_elements(char* p, std::string_view line, std::string_view name) {
  p = put_field_line(p, kMagnitude, line, 8, 5);
  p = put(p, kCoordFunc);
  p = put_number(p, line);
  p = put_line(p, kName, name);
  p = put_field_line(p, kArgOfPericenter, line, 37, 9);
  p = put_field_line(p, kAscendingNode, line, 48, 9);
  p = put_field_line(p, kEccentricity, line, 70, 9);
  p = put(p, kEpoch);
  p = format_julian_day(jd(epoch_field(line)), p);
  *p++ = '\n';
  p = put_field_line(p, kInclination, line, 59, 9);
  p = put_field_line(p, kMeanAnomaly, line, 26, 9);
  p = put_field_line(p, kMeanMotion, line, 80, 11);
  p = put_field_line(p, kSemiMajorAxis, line, 92, 11);
  return put(p, kTypeAndEnd);
}

}  // namespace

char* record2section(std::string_view line, char* out) {
  return put_elements(put_section_name(out, line), line, trimmed(field(line, 175, 19)));
}

// The name is edited and checked in the same pass that writes it.
char* writable_record2section(std::string_view line, char* out) {
  char* p = out;
  *p++ = '[';
  char* section = p;
  bool unsafe = false;
  p = put_name_text(p, line, unsafe);
  std::string_view name = trimmed(field(line, 175, 19));
  if (!writable(std::string_view(section, static_cast<std::size_t>(p - section)), unsafe, name)) return nullptr;
  *p++ = ']';
  *p++ = '\n';
  return put_elements(p, line, name);
}

void record2section(std::string_view line, output_buffer& out) {
  out.commit(record2section(line, out.reserve(kMaxSectionSize)));
}

}  // namespace quelvarn
