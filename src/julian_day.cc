// Calendar dates (Julian before 1582 October 15) to Julian Days.
#include "julian_day.h"

#include <charconv>

namespace quelvarn {
namespace {

// Division that rounds down, so that the formulas below also hold for the
// years before -4800, where C++ would round towards zero.
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The first day of the Gregorian calendar, 1582 October 15.
bool is_gregorian(int year, int month, int day) {
  if (year != 1582) return year > 1582;
  return month > 10 || (month == 10 && day >= 15);
}

bool is_leap(int year) {
  if (year < 1582) return floor_div(year, 4) * 4 == year;
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

bool date_exists(int year, int month, int day) {
  static constexpr int kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  if (year == 1582 && month == 10 && day > 4 && day < 15) return false;
  int length = kLengths[month - 1] + (month == 2 && is_leap(year) ? 1 : 0);
  return day <= length;
}

std::int64_t day_number(int year, int month, int day) {
  // Years counted from March, so that the leap day comes last.
  std::int64_t a = month <= 2 ? 1 : 0;
  std::int64_t y = std::int64_t{year} + 4800 - a;
  std::int64_t m = month + 12 * a - 3;
  std::int64_t days = day + floor_div(153 * m + 2, 5) + 365 * y + floor_div(y, 4);
  if (is_gregorian(year, month, day)) return days - floor_div(y, 100) + floor_div(y, 400) - 32045;
  return days - 32083;
}

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
