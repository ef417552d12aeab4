// The MPC's packed designations, in the usual and the extended form.
#include "records/packed_designation.h"

#include "common/text.h"

namespace quelvarn {
namespace {

// The letters of half-months and of the second letter: "I" is left out.
constexpr std::string_view kLetters = "ABCDEFGHJKLMNOPQRSTUVWXYZ";
bool is_half_month(char c) { return is_upper(c) && c != 'I' && c != 'Z'; }
bool is_second_letter(char c) { return is_upper(c) && c != 'I'; }

// A base-62 digit, 0-9, A-Z (10-35), a-z (36-61); -1 for any other byte.
int base62(char c) {
  if (is_digit(c)) return c - '0';
  if (is_upper(c)) return c - 'A' + 10;
  if (is_lower(c)) return c - 'a' + 36;
  return -1;
}

// More designations in a half-month than the usual form counts: the four
// digits give K = cycle x 25 + letter - 15,500, so that K = 0 is cycle 620.
constexpr std::uint32_t kFirstExtended = 620 * 25;

std::optional<provisional_designation> unpack_extended(std::string_view p) {
  int year = base62(p[1]);
  // The year is a letter: A 2010, ..., z 2061.
  if (year < 10 || !is_half_month(p[2])) return std::nullopt;
  std::uint32_t k = 0;
  for (char c : p.substr(3)) {
    int digit = base62(c);
    if (digit < 0) return std::nullopt;
    k = k * 62 + static_cast<std::uint32_t>(digit);
  }
  k += kFirstExtended;
  return provisional_designation{2000 + year, p[2], kLetters[k % 25], k / 25, 0};
}

std::optional<provisional_designation> unpack_usual(std::string_view p) {
  int cycle_tens = base62(p[4]);
  if (p[0] < 'A' || p[0] > 'L' || !is_digit(p[1]) || !is_digit(p[2]) || !is_half_month(p[3]) || cycle_tens < 0 ||
      !is_digit(p[5])) {
    return std::nullopt;
  }
  provisional_designation d;
  d.year = (p[0] - 'A' + 10) * 100 + (p[1] - '0') * 10 + (p[2] - '0');
  d.half_month = p[3];
  d.number = static_cast<std::uint32_t>(cycle_tens * 10 + (p[5] - '0'));
  if (is_second_letter(p[6])) {
    d.second_letter = p[6];
  } else if (is_lower(p[6])) {
    d.fragment = static_cast<char>(p[6] - 'a' + 'A');
  } else if (p[6] != '0') {
    return std::nullopt;
  }
  return d;
}

}  // namespace

std::string provisional_designation::readable() const {
  std::string text = std::to_string(year);
  text += ' ';
  text += half_month;
  if (second_letter != 0) text += second_letter;
  if (number != 0) text += std::to_string(number);
  if (fragment != 0) text.append("-").push_back(fragment);
  return text;
}

std::optional<provisional_designation> unpack_provisional(std::string_view packed) {
  if (packed.size() != 7) return std::nullopt;
  return packed[0] == '_' ? unpack_extended(packed) : unpack_usual(packed);
}

bool is_packed_minor_planet(std::string_view packed) {
  if (packed.size() != 7) return false;
  std::string_view number = packed.substr(0, 5);
  if (packed.substr(5) == "  ") {
    if (all_digits(number)) return true;
    // 100,000-619,999: a letter for the ten-thousands.
    if (base62(number[0]) >= 10 && all_digits(number.substr(1))) return true;
    // 620,000 and above: "~" and four base-62 digits.
    return number[0] == '~' && base62(number[1]) >= 0 && base62(number[2]) >= 0 && base62(number[3]) >= 0 &&
           base62(number[4]) >= 0;
  }
  std::string_view survey = packed.substr(0, 3);
  if ((survey == "PLS" || survey == "T1S" || survey == "T2S" || survey == "T3S") && all_digits(packed.substr(3)))
    return true;
  std::optional<provisional_designation> provisional = unpack_provisional(packed);
  return provisional && provisional->fragment == 0;
}

}  // namespace quelvarn
