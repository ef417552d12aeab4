// Packed MPC epochs to Julian Days.
#include "records/packed_epoch.h"

#include <array>
#include <cstdint>
#include <optional>

#include "common/calendar.h"

namespace quelvarn {
namespace {

// Digits 1-9 then capitals A-V, as the MPC packs months and days.
constexpr std::string_view kCodes = "123456789ABCDEFGHIJKLMNOPQRSTUV";

// 1-31 for every month or day code, 0 for every other byte: looked up, not
// searched for, as every record needs two of them.
constexpr std::array<std::uint8_t, 256> kCodeValues = [] {
  std::array<std::uint8_t, 256> values{};
  for (std::size_t i = 0; i < kCodes.size(); ++i) {
    values[static_cast<unsigned char>(kCodes[i])] = static_cast<std::uint8_t>(i + 1);
  }
  return values;
}();

// 1-31 for a month or day code, 0 for anything that is not one.
int code_value(char c) { return kCodeValues[static_cast<unsigned char>(c)]; }

// The first year of the century named by an MPC packed-date letter; other
// letters keep the 2000s, which is what an unknown letter always gave.
constexpr int century_start(char letter) {
  switch (letter) {
    case 'I':
      return 1800;
    case 'J':
      return 1900;
    default:
      return 2000;
  }
}

bool is_c_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads the year within the century as std::stoi would: white space skipped,
// an optional sign, then at least one digit. Done by hand so that a garbage
// epoch costs neither an exception nor a locale look-up.
std::optional<int> year_in_century(std::string_view epoch) {
  std::string_view text = epoch.substr(epoch.empty() ? 0 : 1, 2);
  std::size_t i = 0;
  while (i < text.size() && is_c_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  int value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

int code_at(std::string_view epoch, std::size_t index) {
  return static_cast<int>(char2int(index < epoch.size() ? epoch.substr(index, 1) : std::string_view()));
}

// Meeus: the Julian Day at 0 h of a Gregorian date, for any numbers at all,
// as jd() is defined for month and day codes that name no date; readable
// epochs take the calendar's day count instead (readable_epoch_jd).
constexpr double meeus_jd(int y0, int m0, int d) {
  // January and February count as months 13 and 14 of the year before.
  int y = m0 <= 2 ? y0 - 1 : y0;
  int m = m0 <= 2 ? m0 + 12 : m0;
  int a = y / 100;
  int b = 2 - a + a / 4;
  auto i1 = static_cast<long>(365.25 * (y + 4716));
  auto i2 = static_cast<long>(30.6001 * (m + 1));
  return static_cast<double>(d + i1 + i2) + b - 1524.5;
}

// The years a readable epoch can name, 1800-2099 in the order of their
// packed letters I, J and K, each with the Julian Day (at 0 h) of the day
// before its 1 January, counted by the calendar the comets' dates use: a
// readable epoch's day is then two look-ups and two sums.
struct year_start {
  double day_zero;
  bool leap;
};
constexpr int kFirstYear = 1800;
constexpr std::size_t kYears = 300;
constexpr std::array<year_start, kYears> kYearStarts = [] {
  std::array<year_start, kYears> years{};
  for (std::size_t i = 0; i < kYears; ++i) {
    int year = kFirstYear + static_cast<int>(i);
    years[i] = {static_cast<double>(day_number(year, 1, 1)) - 1.5, is_leap(year)};
  }
  return years;
}();
static_assert(kYearStarts[200].day_zero == 2451543.5 && kYearStarts[200].leap && !kYearStarts[100].leap);

// The months of a common year and of a leap year: looked up by the year's
// kind rather than tested for February, as epochs come in no order.
struct calendar_month {
  int days;
  int days_before;
};
constexpr std::array<std::array<calendar_month, 12>, 2> kMonths = [] {
  std::array<std::array<calendar_month, 12>, 2> months{};
  for (int leap = 0; leap < 2; ++leap) {
    int before = 0;
    for (int m = 1; m <= 12; ++m) {
      int days = days_in_month(leap == 1 ? 2000 : 2001, m);
      months[static_cast<std::size_t>(leap)][static_cast<std::size_t>(m - 1)] = {days, before};
      before += days;
    }
  }
  return months;
}();
static_assert(kMonths[0][11].days_before == 334 && kMonths[1][2].days_before == 60 && kMonths[1][1].days == 29);

}  // namespace

double char2int(std::string_view code) {
  int value = code.size() == 1 ? code_value(code[0]) : 0;
  return value == 0 ? 1 : value;
}

double jd(std::string_view epoch) {
  int y0 = century_start(epoch.empty() ? 'K' : epoch[0]) + year_in_century(epoch).value_or(0);
  return meeus_jd(y0, code_at(epoch, 3), code_at(epoch, 4));
}

double readable_epoch_jd(std::string_view epoch) {
  if (epoch.size() != 5) return 0;
  // I, J and K are neighbours in the alphabet, as are the digits.
  auto century = static_cast<unsigned>(epoch[0] - 'I');
  auto tens = static_cast<unsigned>(epoch[1] - '0');
  auto units = static_cast<unsigned>(epoch[2] - '0');
  int month = code_value(epoch[3]);
  int day = code_value(epoch[4]);
  if (century > 2 || tens > 9 || units > 9 || month == 0 || month > 12 || day == 0) return 0;
  const year_start& year = kYearStarts[century * 100 + tens * 10 + units];
  const calendar_month& in = kMonths[year.leap ? 1 : 0][month - 1];
  if (day > in.days) return 0;
  return year.day_zero + (in.days_before + day);
}

bool epoch_readable(std::string_view epoch) { return readable_epoch_jd(epoch) != 0; }

}  // namespace quelvarn
