// Julian Days of dates with a time of day.
#include "common/calendar.h"

#include <charconv>

namespace quelvarn {
double julian_day(int year, int month, double day) {
  auto whole = static_cast<int>(day);
  if (static_cast<double>(whole) > day) --whole;
  return static_cast<double>(day_number(year, month, whole)) - 0.5 + (day - whole);
}

std::string julian_day_text(int year, int month, int day, std::string_view decimals) {
  // day_number() - 0.5 + 0.decimals, added digit by digit so that no
  // decimal is lost to binary floating point.
  std::int64_t whole = day_number(year, month, day) - 1;
  std::string fraction = decimals.empty() ? std::string("0") : std::string(decimals);
  fraction[0] = static_cast<char>(fraction[0] + 5);
  if (fraction[0] > '9') {
    fraction[0] = static_cast<char>(fraction[0] - 10);
    ++whole;
  }
  char digits[24];
  std::string text(digits, std::to_chars(digits, digits + sizeof digits, whole).ptr);
  return text + "." + fraction;
}

}  // namespace quelvarn
