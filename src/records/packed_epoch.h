// Packed MPC dates (such as "K239D") and their Julian Day numbers.
#ifndef QUELVARN_PACKED_EPOCH_H_
#define QUELVARN_PACKED_EPOCH_H_

#include <string_view>

namespace quelvarn {

/// The number 1-31 of a one-character month or day code ("1"-"9", "A"-"V").
/// Any other text, "0" and small letters included, counts as 1.
double char2int(std::string_view code);

/// The Julian Day at 0 h of a five-character packed epoch. Nothing is
/// validated: unknown codes count as 1 and the date is not checked against
/// the calendar, so callers wanting to reject garbage use epoch_readable().
double jd(std::string_view epoch);

/// Whether the epoch is a date that exists: century "I", "J" or "K", two
/// digits of the year, a month code "1"-"9" or "A"-"C" and a day code
/// "1"-"9" or "A"-"V" that the month has. A corrupt epoch must not turn into
/// a plausible date through jd()'s lenient reading.
bool epoch_readable(std::string_view epoch);

/// The Julian Day at 0 h of an epoch that epoch_readable() accepts, the one
/// jd() gives, from small tables; 0 for any other epoch.
double readable_epoch_jd(std::string_view epoch);

}  // namespace quelvarn

#endif  // QUELVARN_PACKED_EPOCH_H_
