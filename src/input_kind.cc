// Which kind of orbit file the input is, from its first lines.
#include "input_kind.h"

#include <algorithm>

#include "comet_section.h"
#include "line_reader.h"
#include "packed_epoch.h"
#include "section_writer.h"

namespace quelvarn {
namespace {

constexpr std::string_view kTitle = "MINOR PLANET CENTER ORBIT DATABASE (MPCORB)";
// Shorter lines do not reach the name column; longer ones than the line
// reader holds are not records of any layout.
constexpr std::size_t kShortestRecord = 175;
constexpr std::size_t kLongestRecord = line_reader::kMaxLineLength;

struct column {
  std::size_t offset, width;
};
// H and G, which may be blank.
constexpr column kMagnitudes[] = {{8, 5}, {14, 5}};
// Mean anomaly, argument of perihelion, node, inclination, e, n, a.
constexpr column kElements[] = {{26, 9}, {37, 9}, {48, 9}, {59, 9}, {70, 9}, {80, 11}, {92, 11}};
constexpr column kGaps[] = {{7, 1}, {13, 1}, {19, 1}, {25, 1}, {35, 2}, {46, 2}, {57, 2}, {68, 2}, {79, 1}, {91, 1}};

std::string_view field(std::string_view line, column c) { return line.substr(c.offset, c.width); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_alnum(char c) { return is_digit(c) || is_upper(c) || (c >= 'a' && c <= 'z'); }
bool digits(std::string_view text) { return std::ranges::all_of(text, is_digit); }

// A packed number ("00433", "K1234", "~0000") followed by two blanks, a
// packed provisional designation ("K19A00A") or a survey one ("PLS2040").
bool packed_designation(std::string_view d) {
  std::string_view number = d.substr(0, 5);
  if (d.substr(5) == "  ") {
    if (digits(number)) return true;
    if ((is_upper(number[0]) || (number[0] >= 'a' && number[0] <= 'z')) && digits(number.substr(1))) return true;
    return number[0] == '~' && is_alnum(number[1]) && is_alnum(number[2]) && is_alnum(number[3]) && is_alnum(number[4]);
  }
  std::string_view survey = d.substr(0, 3);
  if ((survey == "PLS" || survey == "T1S" || survey == "T2S" || survey == "T3S") && digits(d.substr(3))) return true;
  return d[0] >= 'A' && d[0] <= 'L' && is_digit(d[1]) && is_digit(d[2]) && is_upper(d[3]) && is_alnum(d[4]) &&
         is_digit(d[5]) && (is_upper(d[6]) || is_digit(d[6]));
}

}  // namespace

bool is_title_line(std::string_view line) { return line.find(kTitle) != std::string_view::npos; }

bool is_minor_planet_record(std::string_view line) {
  if (line.size() < kShortestRecord || line.size() > kLongestRecord) return false;
  if (!packed_designation(line.substr(0, 7))) return false;
  for (column gap : kGaps)
    if (field(line, gap).find_first_not_of(' ') != std::string_view::npos) return false;
  for (column magnitude : kMagnitudes) {
    std::string_view value = trim(field(line, magnitude));
    if (!value.empty() && !decimal_number(value)) return false;
  }
  for (column element : kElements)
    if (!decimal_number(trim(field(line, element)))) return false;
  return epoch_readable(epoch_field(line)) && designation_writable(line);
}

input_kind kind_from_first_record(std::string_view line) {
  if (is_minor_planet_record(line)) return input_kind::minor_planets;
  if (line.size() <= kLongestRecord && comet_line_problem(line).empty()) return input_kind::comets;
  return input_kind::bad;
}

}  // namespace quelvarn
