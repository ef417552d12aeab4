// The MPC's packed designations: columns 1-7 of a minor planet, 6-12 of a
// comet. One reader for every file, in both forms the MPC writes a
// provisional designation.
#ifndef QUELVARN_PACKED_DESIGNATION_H_
#define QUELVARN_PACKED_DESIGNATION_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quelvarn {

/// A provisional designation, unpacked: 2026 CA620, 1995 O1, 2025 K1-B.
struct provisional_designation {
  int year = 0;
  /// 'A'-'Y' without 'I'.
  char half_month = 0;
  /// 'A'-'Z' without 'I'; none (0) for a comet's own designation ("1995 O1").
  char second_letter = 0;
  /// The cycle count of the second letter, or a comet's order number; 0 is
  /// written as nothing ("2019 AA").
  std::uint32_t number = 0;
  /// A comet's fragment, in capitals ('B' of "2025 K1-B"); 0 for none.
  char fragment = 0;

  /// "2026 CA620", "1995 O1", "2025 K1-B".
  std::string readable() const;
};

/// Seven packed characters as a provisional designation, in either form:
///   - the usual one, century letter ("I" 18, "J" 19, "K" 20; "A"-"L" for
///     the centuries from 1000 to 2199), two digits of the year, the
///     half-month letter, the cycle count in two characters ("00"-"99",
///     "A0"-"Z9" for 100-359, "a0"-"z9" for 360-619), then the second letter,
///     or "0" for a comet's order number, or a comet's fragment in a small
///     letter: "K07Tf8A" 2007 TA418, "J95O010" 1995 O1, "K25K01b" 2025 K1-B;
///   - the extended one, since a half-month can hold more designations than
///     the usual one counts: "_", the year as one base-62 letter ("A" 2010
///     ... "Z" 2035, "a" 2036 ... "z" 2061), the half-month letter and four
///     base-62 digits giving cycle x 25 + letter - 15,500: "_QC0000" 2026
///     CA620.
/// Nothing for anything else.
std::optional<provisional_designation> unpack_provisional(std::string_view packed);

/// Whether columns 1-7 of a minor-planet record are a packed designation: a
/// packed number ("00433", "K1234", "~0000") followed by two blanks, a
/// provisional designation of either form without a fragment, or a survey
/// designation ("PLS2040", "T1S3138").
bool is_packed_minor_planet(std::string_view packed);

}  // namespace quelvarn

#endif  // QUELVARN_PACKED_DESIGNATION_H_
