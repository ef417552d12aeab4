// The one calendar: dates as astronomers give them (the Julian calendar up
// to 1582 October 4, the Gregorian one from October 15 on) and their Julian
// Days, for comets' dates and minor planets' packed epochs alike.
#ifndef QUELVARN_CALENDAR_H_
#define QUELVARN_CALENDAR_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace quelvarn {

namespace calendar_detail {

// Division that rounds down, so that the formulas below also hold for the
// years before -4800, where C++ would round towards zero.
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The first day of the Gregorian calendar, 1582 October 15.
constexpr bool is_gregorian(int year, int month, int day) {
  if (year != 1582) return year > 1582;
  return month > 10 || (month == 10 && day >= 15);
}

}  // namespace calendar_detail

/// Whether the year has a February 29: every fourth year in the Julian
/// calendar, less three in four centuries in the Gregorian one.
constexpr bool is_leap(int year) {
  if (year < 1582) return calendar_detail::floor_div(year, 4) * 4 == year;
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

/// The days of a month, 1-12, in that year.
constexpr int days_in_month(int year, int month) {
  constexpr int kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return kLengths[month - 1] + (month == 2 && is_leap(year) ? 1 : 0);
}

/// Whether the date exists in that calendar: 1582 October 5-14 do not, and
/// February 29 follows each calendar's own leap years. Years are
/// astronomical (0 is 1 BC).
constexpr bool date_exists(int year, int month, int day) {
  if (month < 1 || month > 12 || day < 1) return false;
  if (year == 1582 && month == 10 && day > 4 && day < 15) return false;
  return day <= days_in_month(year, month);
}

/// The Julian Day at 0 h of an existing date, plus one half: the number of
/// the day that starts at noon (JD 0 is noon of -4712 January 1).
constexpr std::int64_t day_number(int year, int month, int day) {
  using calendar_detail::floor_div;
  // Years counted from March, so that the leap day comes last.
  std::int64_t a = month <= 2 ? 1 : 0;
  std::int64_t y = std::int64_t{year} + 4800 - a;
  std::int64_t m = month + 12 * a - 3;
  std::int64_t days = day + floor_div(153 * m + 2, 5) + 365 * y + floor_div(y, 4);
  if (calendar_detail::is_gregorian(year, month, day)) return days - floor_div(y, 100) + floor_div(y, 400) - 32045;
  return days - 32083;
}

/// The Julian Day of an existing date with a fractional day (January 1.5 is
/// noon on January 1).
double julian_day(int year, int month, double day);

/// The Julian Day of an existing date and its time, written exactly: the
/// day's fraction is given as its decimal digits ("7452" for .7452), and the
/// result carries as many decimals (at least one, for the half day). For
/// dates from -4712 January 1.5 on, where Julian Days are not negative.
std::string julian_day_text(int year, int month, int day, std::string_view decimals);

}  // namespace quelvarn

#endif  // QUELVARN_CALENDAR_H_
