// Packed MPC epochs to Julian Days.
#include "packed_epoch.h"

#include <optional>

namespace quelvarn {
namespace {

// Digits 1-9 then capitals A-V, as the MPC packs months and days.
constexpr std::string_view kCodes = "123456789ABCDEFGHIJKLMNOPQRSTUV";

// The first year of the century named by an MPC packed-date letter; other
// letters keep the 2000s, which is what an unknown letter always gave.
int century_start(char letter) {
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
// epoch costs neither an exception nor a locale look-up on the hot path.
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

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// 1-31 for a month or day code, 0 for anything that is not one.
int code_value(char c) {
  std::size_t pos = kCodes.find(c);
  return pos == std::string_view::npos ? 0 : static_cast<int>(pos + 1);
}

int days_in_month(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

int code_at(std::string_view epoch, std::size_t index) {
  return static_cast<int>(char2int(index < epoch.size() ? epoch.substr(index, 1) : std::string_view()));
}

}  // namespace

double char2int(std::string_view code) {
  if (code.size() != 1) return 1;
  std::size_t pos = kCodes.find(code[0]);
  return pos == std::string_view::npos ? 1 : static_cast<double>(pos + 1);
}

double jd(std::string_view epoch) {
  int y0 = century_start(epoch.empty() ? 'K' : epoch[0]) + year_in_century(epoch).value_or(0);
  int m0 = code_at(epoch, 3);
  int d = code_at(epoch, 4);

  // Meeus: January and February count as months 13 and 14 of the year before.
  int y = m0 <= 2 ? y0 - 1 : y0;
  int m = m0 <= 2 ? m0 + 12 : m0;
  int a = y / 100;
  int b = 2 - a + a / 4;
  auto i1 = static_cast<long>(365.25 * (y + 4716));
  auto i2 = static_cast<long>(30.6001 * (m + 1));
  return static_cast<double>(d + i1 + i2) + b - 1524.5;
}

bool epoch_readable(std::string_view epoch) {
  if (epoch.size() != 5 || (epoch[0] != 'I' && epoch[0] != 'J' && epoch[0] != 'K')) return false;
  if (!is_digit(epoch[1]) || !is_digit(epoch[2])) return false;
  int month = code_value(epoch[3]);
  int day = code_value(epoch[4]);
  if (month < 1 || month > 12 || day < 1) return false;
  int year = century_start(epoch[0]) + (epoch[1] - '0') * 10 + (epoch[2] - '0');
  return day <= days_in_month(year, month);
}

}  // namespace quelvarn
