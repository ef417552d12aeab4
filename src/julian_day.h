// Julian Days of calendar dates, as astronomers give them: the Julian
// calendar up to 1582 October 4, the Gregorian one from October 15 on.
#ifndef QUELVARN_JULIAN_DAY_H_
#define QUELVARN_JULIAN_DAY_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace quelvarn {

/// Whether the date exists in that calendar: 1582 October 5-14 do not, and
/// February 29 follows each calendar's own leap years. Years are
/// astronomical (0 is 1 BC).
bool date_exists(int year, int month, int day);

/// The Julian Day at 0 h of an existing date, plus one half: the number of
/// the day that starts at noon (JD 0 is noon of -4712 January 1).
std::int64_t day_number(int year, int month, int day);

/// The Julian Day of an existing date with a fractional day (January 1.5 is
/// noon on January 1).
double julian_day(int year, int month, double day);

/// The Julian Day of an existing date and its time, written exactly: the
/// day's fraction is given as its decimal digits ("7452" for .7452), and the
/// result carries as many decimals (at least one, for the half day). For
/// dates from -4712 January 1.5 on, where Julian Days are not negative.
std::string julian_day_text(int year, int month, int day, std::string_view decimals);

}  // namespace quelvarn

#endif  // QUELVARN_JULIAN_DAY_H_
