// The comet record: its columns, checks, identity, section and update keys.
#include "records/comet_record.h"

#include <algorithm>
#include <charconv>

#include "common/calendar.h"
#include "common/text.h"
#include "records/mpcorb_record.h"
#include "records/packed_designation.h"

namespace quelvarn {
namespace {

// 0-based offsets and widths of the one-line comet layout.
constexpr column kNumber{0, 4};
constexpr column kOrbitType{4, 1};
constexpr column kProvisional{5, 7};
constexpr column kYear{14, 4};
constexpr column kMonth{19, 2};
constexpr column kDay{22, 7};
constexpr column kPerihelion{30, 9};
constexpr column kEccentricity{41, 8};
constexpr column kArgOfPericenter{51, 8};
constexpr column kAscendingNode{61, 8};
constexpr column kInclination{71, 8};
constexpr column kEpoch{81, 8};
constexpr column kMagnitude{91, 4};
constexpr column kSlope{96, 4};
constexpr column kName{102, 56};
// The blanks between the fields up to the name.
constexpr column kGaps[] = {{12, 2}, {18, 1}, {21, 1}, {29, 1}, {39, 2}, {49, 2},
                            {59, 2}, {69, 2}, {79, 2}, {89, 2}, {95, 1}, {100, 2}};
constexpr column kElements[] = {kPerihelion, kEccentricity, kArgOfPericenter, kAscendingNode, kInclination};

constexpr std::size_t kShortestComet = kName.offset + 1;
constexpr std::string_view kOrbitTypes = "CPDXIA";

std::string_view trimmed(std::string_view line, column c) { return trim(field(line, c)); }

// A whole number of up to nine digits, with a minus sign where allowed.
std::optional<int> whole_number(std::string_view text, bool signed_allowed) {
  bool negative = signed_allowed && !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 9 || !all_digits(text)) return std::nullopt;
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return negative ? -value : value;
}

// Columns 6-12: blank for a numbered comet, but for a fragment in small
// letters, one in 12 ("3D-A") or two in 11-12 ("73P-BT"); or a packed
// provisional designation, in either of its forms.
bool provisional_readable(std::string_view p) {
  if (p.size() != 7) return false;
  if (all_blanks(p.substr(0, 5))) {
    return (p[5] == ' ' && (p[6] == ' ' || is_lower(p[6]))) || (is_lower(p[5]) && is_lower(p[6]));
  }
  return unpack_provisional(p).has_value();
}

bool designation_readable(std::string_view line) {
  std::string_view number = field(line, kNumber);
  std::string_view type = field(line, kOrbitType);
  std::string_view provisional = field(line, kProvisional);
  if (type.size() != 1 || kOrbitTypes.find(type[0]) == std::string_view::npos) return false;
  if (!provisional_readable(provisional)) return false;
  // A comet without a number needs its provisional designation.
  if (all_blanks(number)) return provisional[0] != ' ';
  return all_digits(number) && number != "0000";
}

// The section name: the name's letters in small letters, its digits and its
// parentheses, nothing else; so never "/", "#", "[", "]" or a control byte.
std::string section_name(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (is_upper(c)) {
      out.push_back(static_cast<char>(c - 'A' + 'a'));
    } else if (is_lower(c) || is_digit(c) || c == '(' || c == ')') {
      out.push_back(c);
    }
  }
  return out;
}

// Control bytes would break the key line, and "#" would cut the name short
// in the planetarium's reading, changing the comet's identity.
bool name_usable(std::string_view line) {
  std::string_view name = trimmed(line, kName);
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '#') return false;
  }
  std::string section = section_name(name);
  return !section.empty() && section != "sun" && section != "earth" && section != "moon";
}

struct calendar_date {
  int year = 0, month = 0, day = 0;
  std::string_view decimals;
};

// The perihelion date, "1997 03 29.7452", when it exists.
std::optional<calendar_date> perihelion_date(std::string_view line) {
  std::optional<int> year = whole_number(trimmed(line, kYear), true);
  std::optional<int> month = whole_number(trimmed(line, kMonth), false);
  std::string_view day_text = trimmed(line, kDay);
  std::size_t point = day_text.find('.');
  std::optional<int> day = whole_number(day_text.substr(0, point), false);
  std::string_view decimals = point == std::string_view::npos ? std::string_view() : day_text.substr(point + 1);
  if (!year || !month || !day || !all_digits(decimals) || !date_exists(*year, *month, *day)) return std::nullopt;
  return calendar_date{*year, *month, *day, decimals};
}

// The epoch of the elements, "20211016", when given; a blank epoch is fine.
std::optional<calendar_date> epoch_date(std::string_view line) {
  std::string_view epoch = field(line, kEpoch);
  if (epoch.size() != kEpoch.width || !all_digits(epoch)) return std::nullopt;
  std::optional<int> year = whole_number(epoch.substr(0, 4), false);
  std::optional<int> month = whole_number(epoch.substr(4, 2), false);
  std::optional<int> day = whole_number(epoch.substr(6, 2), false);
  if (!date_exists(*year, *month, *day)) return std::nullopt;
  return calendar_date{*year, *month, *day, {}};
}

bool elements_readable(std::string_view line) {
  for (column gap : kGaps)
    if (!all_blanks(field(line, gap))) return false;
  for (column element : kElements)
    if (!decimal_number(trimmed(line, element))) return false;
  for (column optional : {kMagnitude, kSlope}) {
    std::string_view value = trimmed(line, optional);
    if (!value.empty() && !decimal_number(value)) return false;
  }
  if (!perihelion_date(line)) return false;
  std::string_view epoch = field(line, kEpoch);
  if (!all_blanks(epoch) && !epoch_date(line)) return false;
  return *decimal_number(trimmed(line, kPerihelion)) > 0 && *decimal_number(trimmed(line, kEccentricity)) >= 0;
}

std::string_view comet_type(std::string_view line) {
  std::string_view type = field(line, kOrbitType);
  switch (type.empty() ? 'C' : type[0]) {
    case 'I':
      return "interstellar object";
    case 'A':
      return decimal_number(trimmed(line, kEccentricity)).value_or(1) < 1 ? "asteroid" : "comet";
    default:
      return "comet";
  }
}

// Keys padded to 31 characters, as in the asteroid sections.
void put_line(std::string& out, std::string_view key, std::string_view value) {
  out.append(key);
  out.append(31 - key.size(), ' ');
  out.append("= ");
  out.append(value);
  out.push_back('\n');
}

// What the planetarium's newer releases know a comet by besides its name:
// the designation part of the name ("C/2020 F3" of "C/2020 F3 (NEOWISE)",
// "P/2022 W1"), and for a numbered interstellar object its number and letter
// with the provisional designation where the line has one ("1I/2017 U1",
// else "3I"). A numbered periodic comet has none: its name is its
// designation. A name that begins with no designation gives way to the
// packed one.
std::string iau_designation(std::string_view line) {
  std::string_view number = trimmed(line, kNumber);
  std::string_view type = field(line, kOrbitType);
  std::optional<provisional_designation> provisional = unpack_provisional(field(line, kProvisional));
  if (!number.empty()) {
    if (type != "I") return {};
    std::string designation = identify_comet(line).periodic;
    if (provisional) designation.append("/").append(provisional->readable());
    return designation;
  }
  std::string_view name = trimmed(line, kName);
  std::string_view part = trim(name.substr(0, name.find('(')));
  if (part.find('/') != std::string_view::npos) return std::string(part);
  return provisional ? std::string(type) + "/" + provisional->readable() : std::string();
}

}  // namespace

std::string_view comet_line_problem(std::string_view line) {
  if (line.size() < kShortestComet) return "too short";
  if (!designation_readable(line) || !name_usable(line)) return "bad designation";
  if (!elements_readable(line)) return "bad elements";
  return {};
}

std::string comet_section_text(std::string_view line, section_layout layout) {
  bool current = layout == section_layout::current;
  std::string_view name = trimmed(line, kName);
  std::string section;
  section.reserve(kMaxSectionSize);
  section.append("[").append(section_name(name)).append("]\n");
  std::string_view magnitude = trimmed(line, kMagnitude);
  if (!magnitude.empty()) put_line(section, "absolute_magnitude", magnitude);
  if (!current) put_line(section, "coord_func", "comet_orbit");
  if (std::string designation = current ? iau_designation(line) : std::string(); !designation.empty()) {
    put_line(section, "iau_designation", designation);
  }
  put_line(section, "name", name);
  put_line(section, "orbit_ArgOfPericenter", trimmed(line, kArgOfPericenter));
  put_line(section, "orbit_AscendingNode", trimmed(line, kAscendingNode));
  put_line(section, "orbit_Eccentricity", trimmed(line, kEccentricity));
  if (std::optional<calendar_date> epoch = epoch_date(line)) {
    char text[32];
    put_line(section, "orbit_Epoch",
             std::string_view(text, format_julian_day(julian_day(epoch->year, epoch->month, epoch->day), text)));
  }
  put_line(section, "orbit_Inclination", trimmed(line, kInclination));
  put_line(section, "orbit_PericenterDistance", trimmed(line, kPerihelion));
  if (std::optional<calendar_date> perihelion = perihelion_date(line)) {
    put_line(section, "orbit_TimeAtPericenter",
             julian_day_text(perihelion->year, perihelion->month, perihelion->day, perihelion->decimals));
  }
  std::string_view slope = trimmed(line, kSlope);
  if (!slope.empty()) put_line(section, "slope_parameter", slope);
  put_line(section, "type", comet_type(line));
  section.push_back('\n');
  return section;
}

body_identity comet_body_identity(std::string_view line) {
  comet_identity comet = identify_comet(line);
  body_identity body;
  // A catalogue names a comet by its designation and name together.
  body.designation = comet.name;
  std::size_t slash = comet.name.find('/');
  std::size_t open = comet.name.find('(');
  std::size_t close = comet.name.rfind(')');
  if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
    body.name = comet.name.substr(open + 1, close - open - 1);  // "C/2023 A3 (Tsuchinshan-ATLAS)"
  } else if (!comet.periodic.empty() && slash != std::string_view::npos) {
    body.name = comet.name.substr(slash + 1);  // "12P/Pons-Brooks"
  }
  body.magnitude = comet.magnitude;
  body.apparition = whole_number(trimmed(line, kYear), true);
  body.periodic = std::move(comet.periodic);
  body.provisional = std::move(comet.provisional);
  return body;
}

comet_identity identify_comet(std::string_view line) {
  comet_identity id;
  std::string_view number = trim(field(line, kNumber));
  std::string_view type = field(line, kOrbitType);
  std::string_view packed = field(line, kProvisional);
  bool fragment = packed.size() == 7 && is_lower(packed[6]);
  if (!number.empty()) {
    std::optional<int> n = whole_number(number, false);
    id.periodic = std::to_string(n.value_or(0)) + std::string(type);
    if (fragment) {
      id.periodic += '-';
      if (is_lower(packed[5])) id.periodic += static_cast<char>(packed[5] - 'a' + 'A');
      id.periodic += static_cast<char>(packed[6] - 'a' + 'A');
    }
  }
  if (std::optional<provisional_designation> provisional = unpack_provisional(packed)) {
    id.provisional = std::string(type) + "/" + provisional->readable();
  }
  id.name = trimmed(line, kName);
  id.magnitude = trimmed(line, kMagnitude);
  return id;
}

skip_reason comet_record::write_section(std::string_view line, section_layout layout, char* room, char*& end) {
  std::string_view problem = comet_line_problem(line);
  if (!problem.empty()) return {problem};
  std::string section = comet_section_text(line, layout);
  end = std::copy(section.begin(), section.end(), room);
  return {};
}

const update_keys& comet_update_keys() {
  static const update_keys keys{
      {"absolute_magnitude", "orbit_ArgOfPericenter", "orbit_AscendingNode", "orbit_Eccentricity", "orbit_Epoch",
       "orbit_Inclination", "orbit_PericenterDistance", "orbit_TimeAtPericenter", "slope_parameter"},
      {"orbit_MeanAnomaly", "orbit_MeanMotion", "orbit_SemiMajorAxis", "orbit_MeanLongitude", "orbit_Period"},
      {"iau_designation"},
      false};
  return keys;
}

}  // namespace quelvarn
