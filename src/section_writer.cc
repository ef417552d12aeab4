#include "section_writer.h"

#include <charconv>
#include <cmath>
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

// A short piece of text edited in place, for the designation fields.
struct small_text {
  char bytes[32];
  std::size_t size;

  explicit small_text(std::string_view text) : size(text.size()) { put(bytes, text); }
  std::string_view view() const { return {bytes, size}; }

  void erase_first(char c) {
    auto* found = static_cast<char*>(std::memchr(bytes, c, size));
    if (found == nullptr) return;
    std::memmove(found, found + 1, static_cast<std::size_t>(bytes + size - found - 1));
    --size;
  }
};

char* put_section_name(char* out, std::string_view line) {
  small_text name(trim(field(line, 165, 28)));
  name.erase_first('(');
  name.erase_first(')');
  name.erase_first(' ');
  name.erase_first(' ');
  *out++ = '[';
  for (std::size_t i = 0; i < name.size; ++i) {
    char c = name.bytes[i];
    *out++ = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  *out++ = ']';
  *out++ = '\n';
  return out;
}

char* put_number(char* out, std::string_view line) {
  small_text number(field(line, 165, 9));
  number.erase_first('(');
  number.erase_first(')');
  std::string_view value = trim(number.view());
  return value.empty() ? out : put_line(out, kNumber, value);
}

}  // namespace

std::string_view trim(std::string_view text) {
  constexpr std::string_view kSpace = " \n\r\t";
  std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
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

void record2section(std::string_view line, output_buffer& out) {
  char* p = out.reserve(kMaxSectionSize);
  p = put_section_name(p, line);
  p = put_line(p, kMagnitude, trim(field(line, 8, 5)));
  p = put(p, kCoordFunc);
  p = put_number(p, line);
  p = put_line(p, kName, trim(field(line, 175, 19)));
  p = put_line(p, kArgOfPericenter, trim(field(line, 37, 9)));
  p = put_line(p, kAscendingNode, trim(field(line, 48, 9)));
  p = put_line(p, kEccentricity, trim(field(line, 70, 9)));
  p = put(p, kEpoch);
  p = format_julian_day(jd(field(line, 20, 5)), p);
  *p++ = '\n';
  p = put_line(p, kInclination, trim(field(line, 59, 9)));
  p = put_line(p, kMeanAnomaly, trim(field(line, 26, 9)));
  p = put_line(p, kMeanMotion, trim(field(line, 80, 11)));
  p = put_line(p, kSemiMajorAxis, trim(field(line, 92, 11)));
  p = put(p, kTypeAndEnd);
  out.commit(p);
}

}  // namespace quelvarn
